// The counters a run shares between its workers and the status bar.
#pragma once

#include <atomic>
#include <cstdint>

#include "collect/engine.h"

namespace qorvex {

/// Raised by many workers at once: every field is atomic, so no increment is lost (and an
/// overflow wraps instead of being undefined).
struct RunCounters {
  std::atomic<int32_t> pageCount{0};
  std::atomic<int32_t> totalCount{0};
  std::atomic<int32_t> processedCount{0};
  std::atomic<int32_t> filteredCount{0};
  std::atomic<int32_t> validCount{0};

  CounterValues Values() const {
    CounterValues v;
    v.pageCount = pageCount.load();
    v.totalCount = totalCount.load();
    v.processedCount = processedCount.load();
    v.filteredCount = filteredCount.load();
    v.validCount = validCount.load();
    return v;
  }
};

}  // namespace qorvex
