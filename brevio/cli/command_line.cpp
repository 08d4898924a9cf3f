#include "brevio/cli/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "brevio/cli/shown_name.h"
#include "brevio/engine/quote.h"
#include "fileio/path.h"

namespace brevio::cli {

namespace {

constexpr const char* kProtectNames =
    "'pre', 'textarea', 'script', 'style', 'attributes', 'server', 'all'";

// Long options without a short form.
constexpr int kInclude = 256;
constexpr int kBinary = 257;
constexpr int kPreserve = 258;
constexpr int kProtect = 259;
constexpr int kCheck = 260;
constexpr int kJson = 261;
constexpr int kExclude = 262;
constexpr int kExcludeFrom = 263;
constexpr int kEol = 264;
constexpr int kWatch = 265;

// GNU-style options: grouped short ones (-rnq), values attached or apart
// (-oDIR, -o DIR, --output=DIR, --output DIR), "--" ends the options.
// '-' first keeps the operands in place among the options, whatever the
// environment asks of getopt; ':' reports a missing value apart.
constexpr char kShortOptions[] = "-:o:irLnj:pqhV";
constexpr option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"in-place", no_argument, nullptr, 'i'},
    {"recursive", no_argument, nullptr, 'r'},
    {"dereference", no_argument, nullptr, 'L'},
    {"include", required_argument, nullptr, kInclude},
    {"exclude", required_argument, nullptr, kExclude},
    {"exclude-from", required_argument, nullptr, kExcludeFrom},
    {"check", no_argument, nullptr, kCheck},
    {"json", no_argument, nullptr, kJson},
    {"watch", no_argument, nullptr, kWatch},
    {"dry-run", no_argument, nullptr, 'n'},
    {"jobs", required_argument, nullptr, 'j'},
    {"binary", no_argument, nullptr, kBinary},
    {"preserve", required_argument, nullptr, kPreserve},
    {"protect", required_argument, nullptr, kProtect},
    {"eol", required_argument, nullptr, kEol},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// What the options said, before the mode is decided.
struct Options {
  CommandLine line;
  bool in_place = false;
  bool have_output = false;
  bool help = false;
  bool version = false;
  // The first of --exclude and --exclude-from given, for "needs -r".
  const char* exclude_option = nullptr;
  // How many operands came before "--": only among them is "-" standard
  // input.
  std::size_t before_dashes = 0;
  // Each operand's place in the arguments.
  std::vector<std::size_t> operand_args;
};

bool ParseJobs(const std::string& text, unsigned& jobs) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, jobs);
  return ec == std::errc() && ptr == end && jobs > 0;
}

ParseOutcome Fail(std::string error) { return {std::nullopt, std::move(error)}; }

const option* LongOption(int key) {
  for (const option& o : kLongOptions) {
    if (o.name != nullptr && o.val == key) return &o;
  }
  return nullptr;
}

// "'--jobs'" when the option was spelled long, "'-j'" when short.
std::string Spelled(int key, bool spelled_long) {
  if (spelled_long) return std::string("'--") + LongOption(key)->name + "'";
  return std::string("'-") + static_cast<char>(key) + "'";
}

std::string MissingValue(int key, bool spelled_long) {
  const char* needs = "a folder";
  if (key == kInclude || key == kExclude) needs = "a pattern";
  if (key == kExcludeFrom) needs = "a file";
  if (key == kPreserve) needs = "'timestamps'";
  if (key == kProtect) needs = "a list of regions";
  if (key == kEol) needs = "a line end";
  if (key == 'j') needs = spelled_long ? "a whole number above 0" : "a number";
  return "option " + Spelled(key, spelled_long) + " needs " + needs;
}

// Options and their values are quoted as in GNU tools' messages whatever
// the system (brevio::QuoteName); file names as the system's shell reads
// them (QuoteName).

// getopt's '?': an unknown option, or a long flag given a value.
std::string Refused(int key, const char* arg) {
  if (key != 0 && LongOption(key) != nullptr) {
    return "option " + Spelled(key, true) + " takes no value";
  }
  if (key != 0)
    return "unknown option " + brevio::QuoteName(std::string{'-', static_cast<char>(key)}, true);
  const std::string_view spelled = arg;
  return "unknown option " +
         brevio::QuoteName(std::string(spelled.substr(0, spelled.find('='))), true);
}

// A pattern names something when more than its trailing '/' (folders
// only) is left.
bool NamesSomething(std::string_view pattern) {
  return pattern.find_first_not_of('/') != std::string_view::npos;
}

