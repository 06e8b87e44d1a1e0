#include "cli/progress.h"

#include "text/codepage.h"

namespace qorvex::cli {

std::string ProgressText(const std::array<Text, 10>& panels) {
  // What changes comes first, so that a narrow terminal cuts off the settings, not the time.
  constexpr int kOrder[] = {9, 3, 4, 5, 6, 7, 8, 0, 1, 2};
  std::string line;
  for (int index : kOrder) {
    const Text& panel = panels[index];
    if (panel.empty()) continue;
    if (!line.empty()) line += "  ";
    line += AnsiToUtf8(panel);
  }
  return line;
}

std::string FitToColumns(const std::string& utf8, int columns) {
  int used = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    const int width = lead < 0x80 ? 1 : 2;
    if (used + width > columns || i + length > utf8.size()) break;
    used += width;
    i += length;
  }
  return utf8.substr(0, i);
}

std::string SummaryLine(const CounterValues& c) {
  return "共" + std::to_string(c.pageCount) + "页 共" + std::to_string(c.totalCount) + "条 第" +
         std::to_string(c.processedCount) + "条 过滤" + std::to_string(c.filteredCount) +
         "条 有效" + std::to_string(c.validCount) + "条";
}

}  // namespace qorvex::cli
