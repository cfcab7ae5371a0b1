#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <span>
#include <vector>

// The bits of a regions map: one byte per cell, what the segmentation
// worker found the cell to be.
enum SegmentationRegion : uint8_t {
    kRegionPerson = 1,      // the refined mask is 255 in the whole cell
    kRegionBackground = 2,  // it is 0 in the whole cell
    kRegionRefine = 4,      // the half-size refined mask is needed here
};

// What a cell of the segmentation worker's regions map asks of the frame
// pixels it covers.
enum class CellKind : uint8_t {
    Person,      // the mask is 255: the frame stays
    Background,  // the mask is 0: the background replaces the frame
    Edge,        // the mask is worked out pixel by pixel
};

// A run of neighbouring cells of one row, [from, to) in cells.
struct CellRun {
    uint16_t from = 0;
    uint16_t to = 0;
    CellKind kind = CellKind::Edge;
};

// The regions map (SegmentationRegion bits) as runs of cells per row, so
// the frame thread walks a few runs a row instead of every cell. The
// vectors keep their room when built again, and a copy assigned to a
// reserved object reuses its room (std::vector's assignment does).
class CellRuns {
public:
    void build(const cv::Mat& regions);
    // Room for the most runs a map of this size can have, so that neither
    // build nor a copy into this object allocates afterwards.
    void reserve(cv::Size cells);

    int rows() const { return static_cast<int>(starts_.empty() ? 0 : starts_.size() - 1); }
    // The runs of person, background and edge cells of a cell row.
    std::span<const CellRun> kinds(int row) const { return slice(kinds_, starts_, row); }
    // The runs of cells whose half-size refined mask is needed (kind Edge).
    std::span<const CellRun> refined(int row) const { return slice(refined_, refinedStarts_, row); }

private:
    static std::span<const CellRun> slice(const std::vector<CellRun>& runs,
                                          const std::vector<uint32_t>& starts, int row) {
        return {runs.data() + starts[row], runs.data() + starts[row + 1]};
    }

    std::vector<CellRun> kinds_;
    std::vector<uint32_t> starts_;  // the first run of each row, and the end
    std::vector<CellRun> refined_;
    std::vector<uint32_t> refinedStarts_;
};
