// The export file: its content, the proposed name and folder, and writing it.
#pragma once

#include <string>
#include <vector>

#include "results/result_table.h"
#include "text/text.h"

namespace qorvex {

/// The file's text: the header line and one line per row, each ending in CR LF. A field that
/// holds a comma, a double quote, a CR or an LF is quoted (inner quotes doubled); every other
/// field is written as it stands. Empty for a table without rows. Reads each row as one
/// consistent snapshot, so writers may go on meanwhile: the rows present when it starts are
/// written in table order, less those deleted before they were read.
Text BuildCsv(const ResultTable& table);

/// keyword-area-filter.csv (code page 936, settings as typed).
Text ProposedFileName(const Text& keyword, const Text& area, const Text& filterText);

/// The user's desktop folder (UTF-8 path ending in '/'), or empty when there is none.
std::string DesktopFolder();

enum class CsvEncoding { Gbk, Utf8WithBom };

/// The outcome of writing a file; reason is UTF-8 for display when ok is false.
struct WriteResult {
  bool ok = true;
  std::string reason;
  explicit operator bool() const { return ok; }
};

/// Writes bytes to path, creating the file or replacing its whole content. On failure the
/// reason names the path and the system's cause; a write that fails midway may leave the file
/// cut short.
WriteResult WriteWholeFile(const std::string& path, std::string_view bytes);

/// BuildCsv in the chosen encoding, written with WriteWholeFile.
WriteResult WriteCsvFile(const ResultTable& table, const std::string& path,
                         CsvEncoding encoding = CsvEncoding::Gbk);

}  // namespace qorvex