// --exclude-from FILE: one pattern a line; empty lines and lines that start
// with '#' are left out ("[#]x" excludes "#x"), a CR before the line end
// goes (files written on Windows).
std::optional<std::string> ReadPatterns(const std::string& file,
                                        std::vector<std::string>& patterns) {
  const std::string shown = QuoteName(file, true);
  std::error_code ec;
  if (std::filesystem::is_directory(fileio::PathOf(file), ec)) {
    return "cannot read patterns from " + shown + ": " + std::generic_category().message(EISDIR);
  }
  errno = 0;
  std::ifstream in(fileio::PathOf(file), std::ios::binary);
  if (!in) {
    return "cannot read patterns from " + shown + ": " +
           std::generic_category().message(errno != 0 ? errno : EIO);
  }
  std::string text;
  for (std::size_t number = 1; std::getline(in, text); ++number) {
    if (text.ends_with('\r')) text.pop_back();
    if (text.empty() || text.front() == '#') continue;
    if (!NamesSomething(text)) {
      return "invalid pattern " + brevio::QuoteName(text, true) + " in " + shown + " line " +
             std::to_string(number) + " (it names nothing)";
    }
    patterns.push_back(text);
  }
  if (in.bad()) {
    return "cannot read patterns from " + shown + ": " + std::generic_category().message(EIO);
  }
  return std::nullopt;
}

// One option (or operand) into `options`; an error text when it is wrong.
std::optional<std::string> Take(int key, bool spelled_long, Options& options) {
  CommandLine& line = options.line;
  const std::string value = optarg != nullptr ? optarg : "";
  switch (key) {
    case 1:
      line.operands.push_back(value);
      break;
    case 'o':
      line.output_dir = value;
      options.have_output = true;
      break;
    case 'i':
      options.in_place = true;
      break;
    case 'r':
      line.recursive = true;
      break;
    case 'L':
      line.dereference = true;
      break;
    case 'n':
      line.dry_run = true;
      break;
    case 'q':
      line.quiet = true;
      break;
    case 'h':
      options.help = true;
      break;
    case 'V':
      options.version = true;
      break;
    case kInclude:
      line.includes.push_back(value);
      break;
    case kExclude:
      if (!NamesSomething(value)) {
        return "invalid pattern " + brevio::QuoteName(value, true) +
               " for '--exclude' (it names nothing)";
      }
      line.excludes.push_back(value);
      if (options.exclude_option == nullptr) options.exclude_option = "--exclude";
      break;
    case kExcludeFrom:
      if (auto error = ReadPatterns(value, line.excludes)) return error;
      if (options.exclude_option == nullptr) options.exclude_option = "--exclude-from";
      break;
    case kCheck:
      line.check = true;
      break;
    case kWatch:
      line.watch = true;
      break;
    case kJson:
      line.json = true;
      break;
    case kBinary:
      line.binary = true;
      break;
    case 'p':
      line.keep_times = true;
      break;
    case kPreserve:
      // Owner, group, mode, ACLs and attributes are kept anyway; the times
      // are all there is to ask for.
      if (value != "timestamps") {
        return "invalid argument " + brevio::QuoteName(value, true) +
               " for '--preserve' (valid: 'timestamps')";
      }
      line.keep_times = true;
      break;
    case kProtect: {
      std::string bad;
      const std::optional<ProtectSet> set = ParseProtectList(value, bad);
      if (!set) {
        return "invalid region " + brevio::QuoteName(bad, true) +
               " for '--protect' (valid: " + kProtectNames + ")";
      }
      line.protect |= *set;
      break;
    }
    case kEol:
      if (value == "crlf") {
        line.line_end = LineEnd::kCrLf;
      } else if (value == "lf") {
        line.line_end = LineEnd::kLf;
      } else if (value == "keep") {
        line.line_end = LineEnd::kKeep;
      } else {
        return "invalid line end " + brevio::QuoteName(value, true) +
               " for '--eol' (valid: 'crlf', 'lf', 'keep')";
      }
      break;
    case 'j':
      if (!ParseJobs(value, line.jobs)) {
        return "option " + Spelled('j', spelled_long) + " needs a whole number above 0";
      }
      break;
    default:
      return "unknown option";
  }
  return std::nullopt;
}

// Runs getopt_long over the arguments. Its state is global: it starts over
// (optind = 0) on every call, so the parser may be called again.
std::variant<Options, std::string> ReadOptions(std::span<const std::string> args) {
  std::vector<std::string> copies(1, "brevio-trim");
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(copies.size() + 1);
  for (std::string& copy : copies) argv.push_back(copy.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  Options options;
  optind = 0;
  opterr = 0;
  for (;;) {
    int long_index = -1;
    const int key = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &long_index);
    if (key == -1) break;
    // The argument just read; getopt has moved past it when it ended.
    const char* arg = argv[std::max(1, optind - 1)];
    // BSD's getopt_long (mingw-w64's) also says ':' for a value given to a
    // long flag; glibc says '?'.
    const option* flag = LongOption(optopt);
    if (key == ':' && (flag == nullptr || flag->has_arg != no_argument)) {
      return MissingValue(optopt, std::string_view(arg).starts_with("--"));
    }
    if (key == '?' || key == ':') return Refused(optopt, arg);
    if (auto error = Take(key, long_index >= 0, options)) return *error;
    // getopt has just moved past the operand (argv[0] is the name).
    if (key == 1) options.operand_args.push_back(static_cast<std::size_t>(optind) - 2);
  }
  // Whatever follows "--" is an operand, "-" a file of that name.
  options.before_dashes = options.line.operands.size();
  for (int i = optind; i < argc; ++i) {
    options.line.operands.emplace_back(argv[i]);
    options.operand_args.push_back(static_cast<std::size_t>(i) - 1);
  }
  return options;
}

