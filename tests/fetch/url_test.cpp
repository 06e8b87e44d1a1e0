#include <gtest/gtest.h>

#include <ostream>

#include "fetch/fetch.h"

namespace qorvex {
namespace {

struct UrlCase {
  const char* name;
  const char* url;
  const char* host;
  const char* hostWithPort;
  const char* path;
  int port;
};

void PrintTo(const UrlCase& c, std::ostream* os) {
  *os << c.name;
}

const UrlCase kUrlCases[] = {
    {"PortCutHostLowered", "http://Host:8080/list?p=2", "host", "host:8080", "/list?p=2", 8080},
    {"NoSlash", "http://host", "host", "host", "/", 80},
    {"ColonWithoutDigits", "http://host:/x", "host", "host:", "/x", 0},
    {"CapitalSchemeNotRecognised", "HTTP://Host/x", "http", "http:", "//Host/x", 0},
    {"NoScheme", "www.Example.com/a/b", "www.example.com", "www.example.com", "/a/b", 80},
    {"Https", "https://Secure.Example:8443/a?b=1", "secure.example", "secure.example:8443",
     "/a?b=1", 8443},
    {"HttpsDefaultPort", "https://h", "h", "h", "/", 443},
    {"EarlierSchemeWins", "https://a/?u=http://b/c", "a", "a", "/?u=http://b/c", 443},
    {"HttpBeforeHttps", "http://a/?u=https://b/", "a", "a", "/?u=https://b/", 80},
    // The host "h" also occurs inside the scheme; the path still starts after the host.
    {"ShortHostInsideScheme", "http://h/x", "h", "h", "/x", 80},
    {"PortWithTrailingLetters", "http://host:81x/", "host", "host:81x", "/", 81},
    {"Empty", "", "", "", "/", 80},
    {"SchemeOnly", "http://", "", "", "/", 80},
    // Only one-byte letters are lowered; 81 41 is one two-byte character.
    {"DoubleByteUntouched", "http://\x81\x41Zb/", "\x81\x41zb", "\x81\x41zb", "/", 80},
};

class UrlRoutines : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlRoutines, SplitAsExpected) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(UrlHost(c.url, false), c.host);
  EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
  EXPECT_EQ(UrlPath(c.url), c.path);
  EXPECT_EQ(UrlPort(c.url), c.port);
}

INSTANTIATE_TEST_SUITE_P(Table, UrlRoutines, ::testing::ValuesIn(kUrlCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvex
