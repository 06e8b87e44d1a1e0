#include "collect/partitioner.h"

#include <system_error>
#include <thread>
#include <utility>

namespace qorvex {

namespace {

struct Split {
  int32_t blockSize = 0;
  int32_t blockWorkers = 0;
  int32_t remainder = 0;
};

Split SplitItems(int32_t itemCount, int32_t threadCount) {
  if (threadCount < 1) threadCount = 1;
  if (threadCount > itemCount) threadCount = itemCount;
  int32_t w = threadCount;
  int32_t r = itemCount % w;
  // The second remainder is taken against the lowered count, so it can exceed a block.
  if (r != 0) {
    w = w - 1;
    r = itemCount % w;
  }
  return {itemCount / w, w, r};
}

// The items of full block i (from 1), and of the remainder after the last full block: the one
// place where ranges are worked out, for the plan the tests read and the workers alike.
WorkRange BlockRange(int32_t blockSize, int32_t blockIndex) {
  return {(blockIndex - 1) * blockSize + 1, blockIndex * blockSize};
}
WorkRange RemainderRange(int32_t blockSize, int32_t blockWorkers, int32_t remainder) {
  const int32_t full = blockWorkers * blockSize;
  return {full + 1, full + remainder};
}

void RunRange(const WorkPlan& plan, WorkRange range) {
  for (int32_t item = range.first; item <= range.last; ++item) {
    if (plan.stopRequested->load()) break;
    plan.itemHandler(item);
  }
}

}  // namespace

std::vector<WorkRange> PlanWork(int32_t itemCount, int32_t threadCount) {
  std::vector<WorkRange> ranges;
  if (itemCount < 1) return ranges;
  const Split split = SplitItems(itemCount, threadCount);
  if (split.remainder != 0) {
    ranges.push_back(RemainderRange(split.blockSize, split.blockWorkers, split.remainder));
  }
  for (int32_t i = 1; i <= split.blockWorkers; ++i) {
    ranges.push_back(BlockRange(split.blockSize, i));
  }
  return ranges;
}

std::shared_ptr<const WorkPlan> DistributeWork(ItemHandler handler, int32_t itemCount,
                                               int32_t threadCount, StopFlag stopFlag,
                                               const ThreadStarter& startThread) {
  if (!stopFlag) stopFlag = std::make_shared<std::atomic<bool>>(false);
  stopFlag->store(false);
  if (itemCount < 1 || !handler) return nullptr;
  const Split split = SplitItems(itemCount, threadCount);
  auto plan = std::make_shared<WorkPlan>();
  plan->itemHandler = std::move(handler);
  plan->blockSize = split.blockSize;
  plan->blockWorkers = split.blockWorkers;
  plan->stopRequested = std::move(stopFlag);
  std::shared_ptr<const WorkPlan> shared = plan;

  if (split.remainder != 0) {
    startThread([shared, r = split.remainder] { RunRemainder(shared, r); });
  }
  for (int32_t i = 1; i <= split.blockWorkers; ++i) {
    startThread([shared, i] { RunBlock(shared, i); });
  }
  return shared;
}

void RunBlock(const std::shared_ptr<const WorkPlan>& plan, int32_t blockIndex) {
  RunRange(*plan, BlockRange(plan->blockSize, blockIndex));
}

void RunRemainder(const std::shared_ptr<const WorkPlan>& plan, int32_t remainder) {
  RunRange(*plan, RemainderRange(plan->blockSize, plan->blockWorkers, remainder));
}

ThreadStarter DetachedThreadStarter() {
  return [](std::function<void()> body) {
    try {
      std::thread(std::move(body)).detach();
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  };
}

}  // namespace qorvex
