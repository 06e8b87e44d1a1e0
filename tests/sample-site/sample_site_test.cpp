// The sample site must speak exactly what the collection core reads: these tests read its pages
// with the core's markers (on UTF-8, which keeps every marker's position) and compare with the
// generated directory.
#include "sample-site/sample_site.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qorvex {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  for (size_t i = from; i + what.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < what.size() && Lower(text[i + k]) == Lower(what[k]))
      ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

// The core's cut: the first start marker, then the first end marker behind it.
std::string Between(std::string_view text, std::string_view start, std::string_view end) {
  size_t s = FindNoCase(text, start);
  if (s == std::string_view::npos) return "";
  s += start.size();
  size_t e = FindNoCase(text, end, s);
  if (e == std::string_view::npos) return "";
  return std::string(text.substr(s, e - s));
}

// The core's split: a piece up to every separator, and the rest when it is not empty.
std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  size_t at = 0;
  for (;;) {
    size_t hit = text.find(separator, at);
    if (hit == std::string_view::npos) break;
    pieces.emplace_back(text.substr(at, hit - at));
    at = hit + separator.size();
  }
  if (at < text.size()) pieces.emplace_back(text.substr(at));
  return pieces;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string RemoveSpaces(std::string text) {
  return ReplaceAll(ReplaceAll(std::move(text), " ", ""), "\u3000", "");
}

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// Length in code page 936, where the core measures: one byte for ASCII, two for the CJK text
// of these pages.
size_t Cp936Length(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      n += 1;
    } else if ((b & 0xC0) != 0x80) {
      n += 2;
    }
  }
  return n;
}

std::string UrlEncode(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int ToInt(const std::string& s) {
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return s.empty() ? -1 : v;
}

struct Summary {
  int pages;
  int total;
};

Summary ReadSummary(std::string_view page) {
  return {ToInt(Between(page, "</a>共", "页")),
          ToInt(Between(Between(page, "共找到", "条"), "\">", "<"))};
}

// The core's recomputation of a page count shown as 99.
int RecomputedPages(Summary s) {
  if (s.pages != 99) return s.pages;
  return (s.total + 19) / 20;
}

struct Listed {
  std::string key;
  std::string name;
};

std::string StripEm(std::string s) {
  return ReplaceAll(ReplaceAll(std::move(s), "<em>", ""), "</em>", "");
}

// Reads a list section as the core does; every examined piece must yield a company.
std::vector<Listed> ReadList(std::string_view page, std::string_view linkMarker) {
  std::string section = Between(page, "经营类型", "您可能感兴趣的产品");
  std::vector<std::string> pieces = Split(section, "主营产品");
  std::vector<Listed> listed;
  for (size_t k = 0; k + 1 < pieces.size(); ++k) {
    const std::string& piece = pieces[k];
    std::string name = StripEm(Between(piece, "target=\"_blank\">", "</a>"));
    if (Cp936Length(name) > 200) name = StripEm(Between(piece, "target=\"_blank\"><p>", "</p>"));
    listed.push_back({Between(piece, linkMarker, "\""), name});
  }
  return listed;
}

struct Fields {
  std::string contact, mobile, phone, fax, email, qq, address;
};

Fields ReadContactPage(std::string_view page) {
  auto cut = [&](std::string_view a, std::string_view b) {
    return RemoveSpaces(Between(page, a, b));
  };
  Fields f;
  f.contact = cut("联系人:</font>", "</li>");
  if (f.contact.empty()) f.contact = cut("联系人：&nbsp;", "<");
  f.mobile = cut("phone/", ".");
  f.phone = cut("tel/", ".");
  f.fax = cut("fax/", ".");
  f.email = cut("邮件:</font>", "</li>");
  if (f.email.empty()) f.email = cut("电子邮箱：&nbsp;", "</li>");
  f.qq = cut("&uin=", "&");
  if (Cp936Length(f.qq) > 15) f.qq = cut("&uin=", "\"");
  f.address = RemoveSpaces(Between(Between(page, "公司地址：<a target", "a>"), ">", "<"));
  return f;
}

Fields Expected(const SampleCompany& c) {
  return {RemoveSpaces(c.contact), RemoveSpaces(c.mobile), RemoveSpaces(c.phone),
          RemoveSpaces(c.fax),     RemoveSpaces(c.email),  RemoveSpaces(c.qq),
          RemoveSpaces(c.address)};
}

void ExpectSameFields(const Fields& got, const Fields& want, const std::string& key) {
  EXPECT_EQ(got.contact, want.contact) << key;
  EXPECT_EQ(got.mobile, want.mobile) << key;
  EXPECT_EQ(got.phone, want.phone) << key;
  EXPECT_EQ(got.fax, want.fax) << key;
  EXPECT_EQ(got.email, want.email) << key;
  EXPECT_EQ(got.qq, want.qq) << key;
  EXPECT_EQ(got.address, want.address) << key;
}

SampleSiteOptions Ephemeral(int companies = 300, int latencyMs = 0, unsigned seed = 1) {
  SampleSiteOptions o;
  o.port = 0;
  o.companies = companies;
  o.latencyMs = latencyMs;
  o.seed = seed;
  return o;
}

std::string SearchPath(std::string_view keyword, std::string_view area, int page = 0) {
  std::string path = "/scom?kw=" + UrlEncode(keyword) + "&area=" + UrlEncode(area);
  if (page > 0) path += "&p=" + std::to_string(page);
  return path;
}

class SampleSiteTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    site_ = new SampleSite(Ephemeral());
    ASSERT_TRUE(site_->Start());
  }
  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
  }

  std::string Get(const std::string& path) {
    httplib::Client client("127.0.0.1", site_->Port());
    client.set_read_timeout(10, 0);
    auto result = client.Get(path.c_str());
    EXPECT_TRUE(result) << path;
    if (!result) return "";
    EXPECT_EQ(result->status, 200) << path;
    return result->body;
  }
  std::string Marker() const { return "127.0.0.1:" + std::to_string(site_->Port()) + "/"; }

  static SampleSite* site_;
};

