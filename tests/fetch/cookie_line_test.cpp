#include <gtest/gtest.h>

#include <ostream>

#include "fetch/fetch_internal.h"

namespace qorvex {
namespace {

constexpr int64_t kNow = 1700000000;

struct CookieCase {
  const char* name;
  const char* line;
  const char* requestPath;
  const char* expected;  // empty: nothing is stored
};

void PrintTo(const CookieCase& c, std::ostream* os) {
  *os << c.name;
}

const CookieCase kCookieCases[] = {
    {"DataKeepsItsEquals", "Set-Cookie: SID=ab=c; path=/", "/",
     "host\tFALSE\t/\tFALSE\t0\tSID\tab=c"},
    {"MarkerInAnyCase", "set-cookie: a=1", "/", "host\tFALSE\t/\tFALSE\t0\ta\t1"},
    {"DefaultPathIsTheRequestDirectory", "Set-Cookie: k=v", "/dir/page?x=/y",
     "host\tFALSE\t/dir/\tFALSE\t0\tk\tv"},
    {"PathAttribute", "Set-Cookie:  a = 1 ;Path=/p", "/q/r", "host\tFALSE\t/p\tFALSE\t0\ta\t1"},
    {"EmptyValue", "Set-Cookie: a=; path=/", "/", "host\tFALSE\t/\tFALSE\t0\ta\t"},
    {"MaxAge", "Set-Cookie: a=1; Max-Age=60", "/", "host\tFALSE\t/\tFALSE\t1700000060\ta\t1"},
    {"MaxAgeZeroExpires", "Set-Cookie: a=1; Max-Age=0", "/", "host\tFALSE\t/\tFALSE\t1\ta\t1"},
    {"MaxAgeBeatsExpires", "Set-Cookie: a=1; expires=Thu, 01 Jan 1970 00:00:00 GMT; max-age=5", "/",
     "host\tFALSE\t/\tFALSE\t1700000005\ta\t1"},
    {"PastExpiresExpires", "Set-Cookie: a=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", "/",
     "host\tFALSE\t/\tFALSE\t1\ta\t1"},
    {"FutureExpires", "Set-Cookie: a=1; Expires=Fri, 01 Jan 2100 00:00:00 GMT", "/",
     "host\tFALSE\t/\tFALSE\t4102444800\ta\t1"},
    {"UnreadableExpiresIsSession", "Set-Cookie: a=1; Expires=soon", "/",
     "host\tFALSE\t/\tFALSE\t0\ta\t1"},
    {"OwnDomain", "Set-Cookie: a=1; Domain=.HOST", "/", "host\tTRUE\t/\tFALSE\t0\ta\t1"},
    {"Secure", "Set-Cookie: a=1; Secure; HttpOnly", "/", "host\tFALSE\t/\tTRUE\t0\ta\t1"},
    {"OtherDomainLeftToTheStore", "Set-Cookie: a=1; domain=example.com", "/", ""},
    {"NoEquals", "Set-Cookie: flag", "/", ""},
    {"NoName", "Set-Cookie: =v", "/", ""},
    {"TabInValue", "Set-Cookie: a=1\t2", "/", ""},
    {"Oversized", nullptr, "/", ""},
};

class CookieLines : public ::testing::TestWithParam<CookieCase> {};

TEST_P(CookieLines, BuildsTheStoreLine) {
  const CookieCase& c = GetParam();
  const std::string line = c.line != nullptr ? c.line : "Set-Cookie: big=" + std::string(5000, 'x');
  EXPECT_EQ(CookieListLine(line, "host", c.requestPath, kNow), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CookieLines, ::testing::ValuesIn(kCookieCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvex
