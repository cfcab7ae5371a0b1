#include "app/graph_status_output.h"

void GraphStatusOutput::OnFrame24(const uint8_t*, size_t, int32_t, int32_t) {
    frames_.fetch_add(1, std::memory_order_relaxed);
}