SampleSite* SampleSiteTest::site_ = nullptr;

struct SearchCase {
  const char* label;
  const char* keyword;
  const char* area;
  int minimumPages;  // what the case is meant to exercise
};

// Every page of each search, read as the core reads it, lists exactly the expected companies.
TEST_F(SampleSiteTest, SearchesListTheMatchingCompaniesPageByPage) {
  const SearchCase cases[] = {
      {"keyword with several pages", "手机", "", 3},
      {"whole directory", "", "", 15},
      {"area only", "", "深圳", 1},
      {"keyword and province", "手机", "广东", 1},
      {"ASCII keyword in other case", "led", "", 1},
      {"no match", "不存在的产品", "", 0},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<const SampleCompany*> expected = site_->Search(c.keyword, c.area);
    std::string first = Get(SearchPath(c.keyword, c.area));
    Summary summary = ReadSummary(first);
    EXPECT_EQ(summary.total, static_cast<int>(expected.size()));
    EXPECT_EQ(summary.pages, static_cast<int>((expected.size() + 19) / 20));
    EXPECT_GE(summary.pages, c.minimumPages);
    EXPECT_EQ(first, Get(SearchPath(c.keyword, c.area, 1))) << "page 1 with and without p";

    size_t at = 0;
    for (int p = 1; p <= summary.pages; ++p) {
      std::vector<Listed> listed = ReadList(Get(SearchPath(c.keyword, c.area, p)), Marker());
      ASSERT_EQ(listed.size(), std::min<size_t>(20, expected.size() - at)) << "page " << p;
      for (const Listed& l : listed) {
        EXPECT_EQ(l.key, expected[at]->key);
        EXPECT_EQ(l.name, expected[at]->name);
        ++at;
      }
    }
    EXPECT_EQ(at, expected.size());
  }
}

TEST_F(SampleSiteTest, KeywordMatchesNameOrProductsAndIsHighlightedInNames) {
  std::vector<const SampleCompany*> matches = site_->Search("手机", "");
  size_t inName = 0;
  for (const SampleCompany* c : matches) {
    bool hit = c->name.find("手机") != std::string::npos;
    inName += hit ? 1 : 0;
    EXPECT_TRUE(hit || c->products.find("手机") != std::string::npos) << c->key;
  }
  ASSERT_GT(inName, 0u);
  std::string all;
  for (int p = 1; p <= static_cast<int>((matches.size() + 19) / 20); ++p) {
    all += Get(SearchPath("手机", "", p));
  }
  EXPECT_EQ(Count(all, "<em>手机</em>"), Count(all, "<em>")) << "only the keyword is marked";
  EXPECT_GE(Count(all, "<em>手机</em>"), inName);
}

// Each piece that ends at a separator holds exactly one company link, and what follows the last
// separator holds none, so no company is lost or doubled by the split.
TEST_F(SampleSiteTest, ListSectionPiecesHoldOneCompanyEach) {
  std::string page = Get(SearchPath("", "", 2));
  std::string section = Between(page, "经营类型", "您可能感兴趣的产品");
  std::vector<std::string> pieces = Split(section, "主营产品");
  ASSERT_EQ(pieces.size(), 21u);
  for (size_t k = 0; k + 1 < pieces.size(); ++k) {
    EXPECT_EQ(Count(pieces[k], Marker()), 1u) << "piece " << k;
    EXPECT_EQ(Count(pieces[k], "target=\"_blank\">"), 1u) << "piece " << k;
  }
  EXPECT_EQ(Count(pieces.back(), Marker()), 0u);
  EXPECT_EQ(Count(pieces.back(), "target=\"_blank\""), 0u);
}

// Long link texts take the core's second cut; ordinary ones stay within the first.
TEST_F(SampleSiteTest, LongLinkTextsNeedTheSecondCut) {
  std::vector<std::string> pieces;
  for (int p = 1; p <= 15; ++p) {
    std::string section = Between(Get(SearchPath("", "", p)), "经营类型", "您可能感兴趣的产品");
    std::vector<std::string> some = Split(section, "主营产品");
    pieces.insert(pieces.end(), some.begin(), some.end());
  }
  size_t longOnes = 0;
  for (const std::string& piece : pieces) {
    std::string key = Between(piece, Marker(), "\"");
    if (key.empty()) continue;
    const SampleCompany* c = site_->FindCompany(ToInt(key.substr(2)));
    ASSERT_NE(c, nullptr) << key;
    size_t firstCut = Cp936Length(StripEm(Between(piece, "target=\"_blank\">", "</a>")));
    if (c->longLink) {
      ++longOnes;
      EXPECT_GT(firstCut, 200u) << key;
      EXPECT_EQ(StripEm(Between(piece, "target=\"_blank\"><p>", "</p>")), c->name);
    } else {
      EXPECT_LE(firstCut, 200u) << key;
    }
  }
  EXPECT_GT(longOnes, 0u);
}

TEST_F(SampleSiteTest, PagesPastTheEndAndOddPageNumbers) {
  std::string first = Get(SearchPath("手机", ""));
  Summary summary = ReadSummary(first);
  ASSERT_GT(summary.pages, 1);

  for (const std::string& p : {std::to_string(summary.pages + 1), std::string("99999999999999")}) {
    std::string past = Get(SearchPath("手机", "") + "&p=" + p);
    SCOPED_TRACE(p);
    EXPECT_NE(past.find("经营类型"), std::string::npos);
    EXPECT_NE(past.find("您可能感兴趣的产品"), std::string::npos);
    EXPECT_TRUE(ReadList(past, Marker()).empty());
    EXPECT_EQ(ReadSummary(past).total, summary.total);
  }
  for (const char* p : {"0", "-3", "abc", ""}) {
    EXPECT_EQ(Get(SearchPath("手机", "") + "&p=" + p), first) << "p=" << p;
  }
}

