// The command line of qorvex-cli: what a run is asked to do, parsed without side effects so that
// every rule can be tested on its own.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "collect/engine.h"
#include "collect/front_end.h"
#include "results/csv.h"

namespace qorvex::cli {

/// The settings of one run. Texts are UTF-8 as typed; the front end converts them to code page
/// 936 when the core reads them.
struct CliOptions {
  std::string keyword;
  std::string area;
  std::string exclude;
  /// The thread box's text after its correction ("0" -> "1", "99" -> "50").
  std::string threadsText = "10";
  /// The timeout box's text as given.
  std::string timeoutText = "10";
  /// The required-field boxes that are ticked.
  std::set<CheckBox> required;
  bool numberSwap = true;
  bool strongMobile = true;
  bool companiesOnly = false;
  bool quiet = false;
  /// Empty: the proposed name in the current folder.
  std::string output;
  CsvEncoding encoding = CsvEncoding::Gbk;
  /// Site configuration, UTF-8; empty keeps the core's default.
  std::string searchUrl;
  std::string companyBase;
  std::string linkMarker;

  bool operator==(const CliOptions&) const = default;
};

enum class ParseOutcome { Run, Help, Version, UsageError };

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::Run;
  CliOptions options;
  /// For UsageError: one line saying what is wrong.
  std::string error;
};

/// Parses the arguments that follow the program name.
ParseResult ParseOptions(const std::vector<std::string>& args);

/// The --help text.
std::string UsageText();

/// The core's site configuration from the options: defaults where an option was not given.
SiteConfig SiteConfigFrom(const CliOptions& options);

/// A proposed file name (UTF-8) made safe to use as a name in the current folder: path
/// separators become '_' so that a keyword cannot place the file elsewhere.
std::string SafeFileName(const std::string& name);

}  // namespace qorvex::cli
