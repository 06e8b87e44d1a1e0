// A whole run through the engine against the sample site in-process: 100 result pages and
// 2,000 contact pages, 50 ms latency per request, 50 threads, chained into the export. Wall time
// is set beside the ideal that the fixed blocks of the partitioner allow.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "collect/engine.h"
#include "collect/partitioner.h"
#include "sample-site/sample_site.h"

namespace qorvex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCompanies = 2000;
constexpr int kLatencyMs = 50;
constexpr int kThreads = 50;

long StatusField(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return 0;
}

// The command-line front end's choices: nothing ticked but the export prompt, which is answered
// Yes, and a save path in the temporary folder.
class BenchFrontEnd : public FrontEnd {
 public:
  explicit BenchFrontEnd(std::string path) : path_(std::move(path)) {}

  void SetPanelText(int panel, const Text&) override {
    if (panel != 9) return;
    std::lock_guard lock(m_);
    starts_.push_back(Clock::now());
  }
  void SetTimerPeriod(int ms) override { timer_ = ms; }
  int TimerPeriod() const override { return timer_; }
  void SetStartButtonsEnabled(bool) override {}
  Text BoxText(EditBox box) const override {
    if (box == EditBox::Threads) return std::to_string(kThreads);
    if (box == EditBox::Timeout) return "10";
    return {};
  }
  bool IsTicked(CheckBox box) const override { return box == CheckBox::ExportPrompt; }
  void ShowMessage(const Text&, const Text&) override {}
  bool AskYesNo(const Text&, const Text&, Owner) override {
    std::lock_guard lock(m_);
    exportAsked_ = Clock::now();
    return true;
  }
  std::optional<std::string> AskSavePath(const Text&, const std::string&) override { return path_; }
  void ShowWriteFailure(const std::string&) override { failed_ = true; }
  int SelectedRow() const override { return -1; }
  void OpenUrl(const std::string&) override {}

  std::vector<Clock::time_point> Starts() const {
    std::lock_guard lock(m_);
    return starts_;
  }
  Clock::time_point ExportAsked() const {
    std::lock_guard lock(m_);
    return exportAsked_;
  }
  bool Failed() const { return failed_; }

 private:
  std::string path_;
  std::atomic<int> timer_{0};
  std::atomic<bool> failed_{false};
  mutable std::mutex m_;
  std::vector<Clock::time_point> starts_;
  Clock::time_point exportAsked_;
};

int32_t LongestBlock(int32_t items, int32_t threads) {
  int32_t longest = 0;
  for (const WorkRange& r : PlanWork(items, threads))
    longest = std::max(longest, r.last - r.first + 1);
  return longest;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void BM_WholeRun(benchmark::State& state) {
  SampleSiteOptions options;
  options.port = 0;
  options.latencyMs = kLatencyMs;
  options.companies = kCompanies;
  options.threads = 128;
  SampleSite site(options);
  if (!site.Start()) {
    state.SkipWithError("sample site did not start");
    return;
  }
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  const SiteConfig config{"http://" + hostPort + "/scom?kw=", "http://" + hostPort + "/",
                          hostPort + "/"};
  const auto path = (std::filesystem::temp_directory_path() /
                     ("qorvex_bench_" + std::to_string(::getpid()) + ".csv"))
                        .string();

  std::atomic<bool> sampling{true};
  std::atomic<long> peakThreads{0};
  std::thread sampler([&] {
    while (sampling.load()) {
      const long n = StatusField("Threads");
      if (n > peakThreads.load()) peakThreads.store(n);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });

  double searchMs = 0;
  double detailMs = 0;
  double wallMs = 0;
  int rows = 0;
  bool failed = false;
  for (auto _ : state) {
    BenchFrontEnd frontEnd(path);
    ResultTable table;
    Engine engine(table, frontEnd, config);
    engine.SetTimeoutSeconds(10);
    const auto start = Clock::now();
    engine.StartCompanySearch();
    engine.WaitForQuiet(std::chrono::minutes(5));
    const auto end = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    const auto starts = frontEnd.Starts();
    wallMs = Ms(end - start);
    if (starts.size() == 2) {
      searchMs = Ms(starts[1] - starts[0]);
      detailMs = Ms(frontEnd.ExportAsked() - starts[1]);
    }
    rows = table.RowCount();
    failed = failed || frontEnd.Failed() || rows != kCompanies;
  }
  sampling.store(false);
  sampler.join();
  std::filesystem::remove(path);
  if (failed) state.SkipWithError("the run did not collect every company");

  const int32_t pages = (kCompanies + 19) / 20;
  const double idealSearch = (1 + LongestBlock(pages, kThreads)) * kLatencyMs;
  const double idealDetail = LongestBlock(kCompanies, kThreads) * kLatencyMs;
  state.counters["wall_ms"] = wallMs;
  state.counters["ideal_ms"] = idealSearch + idealDetail;
  state.counters["search_ms"] = searchMs;
  state.counters["search_ideal_ms"] = idealSearch;
  state.counters["detail_ms"] = detailMs;
  state.counters["detail_ideal_ms"] = idealDetail;
  state.counters["rows"] = rows;
  state.counters["peak_threads"] = static_cast<double>(peakThreads.load());
  state.counters["vm_hwm_kb"] = static_cast<double>(StatusField("VmHWM"));
}

BENCHMARK(BM_WholeRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qorvex

BENCHMARK_MAIN();
