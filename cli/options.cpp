#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "text/codepage.h"

namespace qorvex::cli {
namespace {

enum class Opt {
  Keyword,
  Area,
  Exclude,
  Threads,
  Timeout,
  Require,
  NoSwap,
  NoStrongMobile,
  CompaniesOnly,
  Output,
  Encoding,
  SearchUrl,
  CompanyBase,
  LinkMarker,
  Quiet,
  Help,
  Version,
};

struct OptionSpec {
  char shortName;  // 0 when there is none
  std::string_view longName;
  bool takesValue;
  Opt id;
};

constexpr OptionSpec kOptions[] = {
    {'k', "keyword", true, Opt::Keyword},
    {'a', "area", true, Opt::Area},
    {'x', "exclude", true, Opt::Exclude},
    {'t', "threads", true, Opt::Threads},
    {'T', "timeout", true, Opt::Timeout},
    {'r', "require", true, Opt::Require},
    {0, "no-swap", false, Opt::NoSwap},
    {0, "no-strong-mobile", false, Opt::NoStrongMobile},
    {0, "companies-only", false, Opt::CompaniesOnly},
    {'o', "output", true, Opt::Output},
    {0, "encoding", true, Opt::Encoding},
    {0, "search-url", true, Opt::SearchUrl},
    {0, "company-base", true, Opt::CompanyBase},
    {0, "link-marker", true, Opt::LinkMarker},
    {'q', "quiet", false, Opt::Quiet},
    {'h', "help", false, Opt::Help},
    {0, "version", false, Opt::Version},
};

struct RequireField {
  std::string_view name;
  CheckBox box;
};

constexpr RequireField kRequireFields[] = {
    {"contact", CheckBox::RequireContact}, {"mobile", CheckBox::RequireMobile},
    {"phone", CheckBox::RequirePhone},     {"fax", CheckBox::RequireFax},
    {"email", CheckBox::RequireEmail},     {"qq", CheckBox::RequireQQ},
    {"address", CheckBox::RequireAddress},
};

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return out;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

// An optional sign and at least one digit, nothing else.
bool IsWholeNumber(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::string OptionName(const OptionSpec& def) {
  if (def.shortName == 0) return "--" + std::string(def.longName);
  return "-" + std::string(1, def.shortName) + "/--" + std::string(def.longName);
}

// Applies one option's value; returns an error message, empty when the value is good.
std::string Apply(const OptionSpec& def, const std::string& value, CliOptions& options) {
  switch (def.id) {
    case Opt::Keyword:
      options.keyword = value;
      break;
    case Opt::Area:
      options.area = value;
      break;
    case Opt::Exclude:
      options.exclude = value;
      break;
    case Opt::Threads: {
      if (!IsWholeNumber(value)) {
        return "invalid thread count '" + value + "' (a whole number, kept within 1..50)";
      }
      options.threadsText = ThreadBoxCorrection(value).value_or(value);
      break;
    }
    case Opt::Timeout: {
      // The window's box holds at most three characters; a longer limit would only overflow
      // further down.
      long long seconds = 0;
      std::string_view digits = value;
      if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
      if (!IsWholeNumber(value) || ec != std::errc() || end != digits.data() + digits.size()) {
        return "invalid timeout '" + value + "' (whole seconds; 0 or negative means 90)";
      }
      if (seconds > 999) return "timeout '" + value + "' is too long (at most 999 seconds)";
      options.timeoutText = value;
      break;
    }
    case Opt::Require: {
      std::string_view rest = value;
      while (true) {
        const size_t comma = rest.find(',');
        const std::string item = AsciiLower(TrimSpaces(rest.substr(0, comma)));
        if (!item.empty()) {
          const auto* field = std::find_if(std::begin(kRequireFields), std::end(kRequireFields),
                                           [&](const RequireField& f) { return f.name == item; });
          if (field == std::end(kRequireFields)) {
            return "unknown field '" + item +
                   "' for --require (contact, mobile, phone, fax, email, qq, address)";
          }
          options.required.insert(field->box);
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      break;
    }
    case Opt::NoSwap:
      options.numberSwap = false;
      break;
    case Opt::NoStrongMobile:
      options.strongMobile = false;
      break;
    case Opt::CompaniesOnly:
      options.companiesOnly = true;
      break;
    case Opt::Output:
      if (value.empty()) return "the output path is empty";
      options.output = value;
      break;
    case Opt::Encoding: {
      const std::string name = AsciiLower(value);
      if (name == "gbk") {
        options.encoding = CsvEncoding::Gbk;
      } else if (name == "utf-8" || name == "utf8") {
        options.encoding = CsvEncoding::Utf8WithBom;
      } else {
        return "unknown encoding '" + value + "' (gbk or utf-8)";
      }
      break;
    }
    case Opt::SearchUrl:
    case Opt::CompanyBase:
    case Opt::LinkMarker: {
      if (value.empty()) return "option " + OptionName(def) + " needs a value";
      std::string& target = def.id == Opt::SearchUrl     ? options.searchUrl
                            : def.id == Opt::CompanyBase ? options.companyBase
                                                         : options.linkMarker;
      target = value;
      break;
    }
    case Opt::Quiet:
      options.quiet = true;
      break;
    case Opt::Help:
    case Opt::Version:
      break;
  }
  return {};
}

ParseResult UsageError(std::string message) {
  ParseResult result;
  result.outcome = ParseOutcome::UsageError;
  result.error = std::move(message);
  return result;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args) {
  ParseResult result;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      return UsageError("unexpected argument '" + arg + "'");
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // Collects (option, value) pairs from this argument, taking a value from the next one when
    // the option needs it and the argument holds none.
    std::vector<std::pair<const OptionSpec*, std::string>> found;
    if (arg[1] == '-') {
      const size_t equals = arg.find('=');
      const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
      const auto* def = std::find_if(std::begin(kOptions), std::end(kOptions),
                                     [&](const OptionSpec& s) { return s.longName == name; });
      if (def == std::end(kOptions)) return UsageError("unknown option '--" + name + "'");
      if (equals != std::string::npos) {
        if (!def->takesValue) return UsageError("option '--" + name + "' takes no value");
        found.emplace_back(def, arg.substr(equals + 1));
      } else if (def->takesValue) {
        if (i + 1 >= args.size()) return UsageError("option '--" + name + "' needs a value");
        found.emplace_back(def, args[++i]);
      } else {
        found.emplace_back(def, std::string());
      }
    } else {
      for (size_t k = 1; k < arg.size(); ++k) {
        const char c = arg[k];
        const auto* def = std::find_if(std::begin(kOptions), std::end(kOptions),
                                       [&](const OptionSpec& s) { return s.shortName == c; });
        if (def == std::end(kOptions) || c == 0) {
          return UsageError("unknown option '-" + std::string(1, c) + "'");
        }
        if (!def->takesValue) {
          found.emplace_back(def, std::string());
          continue;
        }
        if (k + 1 < arg.size()) {
          found.emplace_back(def, arg.substr(k + 1));
        } else if (i + 1 < args.size()) {
          found.emplace_back(def, args[++i]);
        } else {
          return UsageError("option '-" + std::string(1, c) + "' needs a value");
        }
        break;
      }
    }

    for (const auto& [def, value] : found) {
      if (def->id == Opt::Help) {
        result.outcome = ParseOutcome::Help;
        return result;
      }
      if (def->id == Opt::Version) {
        result.outcome = ParseOutcome::Version;
        return result;
      }
      if (std::string error = Apply(*def, value, result.options); !error.empty()) {
        return UsageError(std::move(error));
      }
    }
  }
  return result;
}

std::string UsageText() {
  return R"(Usage: qorvex-cli [options]
Searches the directory site for companies, collects every company's contact page and writes
the table as a CSV file.

  -k, --keyword TEXT        search keyword
  -a, --area TEXT           area
  -x, --exclude TEXT        leave out companies whose name holds this word (case-sensitive)
  -t, --threads N           worker threads, kept within 1..50 (default 10)
  -T, --timeout SECONDS     fetch time limit (default 10; 0 or negative means 90; at most 999)
  -r, --require LIST        comma-separated fields that must not be empty:
                            contact,mobile,phone,fax,email,qq,address
      --no-swap             number recognition off
      --no-strong-mobile    strong mobile filter off
      --companies-only      company search only, no detail collection
  -o, --output FILE         CSV path (default <keyword>-<area>-<exclude>.csv here)
      --encoding gbk|utf-8  file encoding (default gbk; utf-8 starts with a byte order mark)
      --search-url URL      site search address, ending in /scom?kw=
      --company-base URL    scheme and host of the company pages, ending in /
      --link-marker TEXT    company-pages host followed by /
  -q, --quiet               no progress display
  -h, --help                this text
      --version             the program's version

Exit status: 0 the file was written (its path is printed), 1 failure, 2 usage error,
3 no result (no file written).
)";
}

SiteConfig SiteConfigFrom(const CliOptions& options) {
  SiteConfig config;
  if (!options.searchUrl.empty()) config.searchUrlPrefix = Utf8ToAnsi(options.searchUrl);
  if (!options.companyBase.empty()) config.companyPageBase = Utf8ToAnsi(options.companyBase);
  if (!options.linkMarker.empty()) config.companyLinkMarker = Utf8ToAnsi(options.linkMarker);
  return config;
}

std::string SafeFileName(const std::string& name) {
  std::string out = name;
  std::replace(out.begin(), out.end(), '/', '_');
  return out;
}

}  // namespace qorvex::cli
