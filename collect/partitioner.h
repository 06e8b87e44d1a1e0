// Spreads the numbered work items of a run over worker threads in fixed contiguous blocks.
//
// Every call gets a plan and a stop flag of its own, so workers of an earlier distribution
// never take up a later one's handler and never resume because a later call cleared its flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qorvex {

using ItemHandler = std::function<void(int32_t item)>;
/// Starts body on a thread of its own; false when no thread could be started.
using ThreadStarter = std::function<bool(std::function<void()> body)>;
using StopFlag = std::shared_ptr<std::atomic<bool>>;

/// One distribution; never changed after its workers start.
struct WorkPlan {
  ItemHandler itemHandler;
  int32_t blockSize = 0;
  int32_t blockWorkers = 0;
  StopFlag stopRequested;
};

/// Items first..last (inclusive) of one worker.
struct WorkRange {
  int32_t first = 0;
  int32_t last = 0;
  friend bool operator==(const WorkRange&, const WorkRange&) = default;
};

/// The workers' ranges in the order they are started: the remainder worker (when there is one)
/// first, then blocks 1 to w. Empty for itemCount < 1; a threadCount below 1 counts as 1.
std::vector<WorkRange> PlanWork(int32_t itemCount, int32_t threadCount);

/// Clears stopFlag, starts one worker per range of PlanWork in that order and returns the plan
/// without waiting. A worker that cannot be started is skipped; its items are never handled.
std::shared_ptr<const WorkPlan> DistributeWork(ItemHandler handler, int32_t itemCount,
                                               int32_t threadCount, StopFlag stopFlag,
                                               const ThreadStarter& startThread);

/// The worker bodies: the items of their range in increasing order, none once the flag is set.
void RunBlock(const std::shared_ptr<const WorkPlan>& plan, int32_t blockIndex);
void RunRemainder(const std::shared_ptr<const WorkPlan>& plan, int32_t remainder);

/// Starts detached std::threads; a std::system_error gives false.
ThreadStarter DetachedThreadStarter();

}  // namespace qorvex
