// What actually reaches the wire, and what comes back, for one HTTP exchange.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "fetch/fetch.h"
#include "fetch/fetch_internal.h"
#include "tests/fetch/raw_server.h"

namespace qorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::RawRequest;
using testing::RawServer;
using testing::Reply;

constexpr int kLimit = 10;
constexpr char kUserAgent[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char kAccept[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

Text AsText(const ByteBuffer& bytes) {
  return Text(bytes.begin(), bytes.end());
}

std::vector<std::string> CookiePairs(const RawRequest& request) {
  std::vector<std::string> pairs;
  for (const std::string& line : request.Lines("Cookie")) {
    std::string_view rest = std::string_view(line).substr(8);
    while (!rest.empty()) {
      const size_t end = rest.find("; ");
      pairs.emplace_back(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override { ForgetAllCookies(); }
};

struct WireCase {
  const char* name;
  const char* verb;
  const char* headers;
  const char* body;
  const char* requestLine;                   // path of the URL "/form?x=1"
  std::vector<std::string> linesAfterAgent;  // "{url}" stands for the URL
  const char* sentBody;
};

void PrintTo(const WireCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kUrlMark = "{url}";

const WireCase kWireCases[] = {
    {"DefaultGet",
     "",
     "",
     "",
     "GET /form?x=1 HTTP/1.1",
     {kAccept, "Referer: {url}", "Accept-Language: zh-cn"},
     ""},
    {"GetIgnoresBody",
     "GET",
     "",
     "ignored",
     "GET /form?x=1 HTTP/1.1",
     {kAccept, "Referer: {url}", "Accept-Language: zh-cn"},
     ""},
    {"VerbSentAsWritten",
     "get",
     "",
     "",
     "get /form?x=1 HTTP/1.1",
     {kAccept, "Referer: {url}", "Accept-Language: zh-cn"},
     ""},
    {"CallerAcceptInLowerCase",
     "",
     "accept: text/html\r\n",
     "",
     "GET /form?x=1 HTTP/1.1",
     {"accept: text/html", "Referer: {url}", "Accept-Language: zh-cn"},
     ""},
    {"CallerLinesComeFirst",
     "",
     "X-Extra: 1\r\nreferer: mine\r\n",
     "",
     "GET /form?x=1 HTTP/1.1",
     {"X-Extra: 1", "referer: mine", kAccept, "Accept-Language: zh-cn"},
     ""},
    {"LowerCasePostWithBody",
     "post",
     "",
     "a=1&b=2",
     "post /form?x=1 HTTP/1.1",
     {kAccept, "Referer: {url}", "Accept-Language: zh-cn",
      "Content-Type: application/x-www-form-urlencoded", "Content-Length: 7"},
     "a=1&b=2"},
    {"PostWithCallerContentType",
     "POST",
     "content-type: text/plain\r\n",
     "xyz",
     "POST /form?x=1 HTTP/1.1",
     {"content-type: text/plain", kAccept, "Referer: {url}", "Accept-Language: zh-cn",
      "Content-Length: 3"},
     "xyz"},
    {"PostWithEmptyBody",
     "POST",
     "",
     "",
     "POST /form?x=1 HTTP/1.1",
     {kAccept, "Referer: {url}", "Accept-Language: zh-cn"},
     ""},
};

class WireRequest : public Exchange, public ::testing::WithParamInterface<WireCase> {};

TEST_P(WireRequest, HeaderLinesExactlyAndInOrder) {
  const WireCase& c = GetParam();
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "fine"); });
  const std::string url = server.Url("/form?x=1");
  EXPECT_EQ(AsText(TimedFetch(url, c.verb, "", "", "", c.headers, c.body, kLimit)), "fine");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const RawRequest& request = requests[0];
  EXPECT_EQ(request.requestLine, c.requestLine);
  std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server.Port()),
                                       kUserAgent};
  for (std::string line : c.linesAfterAgent) {
    const size_t mark = line.find(kUrlMark);
    if (mark != std::string::npos) line.replace(mark, kUrlMark.size(), url);
    expected.push_back(line);
  }
  EXPECT_THAT(request.headerLines, ElementsAreArray(expected));
  EXPECT_EQ(request.body, c.sentBody);
}

INSTANTIATE_TEST_SUITE_P(Table, WireRequest, ::testing::ValuesIn(kWireCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exchange, LargePostBodyGoesOutAtOnce) {
  // libcurl would otherwise ask for a 100 Continue first on large bodies and stall.
  const std::string body(3u << 20, 'v');
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "got"); });
  EXPECT_EQ(AsText(TimedFetch(server.Url("/up"), "POST", "", "", "", "", body, kLimit)), "got");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests[0].Lines("Expect"), IsEmpty());
  EXPECT_THAT(requests[0].Lines("Content-Length"), ElementsAre("Content-Length: 3145728"));
  EXPECT_TRUE(requests[0].body == body);
}

