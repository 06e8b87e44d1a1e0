#include "collect/partitioner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

namespace qorvex {
namespace {

struct PlanCase {
  int32_t items;
  int32_t threads;
  std::vector<WorkRange> ranges;  // in start order
};

TEST(PlanWorkTest, RangesInStartOrder) {
  const PlanCase cases[] = {
      {20, 5, {{1, 4}, {5, 8}, {9, 12}, {13, 16}, {17, 20}}},
      // 25 mod 10 = 5, so 9 blocks of 2 and the second remainder 25 mod 9 = 7 started first.
      {25,
       10,
       {{19, 25}, {1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}, {17, 18}}},
      {6, 4, {{1, 2}, {3, 4}, {5, 6}}},  // second remainder 0: one thread fewer
      {5, 2, {{1, 5}}},
      {3, 10, {{1, 1}, {2, 2}, {3, 3}}},
      {7, 1, {{1, 7}}},
      {1, 1, {{1, 1}}},
      {0, 5, {}},
      {4, 0, {{1, 4}}},
  };
  for (const PlanCase& c : cases) {
    EXPECT_EQ(PlanWork(c.items, c.threads), c.ranges) << c.items << " over " << c.threads;
  }
}

TEST(PlanWorkTest, EveryItemExactlyOnceAndNeverMoreThreadsThanAsked) {
  for (int32_t items = 1; items <= 130; ++items) {
    for (int32_t threads = 1; threads <= 50; ++threads) {
      const auto ranges = PlanWork(items, threads);
      ASSERT_LE(static_cast<int32_t>(ranges.size()), std::min(items, threads));
      std::vector<int> seen(items + 1, 0);
      for (const WorkRange& r : ranges) {
        ASSERT_LE(r.first, r.last);
        for (int32_t i = r.first; i <= r.last; ++i)
          ++seen.at(i);
      }
      for (int32_t i = 1; i <= items; ++i)
        ASSERT_EQ(seen[i], 1) << items << "/" << threads;
    }
  }
}

// Collects worker bodies instead of starting threads, so tests decide when and where they run.
struct HeldStarter {
  std::vector<std::function<void()>> bodies;
  ThreadStarter Starter() {
    return [this](std::function<void()> body) {
      bodies.push_back(std::move(body));
      return true;
    };
  }
  void RunAll() {
    for (auto& b : bodies)
      b();
  }
};

TEST(DistributeWorkTest, WorkersStartInPlanOrderAndWalkTheirItemsUpwards) {
  HeldStarter held;
  std::vector<int32_t> handled;
  auto plan = DistributeWork([&](int32_t i) { handled.push_back(i); }, 25, 10,
                             std::make_shared<std::atomic<bool>>(false), held.Starter());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->blockSize, 2);
  EXPECT_EQ(plan->blockWorkers, 9);
  ASSERT_EQ(held.bodies.size(), 10u);
  held.RunAll();
  std::vector<int32_t> expected;
  for (int32_t i = 19; i <= 25; ++i)
    expected.push_back(i);
  for (int32_t i = 1; i <= 18; ++i)
    expected.push_back(i);
  EXPECT_EQ(handled, expected);
}

TEST(DistributeWorkTest, StopInsideAnItemLetsItFinishAndSkipsTheRest) {
  HeldStarter held;
  auto stop = std::make_shared<std::atomic<bool>>(false);
  std::vector<int32_t> handled;
  DistributeWork(
      [&](int32_t i) {
        if (i == 5) stop->store(true);
        handled.push_back(i);
      },
      8, 1, stop, held.Starter());
  held.RunAll();
  EXPECT_EQ(handled, (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

TEST(DistributeWorkTest, StopSetBeforeTheCallIsForgotten) {
  HeldStarter held;
  auto stop = std::make_shared<std::atomic<bool>>(true);
  int count = 0;
  DistributeWork([&](int32_t) { ++count; }, 6, 2, stop, held.Starter());
  held.RunAll();
  EXPECT_EQ(count, 6);
}

TEST(DistributeWorkTest, OverlappingDistributionsStayApart) {
  HeldStarter first;
  HeldStarter second;
  auto stopFirst = std::make_shared<std::atomic<bool>>(false);
  auto stopSecond = std::make_shared<std::atomic<bool>>(false);
  std::vector<int32_t> a;
  std::vector<int32_t> b;
  DistributeWork([&](int32_t i) { a.push_back(i); }, 4, 2, stopFirst, first.Starter());
  // The first run is stopped before its workers get going; the second call must neither clear
  // that stop nor lend its handler to the first run's workers.
  stopFirst->store(true);
  DistributeWork([&](int32_t i) { b.push_back(100 + i); }, 3, 3, stopSecond, second.Starter());
  first.RunAll();
  second.RunAll();
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(b, (std::vector<int32_t>{101, 102, 103}));
}

TEST(DistributeWorkTest, EarlierWorkersKeepTheirOwnHandler) {
  HeldStarter first;
  HeldStarter second;
  std::vector<int32_t> a;
  std::vector<int32_t> b;
  DistributeWork([&](int32_t i) { a.push_back(i); }, 2, 1, nullptr, first.Starter());
  DistributeWork([&](int32_t i) { b.push_back(i); }, 5, 1, nullptr, second.Starter());
  first.RunAll();
  EXPECT_EQ(a, (std::vector<int32_t>{1, 2}));
  EXPECT_TRUE(b.empty());
}

TEST(DistributeWorkTest, AWorkerThatCannotStartIsNotFatal) {
  int started = 0;
  ThreadStarter failing = [&](std::function<void()>) {
    ++started;
    return false;
  };
  EXPECT_TRUE(DistributeWork([](int32_t) {}, 10, 3, nullptr, failing));
  EXPECT_EQ(started, 2);  // 10 mod 3 = 1, so w = 2 and r = 10 mod 2 = 0: two blocks of five
}

TEST(DistributeWorkTest, RealThreadsHandleEveryItemOnce) {
  // Shared with the detached workers, which may outlive the test by a moment.
  struct State {
    std::mutex m;
    std::condition_variable done;
    std::multiset<int32_t> handled;
  };
  auto state = std::make_shared<State>();
  DistributeWork(
      [state](int32_t i) {
        std::lock_guard lock(state->m);
        state->handled.insert(i);
        state->done.notify_all();
      },
      97, 50, nullptr, DetachedThreadStarter());
  std::unique_lock lock(state->m);
  ASSERT_TRUE(state->done.wait_for(lock, std::chrono::seconds(20),
                                   [&] { return state->handled.size() >= 97u; }));
  for (int32_t i = 1; i <= 97; ++i)
    EXPECT_EQ(state->handled.count(i), 1u) << i;
}

}  // namespace
}  // namespace qorvex
