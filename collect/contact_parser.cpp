#include "collect/contact_parser.h"

#include <array>
#include <tuple>
#include <vector>

namespace qorvex {

namespace {

// Markers in code page 936. The first two colons are ASCII, the others full-width.
constexpr std::string_view kContactBegin = "\xC1\xAA\xCF\xB5\xC8\xCB:</font>";         // 联系人:
constexpr std::string_view kContactBegin2 = "\xC1\xAA\xCF\xB5\xC8\xCB\xA3\xBA&nbsp;";  // 联系人：
constexpr std::string_view kEmailBegin = "\xD3\xCA\xBC\xFE:</font>";                   // 邮件:
constexpr std::string_view kEmailBegin2 =
    "\xB5\xE7\xD7\xD3\xD3\xCA\xCF\xE4\xA3\xBA&nbsp;";  // 电子邮箱：
constexpr std::string_view kAddressBegin =
    "\xB9\xAB\xCB\xBE\xB5\xD8\xD6\xB7\xA3\xBA<a target";  // 公司地址：
constexpr int kLongestQQ = 15;

Text Cut(std::string_view page, std::string_view begin, std::string_view end) {
  return RemoveAllSpaces(TextBetween(page, begin, end));
}

bool StartsWith(const Text& text, std::string_view byte) {
  return TextLeft(text, 1) == byte;
}

}  // namespace

ContactFields ExtractContactFields(std::string_view page) {
  ContactFields f;
  f.contact = Cut(page, kContactBegin, "</li>");
  if (f.contact.empty()) f.contact = Cut(page, kContactBegin2, "<");
  f.mobile = Cut(page, "phone/", ".");
  f.phone = Cut(page, "tel/", ".");
  f.fax = Cut(page, "fax/", ".");
  f.email = Cut(page, kEmailBegin, "</li>");
  if (f.email.empty()) f.email = Cut(page, kEmailBegin2, "</li>");
  f.qq = Cut(page, "&uin=", "&");
  // A link without a further parameter runs on to the closing quote.
  if (TextLength(f.qq) > kLongestQQ) f.qq = Cut(page, "&uin=", "\"");
  const Text link = Cut(page, kAddressBegin, "a>");
  f.address = RemoveAllSpaces(TextBetween(link, ">", "<"));
  return f;
}

std::pair<Text, Text> RecogniseNumbers(const Text& mobile, const Text& phone) {
  if (StartsWith(mobile, "0") || StartsWith(phone, "1")) return {phone, mobile};
  return {mobile, phone};
}

void ParseCompanyDetail(std::string_view page, RowId row, const DetailContext& context) {
  ContactFields f = ExtractContactFields(page);
  const auto ticked = [&](CheckBox box) { return context.isTicked && context.isTicked(box); };
  if (ticked(CheckBox::NumberSwap)) {
    std::tie(f.mobile, f.phone) = RecogniseNumbers(f.mobile, f.phone);
  }
  if (!StartsWith(f.mobile, "1") && ticked(CheckBox::StrongMobile)) f.mobile.clear();

  const std::array<std::pair<CheckBox, const Text*>, 7> required = {{
      {CheckBox::RequireContact, &f.contact},
      {CheckBox::RequireMobile, &f.mobile},
      {CheckBox::RequirePhone, &f.phone},
      {CheckBox::RequireFax, &f.fax},
      {CheckBox::RequireEmail, &f.email},
      {CheckBox::RequireQQ, &f.qq},
      {CheckBox::RequireAddress, &f.address},
  }};
  for (const auto& [box, field] : required) {
    if (ticked(box) && field->empty()) {
      context.table->BlankRowById(row);
      context.counters->filteredCount.fetch_add(1);
      return;
    }
  }

  std::vector<Text> cells;
  cells.reserve(required.size());
  for (const auto& entry : required)
    cells.push_back(ReplaceAll(*entry.second, "\r\n", ""));
  context.table->SetCellsById(row, kColumnContact, cells);
  context.counters->validCount.fetch_add(1);
}

}  // namespace qorvex
