#include "effects/cell_runs.h"

namespace {
CellKind kindOf(uint8_t cell) {
    if ((cell & kRegionPerson) != 0) {
        return CellKind::Person;
    }
    return (cell & kRegionBackground) != 0 ? CellKind::Background : CellKind::Edge;
}

// Appends the runs of equal kind(cell) of one row; `keep` says which kinds
// are kept.
template <typename Kind, typename Keep>
void appendRuns(const uint8_t* cells, int count, Kind kind, Keep keep, std::vector<CellRun>& runs) {
    int from = 0;
    while (from < count) {
        const CellKind here = kind(cells[from]);
        int to = from + 1;
        while (to < count && kind(cells[to]) == here) {
            ++to;
        }
        if (keep(here)) {
            runs.push_back({static_cast<uint16_t>(from), static_cast<uint16_t>(to), here});
        }
        from = to;
    }
}
}  // namespace

void CellRuns::reserve(cv::Size cells) {
    const auto most = static_cast<size_t>(cells.area());
    kinds_.reserve(most);
    refined_.reserve(most);
    starts_.reserve(static_cast<size_t>(cells.height) + 1);
    refinedStarts_.reserve(static_cast<size_t>(cells.height) + 1);
}

void CellRuns::build(const cv::Mat& regions) {
    kinds_.clear();
    starts_.clear();
    refined_.clear();
    refinedStarts_.clear();
    for (int row = 0; row < regions.rows; ++row) {
        const uint8_t* cells = regions.ptr<uint8_t>(row);
        starts_.push_back(static_cast<uint32_t>(kinds_.size()));
        refinedStarts_.push_back(static_cast<uint32_t>(refined_.size()));
        appendRuns(
            cells, regions.cols, kindOf, [](CellKind) { return true; }, kinds_);
        appendRuns(
            cells, regions.cols,
            [](uint8_t cell) {
                return (cell & kRegionRefine) != 0 ? CellKind::Edge : CellKind::Person;
            },
            [](CellKind kind) { return kind == CellKind::Edge; }, refined_);
    }
    starts_.push_back(static_cast<uint32_t>(kinds_.size()));
    refinedStarts_.push_back(static_cast<uint32_t>(refined_.size()));
}
