// 2,000 small pages from a local site over 50 threads through TimedFetch, beside the curl tool
// fetching the same URL list with 50 parallel transfers.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fetch/fetch.h"
#include "sample-site/sample_site.h"

namespace {

constexpr int kPages = 2000;
constexpr int kThreads = 50;

qorvex::SampleSite* gSite = nullptr;
std::vector<std::string> gUrls;
double gOursSeconds = 0;
double gCurlSeconds = 0;

long StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return 0;
}

void SetUpSite() {
  if (gSite != nullptr) return;
  qorvex::SampleSiteOptions options;
  options.port = 0;
  options.companies = kPages;
  options.threads = 64;
  gSite = new qorvex::SampleSite(options);
  if (!gSite->Start()) std::abort();
  for (int i = 0; i < kPages; ++i) {
    const int id = gSite->Companies()[i].id;
    gUrls.push_back(gSite->BaseUrl() + "contact" + std::to_string(id) + ".html");
  }
}

void BM_TimedFetch50Threads(benchmark::State& state) {
  SetUpSite();
  qorvex::FetchGlobalInit();
  const long threadsBefore = StatusField("Threads");
  long peakThreads = 0;
  long failures = 0;
  long bytes = 0;
  double best = 1e9;
  for (auto _ : state) {
    std::atomic<int> next{0};
    std::atomic<long> failed{0};
    std::atomic<long> received{0};
    std::atomic<bool> running{true};
    std::atomic<long> peak{0};
    std::thread sampler([&] {
      while (running.load()) {
        peak.store(std::max(peak.load(), StatusField("Threads")));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
      workers.emplace_back([&] {
        for (int i = next.fetch_add(1); i < kPages; i = next.fetch_add(1)) {
          const qorvex::ByteBuffer body =
              qorvex::TimedFetch(gUrls[i], "GET", "", "", "", "", "", 30);
          if (body.empty()) failed.fetch_add(1);
          received.fetch_add(static_cast<long>(body.size()));
        }
      });
    }
    for (std::thread& worker : workers)
      worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    running.store(false);
    sampler.join();
    state.SetIterationTime(seconds);
    best = std::min(best, seconds);
    peakThreads = std::max(peakThreads, peak.load());
    failures += failed.load();
    bytes = received.load();
  }
  gOursSeconds = best;
  state.counters["pages_per_s"] = kPages / best;
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["body_kib"] = static_cast<double>(bytes) / 1024;
  state.counters["threads_before"] = static_cast<double>(threadsBefore);
  state.counters["threads_peak"] = static_cast<double>(peakThreads);
  // The site's own serving threads live in this process too; those still here afterwards are
  // the site's, so the peak minus this count is the fetch side's.
  state.counters["threads_after"] = static_cast<double>(StatusField("Threads"));
  state.counters["vm_hwm_mib"] = static_cast<double>(StatusField("VmHWM")) / 1024;
}
BENCHMARK(BM_TimedFetch50Threads)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CurlTool50Parallel(benchmark::State& state) {
  SetUpSite();
  char path[] = "/tmp/bench_fetch_curl_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  {
    std::string config;
    for (const std::string& url : gUrls)
      config += "url = \"" + url + "\"\noutput = \"/dev/null\"\n";
    if (write(fd, config.data(), config.size()) != static_cast<ssize_t>(config.size())) {
      state.SkipWithError("cannot write the URL list");
    }
    close(fd);
  }
  const std::string command = std::string("curl --silent --parallel --parallel-immediate ") +
                              "--parallel-max 50 --config " + path + " >/dev/null 2>&1";
  double best = 1e9;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) state.SkipWithError("curl failed");
    state.SetIterationTime(seconds);
    best = std::min(best, seconds);
  }
  unlink(path);
  gCurlSeconds = best;
  state.counters["pages_per_s"] = kPages / best;
}
BENCHMARK(BM_CurlTool50Parallel)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gOursSeconds > 0 && gCurlSeconds > 0) {
    std::printf("2000 pages, 50 at a time: TimedFetch %.3f s, curl tool %.3f s, ratio %.2f\n",
                gOursSeconds, gCurlSeconds, gOursSeconds / gCurlSeconds);
  }
  // The site is left running: abandoned transfers, if any, may still talk to it.
  return 0;
}