TEST_F(SampleSiteTest, ContactPagesGiveEveryFieldThroughTheMarkers) {
  // A company with every field in the first form, over HTTP.
  const SampleCompany* full = nullptr;
  for (const SampleCompany& c : site_->Companies()) {
    if (!c.contact.empty() && !c.mobile.empty() && !c.phone.empty() && !c.fax.empty() &&
        !c.email.empty() && !c.qq.empty() && !c.address.empty() && !c.contactFallback &&
        !c.contactBlankFirst && !c.emailFallback && !c.qqQuoteForm) {
      full = &c;
      break;
    }
  }
  ASSERT_NE(full, nullptr);
  std::string key = full->key;
  std::string page = Get("/" + ReplaceAll(key, "qv", "contact") + ".html");
  for (const char* marker : {"联系人:</font>", "phone/", "tel/", "fax/", "邮件:</font>",
                             "&uin=", "公司地址：<a target"}) {
    EXPECT_NE(page.find(marker), std::string::npos) << marker;
  }
  ExpectSameFields(ReadContactPage(page), Expected(*full), key);

  // Every company of the directory, fallbacks and missing fields included.
  for (const SampleCompany& c : site_->Companies()) {
    ExpectSameFields(ReadContactPage(RenderContactPage(c, "127.0.0.1:1")), Expected(c), c.key);
  }
}

// The directory must give the core's number options and fallbacks something to do.
TEST_F(SampleSiteTest, DirectoryHasTheVarietyTheParsersNeed) {
  struct Trait {
    const char* label;
    bool (*has)(const SampleCompany&);
  };
  const Trait traits[] = {
      {"contact fallback", [](const SampleCompany& c) { return c.contactFallback; }},
      {"blank first contact", [](const SampleCompany& c) { return c.contactBlankFirst; }},
      {"full-width space in contact",
       [](const SampleCompany& c) { return c.contact.find("\u3000") != std::string::npos; }},
      {"no contact", [](const SampleCompany& c) { return c.contact.empty(); }},
      {"e-mail fallback", [](const SampleCompany& c) { return c.emailFallback; }},
      {"no e-mail", [](const SampleCompany& c) { return c.email.empty(); }},
      {"QQ quote form", [](const SampleCompany& c) { return c.qqQuoteForm; }},
      {"no QQ", [](const SampleCompany& c) { return c.qq.empty(); }},
      {"landline as mobile", [](const SampleCompany& c) { return c.mobile.rfind("0", 0) == 0; }},
      {"+86 mobile", [](const SampleCompany& c) { return c.mobile.rfind("+86", 0) == 0; }},
      {"no mobile", [](const SampleCompany& c) { return c.mobile.empty(); }},
      {"mobile as telephone", [](const SampleCompany& c) { return c.phone.rfind("1", 0) == 0; }},
      {"no fax", [](const SampleCompany& c) { return c.fax.empty(); }},
      {"no address", [](const SampleCompany& c) { return c.address.empty(); }},
      {"spaced address",
       [](const SampleCompany& c) { return c.address.find(' ') != std::string::npos; }},
      {"long link text", [](const SampleCompany& c) { return c.longLink; }},
  };
  for (const Trait& t : traits) {
    int n = 0;
    for (const SampleCompany& c : site_->Companies())
      n += t.has(c) ? 1 : 0;
    EXPECT_GT(n, 0) << t.label;
    EXPECT_LT(n, static_cast<int>(site_->Companies().size())) << t.label;
  }
  for (const SampleCompany& c : site_->Companies()) {
    for (const std::string* number : {&c.mobile, &c.phone, &c.fax}) {
      EXPECT_EQ(number->find('.'), std::string::npos) << c.key << " " << *number;
    }
  }
}

