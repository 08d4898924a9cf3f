#include "brevio/cli/command_line.h"

#include <charconv>

#include "brevio/cli/quote.h"

namespace brevio::cli {

namespace {

bool ParseJobs(const std::string& text, unsigned& jobs) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, jobs);
  return ec == std::errc() && ptr == end && jobs > 0;
}

ParseOutcome Fail(std::string error) { return {std::nullopt, std::move(error)}; }

}  // namespace

ParseOutcome ParseCommandLine(std::span<const std::string> args) {
  CommandLine line;
  bool in_place = false;
  bool have_output = false;
  bool help = false;
  bool version = false;
  bool options_done = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    // An option's value: "--opt=V", "--opt V", "-oV" or "-o V".
    std::string value;
    const auto take_value = [&](std::string inline_value, bool has_inline) -> bool {
      if (has_inline) {
        value = std::move(inline_value);
        return true;
      }
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };

    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(0, eq);
      const bool has_inline = eq != std::string::npos;
      const std::string inline_value = has_inline ? arg.substr(eq + 1) : std::string();
      const auto flag = [&](bool& target) {
        if (has_inline) return false;
        target = true;
        return true;
      };
      if (name == "--help") {
        if (!flag(help)) return Fail("option '--help' takes no value");
      } else if (name == "--version") {
        if (!flag(version)) return Fail("option '--version' takes no value");
      } else if (name == "--in-place") {
        if (!flag(in_place)) return Fail("option '--in-place' takes no value");
      } else if (name == "--recursive") {
        if (!flag(line.recursive)) return Fail("option '--recursive' takes no value");
      } else if (name == "--dereference") {
        if (!flag(line.dereference)) return Fail("option '--dereference' takes no value");
      } else if (name == "--dry-run") {
        if (!flag(line.dry_run)) return Fail("option '--dry-run' takes no value");
      } else if (name == "--quiet") {
        if (!flag(line.quiet)) return Fail("option '--quiet' takes no value");
      } else if (name == "--output") {
        if (!take_value(inline_value, has_inline)) return Fail("option '--output' needs a folder");
        line.output_dir = value;
        have_output = true;
      } else if (name == "--jobs") {
        if (!take_value(inline_value, has_inline) || !ParseJobs(value, line.jobs)) {
          return Fail("option '--jobs' needs a whole number above 0");
        }
      } else if (name == "--include") {
        if (!take_value(inline_value, has_inline))
          return Fail("option '--include' needs a pattern");
        line.includes.push_back(value);
      } else {
        return Fail("unknown option " + QuoteName(name, true));
      }
      continue;
    }

    // Short options, which may be grouped: -rnq, -j2, -oDIR.
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const char c = arg[k];
      const bool rest = k + 1 < arg.size();
      switch (c) {
        case 'h':
          help = true;
          break;
        case 'V':
          version = true;
          break;
        case 'i':
          in_place = true;
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
        case 'o':
        case 'j':
          if (!take_value(arg.substr(k + 1), rest)) {
            return Fail(std::string("option '-") + c + "' needs " +
                        (c == 'o' ? "a folder" : "a number"));
          }
          if (c == 'o') {
            line.output_dir = value;
            have_output = true;
          } else if (!ParseJobs(value, line.jobs)) {
            return Fail("option '-j' needs a whole number above 0");
          }
          k = arg.size();
          break;
        default:
          return Fail("unknown option " + QuoteName(std::string{'-', c}, true));
      }
    }
  }

  if (help) {
    line.mode = Mode::kHelp;
    return {line, {}};
  }
  if (version) {
    line.mode = Mode::kVersion;
    return {line, {}};
  }
  if (have_output && in_place) return Fail("-o and -i exclude each other");
  if (have_output && line.output_dir.empty()) return Fail("the output folder is empty");
  if (!line.includes.empty() && !line.recursive) return Fail("--include needs -r");
  const bool any_stdin = [&] {
    for (const auto& operand : line.operands) {
      if (operand == "-") return true;
    }
    return false;
  }();

  if (have_output || in_place) {
    line.mode = have_output ? Mode::kOutputDir : Mode::kInPlace;
    if (line.operands.empty()) return Fail("no FILE given");
    if (any_stdin) return Fail("'-' (standard input) must be the only operand");
    return {line, {}};
  }
  if (line.recursive) return Fail("-r needs -o DIR or -i");
  if (line.operands.empty() || (line.operands.size() == 1 && any_stdin)) {
    if (line.dry_run) return Fail("-n needs files");
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