TEST_F(Exchange, RefererAndPathGoOutUnchanged) {
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "x"); });
  const std::string url = server.Url("/a/./b/../c?q=%41+1&r=/s");
  TimedFetch(url, "", "", "", "", "", "", kLimit);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET /a/./b/../c?q=%41+1&r=/s HTTP/1.1");
  EXPECT_THAT(requests[0].Lines("Referer"), ElementsAre("Referer: " + url));
}

TEST_F(Exchange, CookiesAreStoredThenSentOnce) {
  const std::string padding(2000, 'p');
  RawServer server([&padding](const RawRequest& request) -> std::optional<std::string> {
    if (request.requestLine.starts_with("GET /first")) {
      return Reply("200 OK", "Set-Cookie: SID=ab=c; path=/\r\nset-cookie: lang=zh\r\n", "1");
    }
    if (request.requestLine.starts_with("GET /big")) {
      // Far more header text than the original fixed buffer held; the cookie is at the end.
      return Reply("200 OK", "X-Pad: " + padding + "\r\nSet-Cookie: late=yes\r\n", "2");
    }
    return Reply("200 OK", "", "3");
  });
  Text rawHeaders;
  EXPECT_EQ(AsText(TimedFetch(server.Url("/first"), "", "", "", "", "", "", kLimit)), "1");
  EXPECT_EQ(AsText(TimedFetch(server.Url("/big"), "", "", "", "", "", "", kLimit, &rawHeaders)),
            "2");
  EXPECT_GT(rawHeaders.size(), 2000u);
  EXPECT_NE(rawHeaders.find("\r\nSet-Cookie: late=yes\r\n"), std::string::npos);
  EXPECT_EQ(AsText(TimedFetch(server.Url("/next"), "", "", "", "", "", "", kLimit)), "3");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_THAT(requests[0].Lines("Cookie"), IsEmpty());
  EXPECT_THAT(CookiePairs(requests[1]), ElementsAre("SID=ab=c", "lang=zh"));
  EXPECT_EQ(requests[2].Lines("Cookie").size(), 1u);
  EXPECT_THAT(CookiePairs(requests[2]), ElementsAre("SID=ab=c", "lang=zh", "late=yes"));
}

TEST_F(Exchange, CookieStoreFollowsPathsAndExpiry) {
  RawServer server([](const RawRequest& request) -> std::optional<std::string> {
    if (request.requestLine.starts_with("GET /dir/page")) {
      return Reply("200 OK", "Set-Cookie: k=v\r\nSet-Cookie: gone=1; Path=/\r\n", "");
    }
    if (request.requestLine.starts_with("GET /dir/drop")) {
      return Reply("200 OK", "Set-Cookie: gone=; Max-Age=0; Path=/\r\n", "");
    }
    return Reply("200 OK", "", "");
  });
  for (const char* path : {"/dir/page", "/dir/other", "/elsewhere", "/dir/drop", "/dir/last"}) {
    TimedFetch(server.Url(path), "", "", "", "", "", "", kLimit);
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  // A cookie without a path belongs to the page's directory, once, not also to "/".
  EXPECT_THAT(CookiePairs(requests[1]), ElementsAre("gone=1", "k=v"));
  EXPECT_THAT(CookiePairs(requests[2]), ElementsAre("gone=1"));
  // An expired cookie stays gone.
  EXPECT_THAT(CookiePairs(requests[4]), ElementsAre("k=v"));
}

TEST_F(Exchange, RedirectIsFollowedWithItsCookie) {
  RawServer server([](const RawRequest& request) -> std::optional<std::string> {
    if (request.requestLine.starts_with("GET /start")) {
      return Reply("302 Found", "Location: /next\r\nSet-Cookie: r=1\r\n", "moved");
    }
    return Reply("200 OK", "X-Final: yes\r\n", "done");
  });
  Text rawHeaders;
  EXPECT_EQ(AsText(TimedFetch(server.Url("/start"), "", "", "", "", "", "", kLimit, &rawHeaders)),
            "done");
  EXPECT_TRUE(rawHeaders.starts_with("HTTP/1.1 200 OK\r\n")) << rawHeaders;
  EXPECT_EQ(rawHeaders.find("302"), std::string::npos);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].requestLine, "GET /next HTTP/1.1");
  EXPECT_THAT(requests[1].Lines("Cookie"), ElementsAre("Cookie: r=1"));
}

