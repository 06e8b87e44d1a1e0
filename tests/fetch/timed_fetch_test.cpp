// The time limit around a fetch and the fate of abandoned transfers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

#include "fetch/fetch.h"
#include "fetch/fetch_internal.h"
#include "tests/fetch/raw_server.h"

namespace qorvex {
namespace {

using ::testing::IsEmpty;
using testing::RawRequest;
using testing::RawServer;
using testing::Reply;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Abandoned transfers notice within about a second; allow plenty more on a loaded machine.
bool TransfersDropTo(int count) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    if (RunningTransfers() <= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(TimedFetch, SilentServerRunsOutAtTheLimit) {
  RawServer server([](const RawRequest&) { return std::nullopt; });
  const int before = RunningTransfers();
  Text rawHeaders = "old";
  const auto start = Clock::now();
  const ByteBuffer body = TimedFetch(server.Url("/"), "", "", "", "", "", "", 1, &rawHeaders);
  const double elapsed = SecondsSince(start);
  EXPECT_THAT(body, IsEmpty());
  EXPECT_EQ(rawHeaders, "");
  EXPECT_GE(elapsed, 0.99);
  EXPECT_LT(elapsed, 1.5);  // returns as the limit passes, not when the transfer ends
  EXPECT_TRUE(TransfersDropTo(before)) << RunningTransfers() << " transfers still running";
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(TimedFetch, LateReplyAfterTheLimitIsEmpty) {
  RawServer server([](const RawRequest&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    return Reply("200 OK", "", "late");
  });
  const int before = RunningTransfers();
  EXPECT_THAT(TimedFetch(server.Url("/"), "", "", "", "", "", "", 1), IsEmpty());
  EXPECT_TRUE(TransfersDropTo(before));
}

TEST(TimedFetch, FailuresReturnWithoutWaitingForTheLimit) {
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "x"); });
  int closedPort = 0;
  {
    RawServer gone([](const RawRequest&) { return std::nullopt; });
    closedPort = gone.Port();
  }
  const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
  struct Case {
    std::string url;
    const char* verb;
  };
  for (const Case& c :
       {Case{server.Url("/"), "PUT"}, Case{server.Url("/"), "DELETE"}, Case{refused, ""}}) {
    const auto start = Clock::now();
    EXPECT_THAT(TimedFetch(c.url, c.verb, "", "", "", "", "", 30), IsEmpty()) << c.url;
    EXPECT_LT(SecondsSince(start), 5.0) << c.url << " " << c.verb;
  }
  EXPECT_THAT(server.Requests(), IsEmpty());
}

// 0 and negative limits mean the default of 90 seconds, never "already run out".
class DefaultLimit : public ::testing::TestWithParam<int> {};

TEST_P(DefaultLimit, WaitsForASlowReply) {
  RawServer server([](const RawRequest&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Reply("200 OK", "", "slow");
  });
  const ByteBuffer body = TimedFetch(server.Url("/"), "", "", "", "", "", "", GetParam());
  EXPECT_EQ(Text(body.begin(), body.end()), "slow");
}

INSTANTIATE_TEST_SUITE_P(Limits, DefaultLimit, ::testing::Values(0, -1, INT_MIN));

TEST(TimedFetch, ParallelFetchesKeepTheirOwnReplies) {
  ForgetAllCookies();
  RawServer server([](const RawRequest& request) {
    const std::string path = request.requestLine.substr(4, request.requestLine.find(' ', 4) - 4);
    return Reply("200 OK", "Set-Cookie: c" + path.substr(1) + "=1\r\n", path);
  });
  constexpr int kThreads = 16;
  constexpr int kEach = 4;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string path = "/" + std::to_string(t * kEach + i);
        const ByteBuffer body = TimedFetch(server.Url(path), "", "", "", "", "", "", 20);
        if (Text(body.begin(), body.end()) != path) wrong.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(server.Requests().size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace qorvex
