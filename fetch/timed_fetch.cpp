#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "fetch/fetch.h"

namespace qorvex {
namespace {

constexpr int kDefaultLimitSeconds = 90;
// libcurl's own deadline comes a little after ours, so an abandoned transfer that somehow
// missed the cancel flag still ends.
constexpr long kBackstopMarginMs = 5000;

std::atomic<int> gRunningTransfers{0};

// Owned jointly by the caller and its transfer thread, so a caller that gave up can return at
// once while the transfer finishes into memory that is still alive.
struct TransferState {
  FetchRecord record;
  std::atomic<bool> abandoned{false};
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;  // guarded by mutex; after it is set the thread no longer touches record
};

}  // namespace

int RunningTransfers() {
  return gRunningTransfers.load();
}

ByteBuffer TimedFetch(const Text& url, const Text& verb, const Text& proxy, const Text& user,
                      const Text& password, const Text& headers, const Text& body,
                      int timeoutSeconds, Text* rawHeadersOut) {
  FetchGlobalInit();
  // 0 and negative both mean the default: a negative limit would be a wait without end.
  const int limitSeconds = timeoutSeconds > 0 ? timeoutSeconds : kDefaultLimitSeconds;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);

  auto state = std::make_shared<TransferState>();
  state->record.WriteText("Quillon");
  for (const Text* field : {&url, &verb, &proxy, &user, &password, &headers, &body}) {
    state->record.WriteText(*field);
  }

  const long backstopMs = static_cast<long>(limitSeconds) * 1000 + kBackstopMarginMs;
  gRunningTransfers.fetch_add(1);
  try {
    std::thread([state, backstopMs]() mutable {
      HttpTransaction(&state->record, &state->abandoned, backstopMs);
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
      }
      state->ended.notify_all();
      state.reset();
      gRunningTransfers.fetch_sub(1);
    }).detach();
  } catch (const std::system_error&) {
    gRunningTransfers.fetch_sub(1);
    if (rawHeadersOut != nullptr) rawHeadersOut->clear();
    return {};
  }

  {
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->ended.wait_until(lock, deadline, [&state] { return state->done; })) {
      state->abandoned.store(true);
      if (rawHeadersOut != nullptr) rawHeadersOut->clear();
      return {};
    }
  }

  state->record.Rewind();
  const Text marker = state->record.ReadText();
  Text rawHeaders = state->record.ReadText();
  ByteBuffer reply = state->record.ReadBytes();
  if (rawHeadersOut != nullptr) *rawHeadersOut = std::move(rawHeaders);
  if (marker != "Quillon_OK") return {};
  return reply;
}

}  // namespace qorvex
