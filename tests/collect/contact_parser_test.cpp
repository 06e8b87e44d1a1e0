#include "collect/contact_parser.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "text/codepage.h"

namespace qorvex {
namespace {

Text Gbk(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

// A contact page in the site's layout (UTF-8); empty values leave their part out.
struct PageParts {
  std::string contact = " 张三 ";
  std::string mobile = "13800138000";
  std::string phone = "010-12345678";
  std::string fax = "010-87654321";
  std::string email = "zs@example.com";
  std::string qq = "12345";
  std::string address = "北京 朝阳区";
  std::string extra;
};

template <class Edit>
PageParts With(Edit edit) {
  PageParts p;
  edit(p);
  return p;
}

std::string Page(const PageParts& p) {
  std::string s = "<html><ul>";
  if (!p.contact.empty()) s += "<li><font>联系人:</font>" + p.contact + "</li>";
  if (!p.mobile.empty()) s += "<li><img src=\"/img/phone/" + p.mobile + ".png\"></li>";
  if (!p.phone.empty()) s += "<li><img src=\"/img/tel/" + p.phone + ".png\"></li>";
  if (!p.fax.empty()) s += "<li><img src=\"/img/fax/" + p.fax + ".png\"></li>";
  if (!p.email.empty()) s += "<li><font>邮件:</font>" + p.email + "</li>";
  if (!p.qq.empty()) s += "<li><a href=\"tencent://message/?Menu=yes&uin=" + p.qq + "&Site=x\">";
  if (!p.address.empty()) {
    s += "<li>公司地址：<a target=\"_blank\" href=\"/map\">" + p.address + "</a></li>";
  }
  return s + p.extra + "</ul></html>";
}

TEST(ExtractContactFieldsTest, Cases) {
  struct Case {
    const char* label;
    std::string page;
    ContactFields expected;  // UTF-8, converted below
  };
  const Case cases[] = {
      {"full page, spaces removed",
       Page({}),
       {"张三", "13800138000", "010-12345678", "010-87654321", "zs@example.com", "12345",
        "北京朝阳区"}},
      {"empty page", "", {}},
      {"contact of spaces takes the second cut",
       Page(With([&](PageParts& p) {
         p.contact = "  　 ";
         p.extra = "联系人：&nbsp;李 四<br>";
       })),
       {"李四", "13800138000", "010-12345678", "010-87654321", "zs@example.com", "12345",
        "北京朝阳区"}},
      {"fallback contact and e-mail",
       "联系人：&nbsp;王五</span><li>电子邮箱：&nbsp;w@x.cn </li>",
       {"王五", "", "", "", "w@x.cn", "", ""}},
      {"QQ of 15 bytes stands",
       "&uin=123456789012345&Site=\"",
       {"", "", "", "", "", "123456789012345", ""}},
      {"QQ of 16 bytes takes the cut up to the quote",
       "<a href=\"x?uin&uin=1234567890123456&Site=q\">",
       {"", "", "", "", "", "1234567890123456&Site=q", ""}},
      {"QQ without a parameter after it",
       "<a href=\"x&uin=98765\">" + std::string(40, ' ') + "<a href=\"?a=1&b=2\">",
       {"", "", "", "", "", "98765", ""}},
      {"markers ignore letter case",
       "<IMG SRC=\"/img/PHONE/139.png\"> TEL/0551.x",
       {"", "139", "0551", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    const ContactFields f = ExtractContactFields(Gbk(c.page));
    EXPECT_EQ(f.contact, Gbk(c.expected.contact)) << c.label;
    EXPECT_EQ(f.mobile, Gbk(c.expected.mobile)) << c.label;
    EXPECT_EQ(f.phone, Gbk(c.expected.phone)) << c.label;
    EXPECT_EQ(f.fax, Gbk(c.expected.fax)) << c.label;
    EXPECT_EQ(f.email, Gbk(c.expected.email)) << c.label;
    EXPECT_EQ(f.qq, Gbk(c.expected.qq)) << c.label;
    EXPECT_EQ(f.address, Gbk(c.expected.address)) << c.label;
  }
}

TEST(RecogniseNumbersTest, Cases) {
  struct Case {
    Text mobile, phone, outMobile, outPhone;
  };
  const Case cases[] = {
      {"0551", "138", "138", "0551"},  // mobile starts with 0
      {"138", "139", "139", "138"},    // phone starts with 1
      {"", "138", "138", ""},         {"138", "0551", "138", "0551"},       {"", "", "", ""},
      {"0551", "", "", "0551"},       {"+86138", "0551", "+86138", "0551"},
  };
  for (const Case& c : cases) {
    const auto [m, p] = RecogniseNumbers(c.mobile, c.phone);
    EXPECT_EQ(m, c.outMobile) << c.mobile << "/" << c.phone;
    EXPECT_EQ(p, c.outPhone) << c.mobile << "/" << c.phone;
  }
}

class ParseCompanyDetailTest : public ::testing::Test {
 protected:
  void SetUp() override { id_ = table_.AppendCompany("qv7", Gbk("某公司")); }

  void Parse(const std::string& page) {
    DetailContext context;
    context.counters = &counters_;
    context.table = &table_;
    context.isTicked = [this](CheckBox box) { return ticked_.count(box) > 0; };
    ParseCompanyDetail(Gbk(page), id_, context);
  }
  RowCells Row() const { return table_.RowSnapshot(0); }

  ResultTable table_;
  RowId id_ = 0;
  RunCounters counters_;
  std::set<CheckBox> ticked_;
};

TEST_F(ParseCompanyDetailTest, NumberOptions) {
  struct Case {
    const char* label;
    std::set<CheckBox> ticked;
    std::string mobile, phone;
    std::string outMobile, outPhone;
  };
  const Case cases[] = {
      {"recognition swaps a landline mobile", {CheckBox::NumberSwap}, "0551", "138", "138", "0551"},
      {"recognition off swaps nothing", {}, "0551", "138", "0551", "138"},
      {"strong filter after the swap",
       {CheckBox::NumberSwap, CheckBox::StrongMobile},
       "0551",
       "",
       "",
       "0551"},
      {"swap then keep",
       {CheckBox::NumberSwap, CheckBox::StrongMobile},
       "0551",
       "138",
       "138",
       "0551"},
      {"strong filter empties +86", {CheckBox::StrongMobile}, "+8613800138000", "0551", "", "0551"},
      {"strong filter empties a full-width digit",
       {CheckBox::StrongMobile},
       "１3800138000",
       "0551",
       "",
       "0551"},
      {"strong filter keeps a mobile",
       {CheckBox::StrongMobile},
       "13800138000",
       "0551",
       "13800138000",
       "0551"},
  };
  for (const Case& c : cases) {
    ticked_ = c.ticked;
    Parse(Page(With([&](PageParts& p) {
      p.mobile = c.mobile;
      p.phone = c.phone;
    })));
    EXPECT_EQ(Row()[kColumnMobile], Gbk(c.outMobile)) << c.label;
    EXPECT_EQ(Row()[kColumnPhone], Gbk(c.outPhone)) << c.label;
  }
  EXPECT_EQ(counters_.validCount, 7);
  EXPECT_EQ(counters_.filteredCount, 0);
}

TEST_F(ParseCompanyDetailTest, SuccessWritesTheSevenCellsOnly) {
  Parse(Page({}));
  const RowCells row = Row();
  EXPECT_EQ(row[kColumnSeq], "1");
  EXPECT_EQ(row[kColumnId], "qv7");
  EXPECT_EQ(row[kColumnName], Gbk("某公司"));
  EXPECT_EQ(row[kColumnContact], Gbk("张三"));
  EXPECT_EQ(row[kColumnEmail], "zs@example.com");
  EXPECT_EQ(row[kColumnQQ], "12345");
  EXPECT_EQ(row[kColumnAddress], Gbk("北京朝阳区"));
  EXPECT_EQ(counters_.validCount, 1);
  EXPECT_EQ(counters_.processedCount, 0);
}

TEST_F(ParseCompanyDetailTest, CrLfRemovedButALoneCrStays) {
  Parse(Page(With([&](PageParts& p) { p.contact = "张\r\n三\r四"; })));
  EXPECT_EQ(Row()[kColumnContact], Gbk("张三\r四"));
}

TEST_F(ParseCompanyDetailTest, RequiredFields) {
  struct Case {
    const char* label;
    std::set<CheckBox> ticked;
    PageParts page;
    bool blanked;
  };
  const Case cases[] = {
      {"contact and mobile both missing",
       {CheckBox::RequireContact, CheckBox::RequireMobile},
       With([&](PageParts& p) {
         p.contact = "";
         p.mobile = "";
       }),
       true},
      {"mobile emptied by the strong filter",
       {CheckBox::StrongMobile, CheckBox::RequireMobile},
       With([&](PageParts& p) { p.mobile = "+8613800138000"; }),
       true},
      {"QQ missing", {CheckBox::RequireQQ}, With([&](PageParts& p) { p.qq = ""; }), true},
      {"address missing",
       {CheckBox::RequireAddress},
       With([&](PageParts& p) { p.address = ""; }),
       true},
      {"address of spaces",
       {CheckBox::RequireAddress},
       With([&](PageParts& p) { p.address = " 　 "; }),
       true},
      {"address present", {CheckBox::RequireAddress}, {}, false},
      {"all required, all present",
       {CheckBox::RequireContact, CheckBox::RequireMobile, CheckBox::RequirePhone,
        CheckBox::RequireFax, CheckBox::RequireEmail, CheckBox::RequireQQ,
        CheckBox::RequireAddress},
       {},
       false},
      {"nothing required, empty page",
       {},
       With([](PageParts& p) { p = PageParts{"", "", "", "", "", "", "", ""}; }),
       false},
  };
  for (const Case& c : cases) {
    table_.DeleteAllRows();
    id_ = table_.AppendCompany("qv7", Gbk("某公司"));
    counters_.validCount = 0;
    counters_.filteredCount = 0;
    ticked_ = c.ticked;
    Parse(Page(c.page));
    ASSERT_EQ(table_.RowCount(), 1) << c.label;
    if (c.blanked) {
      EXPECT_EQ(Row(), RowCells{}) << c.label;
      EXPECT_EQ(counters_.filteredCount, 1) << c.label;
      EXPECT_EQ(counters_.validCount, 0) << c.label;
    } else {
      EXPECT_EQ(Row()[kColumnId], "qv7") << c.label;
      EXPECT_EQ(counters_.filteredCount, 0) << c.label;
      EXPECT_EQ(counters_.validCount, 1) << c.label;
    }
  }
}

TEST_F(ParseCompanyDetailTest, ARowThatIsGoneTakesNoWrite) {
  const RowId gone = id_;
  table_.DeleteAllRows();
  const RowId other = table_.AppendCompany("qv8", "B");
  DetailContext context;
  context.counters = &counters_;
  context.table = &table_;
  ParseCompanyDetail(Gbk(Page({})), gone, context);
  EXPECT_EQ(table_.RowSnapshot(table_.IndexOf(other))[kColumnContact], "");
  EXPECT_EQ(counters_.validCount, 1);
}

}  // namespace
}  // namespace qorvex
