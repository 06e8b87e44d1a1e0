// 50 workers fill a table as a company search followed by detail collection does, while a view
// thread follows every change: how fast rows go in, and how long a worker ever waits for the
// table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <latch>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "results/csv.h"
#include "results/result_table.h"

namespace qorvex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWriters = 50;
constexpr int kRows = 2000;

// Follows the table the way a list view does: woken by the callback, it takes the marks and
// reads the rows they name.
class View {
 public:
  explicit View(ResultTable& table) : table_(table) {
    table_.SetChangeCallback([this] {
      {
        std::lock_guard lock(mutex_);
        woken_ = true;
      }
      wake_.notify_one();
    });
    thread_ = std::thread([this] { Run(); });
  }
  ~View() { Stop(); }
  void Stop() {
    if (!thread_.joinable()) return;
    table_.SetChangeCallback(nullptr);
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  // Only once stopped.
  long WakeUps() const { return wakeUps_; }
  long RowsRead() const { return rowsRead_; }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return woken_ || stop_; });
      if (stop_) return;
      woken_ = false;
      ++wakeUps_;
      lock.unlock();
      const TableChanges changes = table_.TakeChanges();
      if (changes.rowsRemovedOrMoved) {
        rowsRead_ += static_cast<long>(table_.Snapshot().size());
      } else {
        for (int r = changes.firstRow; r <= changes.lastRow; ++r) {
          benchmark::DoNotOptimize(table_.RowSnapshot(r));
          ++rowsRead_;
        }
      }
      lock.lock();
    }
  }

  ResultTable& table_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool stop_ = false;
  long wakeUps_ = 0;
  long rowsRead_ = 0;
  std::thread thread_;
};

// Realistic cell texts: code page 936 names and addresses are longer than the small-string
// buffer, numbers are not.
std::vector<Text> ContactCells(int row) {
  const std::string n = std::to_string(row);
  return {"\xD5\xC5\xC8\xFD" + n,                                           // 张三
          "138" + std::string(8 - std::min<size_t>(8, n.size()), '0') + n,  // mobile
          "010-6" + n,
          "010-8" + n,
          "sales" + n + "@example.com",
          "10000" + n,
          "\xB1\xB1\xBE\xA9\xCA\xD0\xBA\xA3\xB5\xED\xC7\xF8\xD6\xD0\xB9\xD8\xB4\xE5" + n};
}

void BM_FiftyWritersWithView(benchmark::State& state) {
  const bool withView = state.range(0) != 0;
  double longestWaitUs = 0;
  double p99Sum = 0;
  double medianSum = 0;
  double seconds = 0;
  long wakeUps = 0;
  long rowsRead = 0;
  for (auto _ : state) {
    ResultTable table;
    std::optional<View> view;
    if (withView) view.emplace(table);
    std::latch start(kWriters + 1);
    std::vector<std::vector<float>> waits(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      writers.emplace_back([&, w] {
        std::vector<float>& mine = waits[w];
        mine.reserve(kRows / kWriters * 8 + 8);
        auto timed = [&](auto call) {
          const auto begin = Clock::now();
          call();
          const std::chrono::duration<float, std::micro> took = Clock::now() - begin;
          mine.push_back(took.count());
        };
        start.arrive_and_wait();
        for (int row = w; row < kRows; row += kWriters) {
          const Text key = "qv" + std::to_string(100000 + row);
          const Text name = "\xB9\xAB\xCB\xBE" + std::to_string(row);  // 公司
          RowId id = 0;
          timed([&] { id = table.AppendCompany(key, name); });
          const std::vector<Text> cells = ContactCells(row);
          for (int c = 0; c < 7; ++c) {
            timed([&] { table.SetCellById(id, kColumnContact + c, cells[c]); });
          }
        }
      });
    }
    const auto begin = Clock::now();
    start.arrive_and_wait();
    for (auto& t : writers)
      t.join();
    const std::chrono::duration<double> elapsed = Clock::now() - begin;
    state.SetIterationTime(elapsed.count());
    seconds += elapsed.count();
    std::vector<float> all;
    for (const auto& mine : waits)
      all.insert(all.end(), mine.begin(), mine.end());
    std::sort(all.begin(), all.end());
    longestWaitUs = std::max(longestWaitUs, static_cast<double>(all.back()));
    p99Sum += all[all.size() * 99 / 100];
    medianSum += all[all.size() / 2];
    if (view) {
      view->Stop();
      wakeUps += view->WakeUps();
      rowsRead += view->RowsRead();
    }
    if (table.RowCount() != kRows) state.SkipWithError("rows were lost");
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["rows_per_s"] = static_cast<double>(kRows) * iterations / seconds;
  state.counters["max_writer_wait_us"] = longestWaitUs;
  state.counters["p99_writer_wait_us"] = p99Sum / iterations;
  state.counters["median_writer_wait_us"] = medianSum / iterations;
  state.counters["view_wakeups"] = static_cast<double>(wakeUps) / iterations;
  state.counters["view_rows_read"] = static_cast<double>(rowsRead) / iterations;
}
BENCHMARK(BM_FiftyWritersWithView)
    ->ArgName("view")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The export's text for a full table of 2,000 companies.
void BM_BuildCsv(benchmark::State& state) {
  ResultTable table;
  for (int row = 0; row < kRows; ++row) {
    const RowId id = table.AppendCompany("qv" + std::to_string(100000 + row),
                                         "\xB9\xAB\xCB\xBE" + std::to_string(row));  // 公司
    table.SetCellsById(id, kColumnContact, ContactCells(row));
  }
  size_t bytes = 0;
  for (auto _ : state) {
    const Text csv = BuildCsv(table);
    bytes = csv.size();
    benchmark::DoNotOptimize(csv.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildCsv)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qorvex

BENCHMARK_MAIN();