TEST_F(SampleSiteTest, PagesAreHtmlInUtf8AndUnknownPathsAreNotFound) {
  httplib::Client client("127.0.0.1", site_->Port());
  const SampleCompany& c = site_->Companies().front();
  for (const std::string& path : {SearchPath("手机", ""), "/" + c.key,
                                  "/contact" + std::to_string(c.id) + ".html", std::string("/")}) {
    auto result = client.Get(path.c_str());
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 200) << path;
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
  }
  for (const char* path : {"/contact1.html", "/qv1", "/contact99999999999.html", "/nothing"}) {
    auto result = client.Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 404) << path;
  }
}

TEST_F(SampleSiteTest, HostileInputIsNotEchoedRaw) {
  std::string page = Get(SearchPath("<script>\"x", "\"><b>"));
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("\"><b>"), std::string::npos);
  std::string bad = Get("/scom?kw=%FF%FE&area=");
  EXPECT_EQ(bad.find('\xFF'), std::string::npos);
  // The first two bytes of 手 would match inside names and split their characters.
  EXPECT_EQ(ReadSummary(Get("/scom?kw=%E6%89&area=")).total, 0);
  EXPECT_EQ(ReadSummary(Get("/scom?kw=&area=%E6%B7")).total, 0);

  // Links follow the Host header, unless it could break out of the attribute.
  httplib::Client client("127.0.0.1", site_->Port());
  auto named = client.Get(SearchPath("", "").c_str(), {{"Host", "directory.test:8360"}});
  ASSERT_TRUE(named);
  EXPECT_EQ(ReadList(named->body, "directory.test:8360/").size(), 20u);
  auto hostile = client.Get(SearchPath("", "").c_str(), {{"Host", "x\"><script>"}});
  ASSERT_TRUE(hostile);
  EXPECT_EQ(hostile->body.find("<script>"), std::string::npos);
  EXPECT_EQ(ReadList(hostile->body, Marker()).size(), 20u);
}

TEST(SampleSiteGeneration, SameSeedSameDirectoryAndBiggerDirectoriesExtendSmallerOnes) {
  std::vector<SampleCompany> a = GenerateCompanies(7, 120);
  std::vector<SampleCompany> b = GenerateCompanies(7, 300);
  std::vector<SampleCompany> other = GenerateCompanies(8, 120);
  ASSERT_EQ(a.size(), 120u);
  size_t differing = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(RenderContactPage(a[i], "h:1"), RenderContactPage(b[i], "h:1")) << i;
    differing += a[i].name != other[i].name ? 1 : 0;
  }
  EXPECT_GT(differing, 60u);
  for (size_t i = 1; i < b.size(); ++i)
    EXPECT_LT(b[i - 1].id, b[i].id) << "ids rise";
}

// The core reads pages in code page 936: a character outside it would become '?' there and
// could break a name or a marker.
bool ConvertsToCp936(const std::string& utf8) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = utf8;
  std::string out(in.size() * 2 + 16, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  return result != static_cast<size_t>(-1) && inLeft == 0;
}

TEST(SampleSiteGeneration, EveryPageIsCodePage936Text) {
  for (unsigned seed : {1u, 2u}) {
    std::vector<SampleCompany> all = GenerateCompanies(seed, 1000);
    std::vector<const SampleCompany*> matches = SearchCompanies(all, "", "");
    for (int p = 1; p <= 50; ++p) {
      EXPECT_TRUE(ConvertsToCp936(RenderSearchPage(matches, "手机", "深圳", p, "h:1")))
          << "seed " << seed << " page " << p;
    }
    for (const SampleCompany& c : all) {
      EXPECT_TRUE(ConvertsToCp936(RenderContactPage(c, "h:1"))) << c.key;
      EXPECT_TRUE(ConvertsToCp936(RenderCompanyPage(c, "h:1"))) << c.key;
    }
  }
}

TEST(SampleSiteServer, SameSeedServesTheSamePages) {
  SampleSite one(Ephemeral(300, 0, 5));
  SampleSite two(Ephemeral(300, 0, 5));
  ASSERT_TRUE(one.Start());
  ASSERT_TRUE(two.Start());
  const SampleCompany& c = one.Companies()[17];
  for (const std::string& path :
       {SearchPath("手机", "", 2), "/contact" + std::to_string(c.id) + ".html"}) {
    httplib::Headers host = {{"Host", "same.test:1"}};
    auto a = httplib::Client("127.0.0.1", one.Port()).Get(path.c_str(), host);
    auto b = httplib::Client("127.0.0.1", two.Port()).Get(path.c_str(), host);
    ASSERT_TRUE(a && b) << path;
    EXPECT_EQ(a->body, b->body) << path;
  }
}

