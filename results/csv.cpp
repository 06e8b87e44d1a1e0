#include "results/csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "text/codepage.h"

namespace qorvex {

namespace {

// Rows are copied in pieces of this many so that an export never holds the table's lock for
// long while workers write.
constexpr int kRowsPerPiece = 256;

// The second byte of a code page 936 character is 0x40 or above, so none of these bytes can be
// half of a character and a byte-wise test is exact.
bool NeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void AppendField(Text& out, std::string_view field) {
  if (!NeedsQuotes(field)) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

template <typename Cells>
void AppendLine(Text& out, const Cells& cells) {
  bool first = true;
  for (const auto& cell : cells) {
    if (!first) out.push_back(',');
    first = false;
    AppendField(out, cell);
  }
  out.append("\r\n");
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs file: a shell assignment of a double-quoted
// path that is absolute or starts with $HOME. Empty when missing or malformed.
std::string DesktopFromUserDirs(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line;
  std::string found;
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] == '#') continue;
    static constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    if (line.compare(i, kKey.size(), kKey) != 0) continue;
    i += kKey.size();
    if (i >= line.size() || line[i] != '"') continue;
    std::string value;
    bool closed = false;
    for (++i; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value.push_back(line[++i]);
      } else if (line[i] == '"') {
        closed = true;
        break;
      } else {
        value.push_back(line[i]);
      }
    }
    if (!closed) continue;
    static constexpr std::string_view kHome = "$HOME";
    if (value.compare(0, kHome.size(), kHome) == 0 &&
        (value.size() == kHome.size() || value[kHome.size()] == '/')) {
      if (home.empty()) continue;
      value = home + value.substr(kHome.size());
    } else if (value.empty() || value[0] != '/') {
      continue;
    }
    found = value;  // the last assignment wins, as in the shell
  }
  return found;
}

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

WriteResult Failure(const std::string& path, const char* what, int error) {
  WriteResult result;
  result.ok = false;
  result.reason = path + ": " + what + ": " + ErrnoText(error);
  return result;
}

}  // namespace

Text BuildCsv(const ResultTable& table) {
  if (ResultTable::ColumnCount() == 0 || table.RowCount() == 0) return Text();
  Text out;
  std::array<Text, kColumnCount> titles;
  for (int c = 0; c < kColumnCount; ++c)
    titles[c] = ResultTable::ColumnTitle(c);
  AppendLine(out, titles);
  // The rows present when the export starts, walked by id: rows appended later are left out
  // and rows deleted meanwhile drop out, so a compaction never duplicates or skips a row.
  const RowId last = table.LastIssuedId();
  RowId after = 0;
  while (true) {
    const auto piece = table.RowsBetween(after, last, kRowsPerPiece);
    if (piece.empty()) break;
    for (const auto& [id, cells] : piece)
      AppendLine(out, cells);
    after = piece.back().first;
  }
  return out;
}

Text ProposedFileName(const Text& keyword, const Text& area, const Text& filterText) {
  return ConcatText({keyword, "-", area, "-", filterText, ".csv"});
}

std::string DesktopFolder() {
  const char* homeVar = std::getenv("HOME");
  const std::string home = homeVar ? homeVar : "";
  const char* configVar = std::getenv("XDG_CONFIG_HOME");
  std::string config = configVar ? configVar : "";
  if (config.empty() || config[0] != '/') config = home.empty() ? "" : home + "/.config";
  if (!config.empty()) {
    const std::string desktop = DesktopFromUserDirs(config + "/user-dirs.dirs", home);
    if (IsDirectory(desktop)) return WithSlash(desktop);
  }
  if (!home.empty() && IsDirectory(home + "/Desktop")) return WithSlash(home + "/Desktop");
  return std::string();
}

WriteResult WriteWholeFile(const std::string& path, std::string_view bytes) {
  // The system would read the path only up to a zero byte and write somewhere else.
  if (path.empty()) return Failure(path, "cannot open for writing", ENOENT);
  if (path.find('\0') != std::string::npos) {
    WriteResult result;
    result.ok = false;
    result.reason = "the file name holds a zero byte";
    return result;
  }
  // Straight into the final path, truncated: replacing the whole content keeps the file's
  // identity (links, permissions) as users expect of an overwrite.
  int fd;
  do {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Failure(path, "cannot open for writing", errno);

  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      return Failure(path, "write failed", error);
    }
    if (n == 0) {
      close(fd);
      return Failure(path, "write failed", EIO);
    }
    done += static_cast<size_t>(n);
  }
  // A delayed write error (full disk on a network file system) shows up only here. On Linux
  // the descriptor is gone even when close fails, so it is not retried.
  if (close(fd) != 0 && errno != EINTR) return Failure(path, "close failed", errno);
  return WriteResult{};
}

WriteResult WriteCsvFile(const ResultTable& table, const std::string& path, CsvEncoding encoding) {
  const Text text = BuildCsv(table);
  if (encoding == CsvEncoding::Gbk) return WriteWholeFile(path, text);
  std::string bytes = "\xEF\xBB\xBF";
  bytes += AnsiToUtf8(text);
  return WriteWholeFile(path, bytes);
}

}  // namespace qorvex
