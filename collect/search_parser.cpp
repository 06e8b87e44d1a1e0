#include "collect/search_parser.h"

#include <cmath>

namespace qorvex {

namespace {

// Markers in code page 936.
constexpr std::string_view kPageCountBegin = "</a>\xB9\xB2";                    // </a>共
constexpr std::string_view kPageCountEnd = "\xD2\xB3";                          // 页
constexpr std::string_view kTotalBlockBegin = "\xB9\xB2\xD5\xD2\xB5\xBD";       // 共找到
constexpr std::string_view kTotalBlockEnd = "\xCC\xF5";                         // 条
constexpr std::string_view kSectionBegin = "\xBE\xAD\xD3\xAA\xC0\xE0\xD0\xCD";  // 经营类型
constexpr std::string_view kSectionEnd =
    "\xC4\xFA\xBF\xC9\xC4\xDC\xB8\xD0\xD0\xCB\xC8\xA4\xB5\xC4\xB2\xFA\xC6\xB7";  // 您可能感兴趣的产品
constexpr std::string_view kCompanySeparator = "\xD6\xF7\xD3\xAA\xB2\xFA\xC6\xB7";  // 主营产品
constexpr std::string_view kNameBegin = "target=\"_blank\">";
constexpr std::string_view kNameEnd = "</a>";
constexpr std::string_view kLongNameBegin = "target=\"_blank\"><p>";
constexpr std::string_view kLongNameEnd = "</p>";
constexpr int kLongName = 200;

int32_t ReadCount(std::string_view text) {
  return ToInteger(ToNumber(text));
}

Text CutName(std::string_view piece, std::string_view begin, std::string_view end) {
  // The site highlights the keyword; only the lower-case tags are its own.
  return ReplaceAll(ReplaceAll(TextBetween(piece, begin, end), "<em>", ""), "</em>", "");
}

}  // namespace

void ParseSearchSummary(std::string_view page, RunCounters& counters) {
  int32_t pageCount = ReadCount(TextBetween(page, kPageCountBegin, kPageCountEnd));
  const Text block = TextBetween(page, kTotalBlockBegin, kTotalBlockEnd);
  const int32_t totalCount = ReadCount(TextBetween(block, "\">", "<"));
  // The site shows at most 99 pages; the real count is worked out from the total, rounded up
  // in single precision as the site's own figures are.
  if (pageCount == 99) {
    float q = static_cast<float>(totalCount / 20.0);
    const double m = std::trunc(static_cast<double>(q));
    if (std::fabs(m - static_cast<double>(q)) > 0.0000001) q = static_cast<float>(m + 1.0);
    pageCount = ToInteger(static_cast<double>(q));
  }
  counters.pageCount.store(pageCount);
  counters.totalCount.store(totalCount);
}

Text CutListSection(std::string_view page) {
  return TextBetween(page, kSectionBegin, kSectionEnd);
}

void ParseListPage(std::string_view section, const ListPageContext& context) {
  RunCounters& counters = *context.counters;
  const TextList pieces = SplitText(section, kCompanySeparator);
  if (pieces.empty()) counters.processedCount.fetch_add(kCompaniesPerPage);
  const bool filtering = !IsBlank(context.filterText);
  // The piece after the last separator holds no company of its own.
  for (size_t k = 0; k + 1 < pieces.size(); ++k) {
    const Text& piece = pieces[k];
    Text name = CutName(piece, kNameBegin, kNameEnd);
    if (!name.empty()) counters.processedCount.fetch_add(1);
    if (TextLength(name) > kLongName) name = CutName(piece, kLongNameBegin, kLongNameEnd);
    if (filtering && FindText(name, context.filterText, false) > 0) {
      counters.filteredCount.fetch_add(1);
      name.clear();
    }
    if (!name.empty()) {
      const Text key = TextBetween(piece, context.companyLinkMarker, "\"");
      if (!key.empty()) {
        counters.validCount.fetch_add(1);
        context.table->AppendCompany(key, name);
      }
    }
    if (context.refreshStatus) context.refreshStatus();
  }
}

}  // namespace qorvex
