// The texts qorvex-cli writes to standard error while and after a run.
#pragma once

#include <array>
#include <string>

#include "collect/engine.h"
#include "text/text.h"

namespace qorvex::cli {

/// The status panels (code page 936) as one UTF-8 line: the running time, the counters and the
/// state, then the settings; empty panels left out.
std::string ProgressText(const std::array<Text, 10>& panels);

/// The longest prefix of a UTF-8 line that fits in the given terminal columns, never cutting a
/// character; characters outside ASCII count as two columns, as CJK text does.
std::string FitToColumns(const std::string& utf8, int columns);

/// "共<pageCount>页 共<totalCount>条 第<processedCount>条 过滤<filteredCount>条
/// 有效<validCount>条".
std::string SummaryLine(const CounterValues& counters);

}  // namespace qorvex::cli
