// qorvex-sample-site: serves the sample directory site until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "sample-site/sample_site.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: qorvex-sample-site [options]\n"
               "Serves a generated company directory in the directory site's format.\n\n"
               "  --port N          port to listen on (default 8360; 0 picks a free one)\n"
               "  --host ADDR       address to listen on (default 127.0.0.1)\n"
               "  --latency-ms N    delay every response by N milliseconds (default 0)\n"
               "  --seed N          seed of the generated directory (default 1)\n"
               "  --companies N     companies in the directory (default 300, at most 100000)\n"
               "  --threads N       connections served at once (default 64)\n"
               "  --help            show this text\n");
}

bool ReadInt(std::string_view text, long long low, long long high, long long& value) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size() && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  qorvex::SampleSiteOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    std::string_view value;
    size_t eq = arg.find('=');
    std::string_view name = arg.substr(0, eq);
    if (name != "--host" && name != "--port" && name != "--latency-ms" && name != "--seed" &&
        name != "--companies" && name != "--threads") {
      std::fprintf(stderr, "qorvex-sample-site: unknown option %.*s\n\n",
                   static_cast<int>(name.size()), name.data());
      PrintUsage(stderr);
      return 2;
    }
    if (eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      std::fprintf(stderr, "qorvex-sample-site: %s needs a value\n", argv[i]);
      return 2;
    }
    long long n = 0;
    bool ok = true;
    if (name == "--host") {
      options.host = std::string(value);
      ok = !value.empty();
    } else if (name == "--port") {
      ok = ReadInt(value, 0, 65535, n);
      options.port = static_cast<int>(n);
    } else if (name == "--latency-ms") {
      ok = ReadInt(value, 0, 600000, n);
      options.latencyMs = static_cast<int>(n);
    } else if (name == "--seed") {
      ok = ReadInt(value, 0, 4294967295LL, n);
      options.seed = static_cast<unsigned>(n);
    } else if (name == "--companies") {
      ok = ReadInt(value, 0, 100000, n);
      options.companies = static_cast<int>(n);
    } else {  // --threads
      ok = ReadInt(value, 8, 1024, n);
      options.threads = static_cast<int>(n);
    }
    if (!ok) {
      std::fprintf(stderr, "qorvex-sample-site: bad value for %.*s: %.*s\n",
                   static_cast<int>(name.size()), name.data(), static_cast<int>(value.size()),
                   value.data());
      return 2;
    }
  }

  // Block the stop signals in every thread; the main thread takes them with sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  qorvex::SampleSite site(options);
  if (!site.Start()) {
    std::fprintf(stderr, "qorvex-sample-site: cannot listen on %s:%d (the port is taken?)\n",
                 options.host.c_str(), options.port);
    return 1;
  }
  std::printf("Sample directory site with %zu companies (seed %u) listening on %s\n",
              site.Companies().size(), options.seed, site.BaseUrl().c_str());
  std::printf("Search: %sscom?kw=%%E6%%89%%8B%%E6%%9C%%BA&area=\n", site.BaseUrl().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  std::printf("Stopping (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
  site.Stop();
  return 0;
}