TEST_F(Exchange, EndlessRedirectsFail) {
  RawServer server(
      [](const RawRequest&) { return Reply("302 Found", "Location: /again\r\n", ""); });
  EXPECT_THAT(TimedFetch(server.Url("/again"), "", "", "", "", "", "", kLimit), IsEmpty());
  EXPECT_EQ(server.Requests().size(), static_cast<size_t>(kMaxRedirects + 1));
}

TEST_F(Exchange, RawHeadersAreLinesEndedByCrLf) {
  RawServer server([](const RawRequest&) {
    return std::optional<std::string>("HTTP/1.1 200 OK\nX-A: 1\nContent-Length: 2\n\nhi");
  });
  Text rawHeaders = "old";
  EXPECT_EQ(AsText(TimedFetch(server.Url("/"), "", "", "", "", "", "", kLimit, &rawHeaders)), "hi");
  EXPECT_EQ(rawHeaders, "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 2\r\n");
}

struct BodyCase {
  const char* name;
  std::string (*reply)();  // built when the case runs: some are tens of megabytes
  std::string expected;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
  *os << c.name;
}

// Header lines of 8 KiB each, about bytes in all.
std::string ManyHeaderLines(size_t bytes) {
  std::string lines;
  for (int i = 0; lines.size() < bytes; ++i) {
    lines += "X-Line-" + std::to_string(i) + ": " + std::string(8192, 'h') + "\r\n";
  }
  return lines;
}

std::string OverCap() {
  return std::string(kMaxBodyBytes + 1, 'b');
}