// With more than 99 pages the page count shows 99 and the core recomputes it from the total.
TEST(SampleSiteServer, BigDirectoryShowsNinetyNinePages) {
  SampleSite site(Ephemeral(3000));
  ASSERT_TRUE(site.Start());
  httplib::Client client("127.0.0.1", site.Port());
  auto first = client.Get(SearchPath("", "").c_str());
  ASSERT_TRUE(first);
  Summary s = ReadSummary(first->body);
  EXPECT_EQ(s.pages, 99);
  EXPECT_EQ(s.total, 3000);
  EXPECT_EQ(RecomputedPages(s), 150);
  auto last = client.Get(SearchPath("", "", 150).c_str());
  ASSERT_TRUE(last);
  std::string marker = "127.0.0.1:" + std::to_string(site.Port()) + "/";
  std::vector<Listed> listed = ReadList(last->body, marker);
  ASSERT_EQ(listed.size(), 20u);
  EXPECT_EQ(listed.back().key, site.Companies().back().key);
}

TEST(SampleSiteServer, ATakenPortIsRefused) {
  SampleSite first(Ephemeral(10));
  ASSERT_TRUE(first.Start());
  SampleSiteOptions same = Ephemeral(10);
  same.port = first.Port();
  SampleSite second(same);
  EXPECT_FALSE(second.Start());
  EXPECT_FALSE(first.Start()) << "a site starts once";
  httplib::Client client("127.0.0.1", first.Port());
  EXPECT_TRUE(client.Get("/"));
}

// Latency delays each response without holding up the others, and counts every request.
TEST(SampleSiteServer, LatencyDelaysEachRequestInParallel) {
  constexpr int kLatencyMs = 300;
  constexpr int kClients = 60;
  SampleSite site(Ephemeral(100, kLatencyMs));
  ASSERT_TRUE(site.Start());
  std::atomic<int> ok{0};
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      httplib::Client client("127.0.0.1", site.Port());
      client.set_read_timeout(30, 0);
      auto r = client.Get(
          i % 2 ? SearchPath("手机", "", 1 + i % 3).c_str()
                : ("/contact" + std::to_string(site.Companies()[i].id) + ".html").c_str());
      if (r && r->status == 200) ok.fetch_add(1);
    });
  }
  for (std::thread& t : clients)
    t.join();
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ok.load(), kClients);
  EXPECT_EQ(site.RequestCount(), kClients);
  EXPECT_GE(elapsed, std::chrono::milliseconds(kLatencyMs));
  // Served one after another they would take 18 s.
  EXPECT_LT(elapsed, std::chrono::milliseconds(kLatencyMs * kClients / 3));
}

TEST(SampleSiteServer, StopCutsPendingDelaysShort) {
  SampleSite site(Ephemeral(10, 60000));
  ASSERT_TRUE(site.Start());
  std::thread waiting([&] {
    httplib::Client client("127.0.0.1", site.Port());
    client.set_read_timeout(120, 0);
    client.Get("/");
  });
  while (site.RequestCount() == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  auto start = std::chrono::steady_clock::now();
  site.Stop();
  waiting.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(SampleSiteServer, TestsCanAddRoutesBeforeStart) {
  SampleSite site(Ephemeral(10));
  site.Server().Get("/broken",
                    [](const httplib::Request&, httplib::Response& r) { r.status = 500; });
  ASSERT_TRUE(site.Start());
  auto result = httplib::Client("127.0.0.1", site.Port()).Get("/broken");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 500);
  EXPECT_EQ(site.RequestCount(), 1);
}

}  // namespace
}  // namespace qorvex