// The operands marked for it replaced by what they match, in place. The
// first pattern that matches nothing is the error.
std::optional<std::string> ExpandOperands(Options& options, const OperandWildcards& wildcards) {
  if (wildcards.expand.empty() || !wildcards.match) return std::nullopt;
  std::vector<std::string> expanded;
  std::size_t before_dashes = 0;
  const std::vector<std::string>& operands = options.line.operands;
  for (std::size_t i = 0; i < operands.size(); ++i) {
    const std::size_t arg = options.operand_args[i];
    const std::size_t at = expanded.size();
    if (arg < wildcards.expand.size() && wildcards.expand[arg]) {
      std::vector<std::string> matches = wildcards.match(operands[i]);
      if (matches.empty()) return "no file matches " + QuoteName(operands[i]);
      expanded.insert(expanded.end(), matches.begin(), matches.end());
    } else {
      expanded.push_back(operands[i]);
    }
    if (i < options.before_dashes) before_dashes += expanded.size() - at;
  }
  options.line.operands = std::move(expanded);
  options.before_dashes = before_dashes;
  return std::nullopt;
}

}  // namespace

ParseOutcome ParseCommandLine(std::span<const std::string> args,
                              const OperandWildcards& wildcards) {
  auto read = ReadOptions(args);
  if (auto* error = std::get_if<std::string>(&read)) return Fail(std::move(*error));
  Options& options = std::get<Options>(read);
  CommandLine& line = options.line;

  if (options.help || options.version) {
    line.mode = options.help ? Mode::kHelp : Mode::kVersion;
    return {line, {}};
  }
  if (auto error = ExpandOperands(options, wildcards)) {
    ParseOutcome failed = Fail(std::move(*error));
    failed.usage = false;
    return failed;
  }
  if (options.have_output && options.in_place) return Fail("-o and -i exclude each other");
  if (line.watch) {
    // Trimmed copies kept current: something must be written, and a file
    // to watch named.
    if (!options.have_output && !options.in_place) return Fail("--watch needs -o DIR or -i");
    if (line.check || line.json || line.dry_run) {
      return Fail(std::string("--watch and ") +
                  (line.check  ? "--check"
                   : line.json ? "--json"
                               : "-n") +
                  " exclude each other");
    }
  }
  if (options.have_output && line.check) return Fail("--check and -o exclude each other");
  if (options.have_output && line.output_dir.empty()) return Fail("the output folder is empty");
  if (!line.includes.empty() && !line.recursive) return Fail("--include needs -r");
  if (options.exclude_option != nullptr && !line.recursive)
    return Fail(std::string(options.exclude_option) + " needs -r");
  const auto dashes = line.operands.begin() + static_cast<std::ptrdiff_t>(options.before_dashes);
  const bool any_stdin = std::find(line.operands.begin(), dashes, "-") != dashes;

  // A check and a dry run over trees write nothing, so they need no target:
  // each file stands for itself, as with -i.
  if (options.have_output || options.in_place || line.check || (line.dry_run && line.recursive)) {
    line.mode = options.have_output ? Mode::kOutputDir : Mode::kInPlace;
    if (line.operands.empty()) return Fail(line.check ? "--check needs files" : "no FILE given");
    if (any_stdin) return Fail("'-' (standard input) must be the only operand");
    return {line, {}};
  }
  if (line.recursive) return Fail("-r needs -o DIR, -i, -n or --check");
  if (line.operands.empty() || (line.operands.size() == 1 && any_stdin)) {
    if (line.dry_run) return Fail("-n needs files");
    if (line.json) return Fail("--json needs files");
    line.mode = Mode::kFilter;
    return {line, {}};
  }
  if (line.operands.size() == 1)
    return Fail("missing TARGET after " + QuoteName(line.operands[0], true));
  if (line.operands.size() > 2)
    return Fail("too many operands; use -o DIR or -i for several files");
  if (any_stdin) return Fail("'-' (standard input) must be the only operand");
  line.mode = Mode::kPair;
  return {line, {}};
}

}  // namespace brevio::cli