const BodyCase kBodyCases[] = {
    {"EmptyBodyIsEmpty", [] { return Reply("200 OK", "", ""); }, ""},
    {"ServerErrorBodyIsTheReply", [] { return Reply("500 Internal Server Error", "", "oops"); },
     "oops"},
    {"NotFoundBodyIsTheReply", [] { return Reply("404 Not Found", "", "none"); }, "none"},
    {"ZeroByteKept", [] { return Reply("200 OK", "", std::string("a\0b", 3)); },
     std::string("a\0b", 3)},
    {"CutShortFails",
     [] { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten.."); }, ""},
    {"OverCapWithLengthFails", [] { return Reply("200 OK", "", OverCap()); }, ""},
    {"OverCapUntilCloseFails",
     [] { return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + OverCap(); }, ""},
    {"LargeHeaderBlockKept", [] { return Reply("200 OK", ManyHeaderLines(64 * 1024), "body"); },
     "body"},
    {"HugeHeaderBlockFails",
     [] { return Reply("200 OK", ManyHeaderLines(kMaxHeaderBytes), "body"); }, ""},
    {"ZeroByteInHeaderFails",
     [] { return Reply("200 OK", std::string("X-Z: a\0b\r\n", 10), "body"); }, ""},
    {"NotHttpFails", [] { return std::string("garbage\r\n\r\n"); }, ""},
};

class ReplyBody : public Exchange, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(ReplyBody, ComesBackAsExpected) {
  const BodyCase& c = GetParam();
  RawServer server([&c](const RawRequest&) { return std::optional<std::string>(c.reply()); });
  const ByteBuffer body = TimedFetch(server.Url("/"), "", "", "", "", "", "", kLimit);
  EXPECT_EQ(body.size(), c.expected.size());
  EXPECT_TRUE(AsText(body) == c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ReplyBody, ::testing::ValuesIn(kBodyCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct AuthCase {
  const char* name;
  const char* user;
  const char* password;
  std::vector<std::string> authorization;  // lines sent on the retry, empty when none
};

void PrintTo(const AuthCase& c, std::ostream* os) {
  *os << c.name;
}

const AuthCase kAuthCases[] = {
    {"UserAndPassword", "user", "pw", {"Authorization: Basic dXNlcjpwdw=="}},
    {"BlankUserSendsNothing", "   ", "", {}},
    {"UserKeptWithItsSpaces", " u", "p", {"Authorization: Basic IHU6cA=="}},
};

class Credentials : public Exchange, public ::testing::WithParamInterface<AuthCase> {};

TEST_P(Credentials, AnswerTheChallenge) {
  const AuthCase& c = GetParam();
  RawServer server([](const RawRequest& request) -> std::optional<std::string> {
    if (request.Lines("Authorization").empty()) {
      return Reply("401 Unauthorized", "WWW-Authenticate: Basic realm=\"r\"\r\n", "denied");
    }
    return Reply("200 OK", "", "welcome");
  });
  const Text body = AsText(TimedFetch(server.Url("/"), "", "", c.user, c.password, "", "", kLimit));
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  // Credentials are never sent before the server asks.
  EXPECT_THAT(requests[0].Lines("Authorization"), IsEmpty());
  if (c.authorization.empty()) {
    EXPECT_EQ(body, "denied");
    EXPECT_EQ(requests.size(), 1u);
  } else {
    EXPECT_EQ(body, "welcome");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_THAT(requests[1].Lines("Authorization"), ElementsAreArray(c.authorization));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Credentials, ::testing::ValuesIn(kAuthCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exchange, ProxyCarriesPlainHttpOnly) {
  RawServer proxy([](const RawRequest&) { return Reply("200 OK", "", "via proxy"); });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
  EXPECT_EQ(AsText(TimedFetch("http://directory.invalid/x?p=1", "", proxyAddress, "", "", "", "",
                              kLimit)),
            "via proxy");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET http://directory.invalid/x?p=1 HTTP/1.1");

  // A blank proxy means a direct connection.
  RawServer direct([](const RawRequest&) { return Reply("200 OK", "", "direct"); });
  EXPECT_EQ(AsText(TimedFetch(direct.Url("/"), "", "   ", "", "", "", "", kLimit)), "direct");
}

TEST_F(Exchange, UnusableRequestsSendNothing) {
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "x"); });
  const std::string base = server.Url("");
  for (const std::string& url :
       {base + "/a\r\nX-Injected: 1", base + "/a b\x01", std::string("http://127.0.0.1@evil:1/"),
        std::string("http://127.0.0.1:99999/")}) {
    EXPECT_THAT(TimedFetch(url, "", "", "", "", "", "", kLimit), IsEmpty()) << url;
  }
  EXPECT_THAT(server.Requests(), IsEmpty());
}

TEST(HttpTransaction, LeavesForeignRecordsAlone) {
  HttpTransaction(nullptr);  // no record: nothing happens

  FetchRecord record;
  record.WriteText("Quillon_OK");
  record.WriteText("http://127.0.0.1:1/");
  HttpTransaction(&record);
  record.Rewind();
  EXPECT_EQ(record.ReadText(), "Quillon_OK");
  EXPECT_EQ(record.ReadText(), "http://127.0.0.1:1/");
}

TEST(HttpTransaction, OtherVerbsLeaveTheRecordEmpty) {
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "x"); });
  for (const char* verb : {"PUT", "HEAD", " GET", "POSTX"}) {
    FetchRecord record;
    record.WriteText("Quillon");
    record.WriteText(server.Url("/"));
    record.WriteText(verb);
    HttpTransaction(&record);
    EXPECT_TRUE(record.Empty()) << verb;
  }
  EXPECT_THAT(server.Requests(), IsEmpty());
}

TEST(HttpTransaction, WritesTheReplyIntoTheRecord) {
  RawServer server([](const RawRequest&) { return Reply("200 OK", "", "page"); });
  FetchRecord record;
  record.WriteText("Quillon");
  record.WriteText(server.Url("/"));  // the later fields are missing and read as empty
  HttpTransaction(&record);
  record.Rewind();
  EXPECT_EQ(record.ReadText(), "Quillon_OK");
  EXPECT_TRUE(record.ReadText().starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(record.ReadBytes(), (ByteBuffer{'p', 'a', 'g', 'e'}));
}

}  // namespace
}  // namespace qorvex
