#include "brevio/forms/texts.h"

#include <comrt_text.h>
#include <fileio/file_error.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "brevio/engine/quote.h"
#include "brevio/forms/paths.h"

namespace brevio::forms {
namespace {

using fileio::Step;

// "%1" in `pattern` replaced by `value`.
std::string Fill(std::string_view pattern, std::string_view value) {
  std::string out(pattern);
  if (const auto at = out.find("%1"); at != std::string::npos) out.replace(at, 2, value);
  return out;
}

struct Failure {
  Step step;
  std::string path;
  int error;
};

// The step of an error from the older engine, which said it in its message
// ("filesystem error: cannot create: ... [path]"); it named the target where
// the temporary file could not be made.
std::optional<Failure> FromFilesystemError(const std::filesystem::filesystem_error& e) {
  const struct {
    const char* phrase;
    Step step;
  } steps[] = {
      {": cannot create:", Step::kCreateTemp}, {": cannot examine:", Step::kExamine},
      {": cannot open:", Step::kOpenSource},   {": cannot read:", Step::kReadSource},
      {": cannot write:", Step::kWriteTarget}, {": cannot set permissions:", Step::kKeepMetadata},
      {": cannot replace:", Step::kReplace},
  };
  const std::string what = e.what();
  std::string path = Utf8Path(e.path1());
  for (const auto& s : steps) {
    if (what.find(s.phrase) == std::string::npos) continue;
    if (s.step == Step::kCreateTemp) path = FolderOf(path);
    return Failure{s.step, path, e.code().value()};
  }
  return std::nullopt;
}

bool ReadsTheSource(Step step) {
  return step == Step::kExamine || step == Step::kOpenSource || step == Step::kReadSource;
}

// The folder a target-side step wrote into: the path itself for the steps on
// folders.
std::string FolderOfFailure(const Failure& f) {
  const bool on_folder = f.step == Step::kCreateTemp || f.step == Step::kOpenFolder ||
                         f.step == Step::kMakeFolder || f.step == Step::kFolderChanged;
  return on_folder ? f.path : FolderOf(f.path);
}

// Error numbers are errno values on every system (the file layer maps the
// platform's codes), so the generic wording applies.
std::string SystemText(int error) { return std::generic_category().message(error); }

// Words for a failure in reading the source; empty when the reason has none.
std::string SourceWords(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EIO:
      return Fill("%1 can no longer be read.", path);
    case EACCES:
    case EPERM:
      return Fill("You may not read %1.", path);
    default:
      return {};
  }
}

// Words for a failure in writing the target; empty when the reason has none.
std::string TargetWords(const Failure& f) {
  const std::string& path = f.path;
  // The file itself for steps on the target file, else the folder it goes into.
  const bool on_file =
      f.step == Step::kOpenTarget || f.step == Step::kWriteTarget || f.step == Step::kKeepMetadata;
  const std::string folder = FolderOfFailure(f);
  switch (f.error) {
    case ENOENT:
      if (f.step == Step::kRefuseTarget) {
        return Fill("%1 is a symbolic link to a file that does not exist.", path);
      }
      return Fill("The folder %1 does not exist.", folder);
    case ENOTDIR:
      return Fill("%1 is not a folder.", folder);
    case EACCES:
    case EPERM:
      return Fill("You may not write to %1.", on_file ? path : folder);
    case EROFS:
      return Fill("%1 lies on a disk that may only be read.", folder);
    case ENOSPC:
      return Fill("The disk that holds %1 is full.", folder);
#ifdef EDQUOT
    case EDQUOT:
      return Fill("Your share of the disk that holds %1 is used up.", folder);
#endif
    case EFBIG:
      return Fill("%1 would grow larger than this system allows a file to be.", path);
    default:
      return {};
  }
}

std::string Words(const Failure& f) {
  const std::string& path = f.path;
  // The same words whichever file the step was on.
  if (f.error == EISDIR) return Fill("%1 is a folder, not a file.", path);
  if (f.error == ELOOP) return Fill("%1 is a symbolic link that leads round in a circle.", path);
  std::string words = ReadsTheSource(f.step) ? SourceWords(path, f.error) : TargetWords(f);
  if (!words.empty()) return words;
  return "Trimming " + path + " failed: " + SystemText(f.error) + ".";
}

// "is not text (it holds NUL bytes)": the words after "This file".
std::string_view IsNotText(NotText not_text) {
  switch (not_text) {
    case NotText::kNulBytes:
      return "is not text (it holds NUL bytes)";
    case NotText::kUtf16:
      return "is UTF-16 text, which Brevio does not trim";
    case NotText::kUtf32:
      return "is UTF-32 text, which Brevio does not trim";
    case NotText::kText:
      break;
  }
  return "is not text";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PlainReason(const std::exception& error) {
  if (const auto* fs = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
    if (const auto failure = FromFilesystemError(*fs)) return Words(*failure);
  }
  return FailureWords(FailureOf(error, ""));
}

std::string FailureWords(const TrimFailure& failure) {
  if (failure.result != kTrimDone) return TrimResultText(failure.result, failure.path);
  if (failure.step) return Words({*failure.step, failure.path, failure.error});
  if (failure.error != 0) return "Trimming failed: " + SystemText(failure.error) + ".";
  return failure.message;
}

std::string TrimResultText(std::int32_t code, const std::string& source, NotText not_text) {
  switch (code) {
    case 0:
      return {};
    case 1:
      return "There is no source file to trim: its path is blank.";
    case 2:
      return "There is no target file to write: its path is blank.";
    case 3:
      return "The source file was not found:\n" + source;
    case kTrimNotText:
      return "The source file " + std::string(IsNotText(not_text)) + ", so it was not trimmed:\n" +
             source;
    default:
      return "The file could not be trimmed (result " + std::to_string(code) + ").";
  }
}

std::string TarnexMissingText(std::int32_t hresult, const std::string& register_command,
                              const std::string& library) {
  char code[16];
  std::snprintf(code, sizeof code, "%08" PRIx32, static_cast<std::uint32_t>(hresult));
  return std::string(
             "The Tarnex library is missing or not registered, so Brevio cannot do this (error "
             "0x") +
         code + ").\n\nRegister it with:\n" + register_command + " " + library;
}

std::string SkippedText(NotText not_text) {
  return "This file " + std::string(IsNotText(not_text)) + ", so it was left as it was.";
}

std::string BatchFailedText(int failed, int skipped, int total) {
  const std::string of = std::to_string(failed + skipped) + " of " + std::to_string(total) +
                         " files could not be trimmed";
  if (skipped == 0) return of + ". Select a row marked failed to see why.";
  std::string out = of + ": ";
  if (failed > 0) out += std::to_string(failed) + " failed, ";
  out +=
      std::to_string(skipped) + (skipped == 1 ? " is" : " are") + " not text. Select a row marked ";
  return out + (failed > 0 ? "failed or skipped" : "skipped") + " to see why.";
}

std::string InPlaceQuestion(int count) {
  return std::to_string(count) +
         " of the listed files are in the output folder and will be replaced by their trimmed "
         "text. Trim them in place?";
}

std::string SameFileText(int first, bool first_trimmed) {
  const std::string row = "row " + std::to_string(first);
  return first_trimmed ? "This is the same file as " + row + ", which is trimmed already."
                       : "This is the same file as " + row + ", which could not be trimmed.";
}

std::string SameTargetText(int first, bool first_trimmed, const std::string& target) {
  const std::string row = "row " + std::to_string(first);
  if (first_trimmed) {
    return "A file of the same name, " + row + ", was just trimmed into " + ShownName(target) +
           ". This one was not, so that it does not overwrite it.";
  }
  return "A file of the same name, " + row + ", goes to " + ShownName(target) +
         " too, so neither was written there.";
}

std::string HelpNotOpenedText(std::string_view address) {
  constexpr std::string_view kFile = "file://";
  std::string where(address);
  if (address.substr(0, kFile.size()) == kFile) {
    where.clear();
    const std::string_view path = address.substr(kFile.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '%' && i + 2 < path.size() && HexDigit(path[i + 1]) >= 0 &&
          HexDigit(path[i + 2]) >= 0) {
        where += static_cast<char>(HexDigit(path[i + 1]) * 16 + HexDigit(path[i + 2]));
        i += 2;
      } else {
        where += path[i];
      }
    }
    // file:///C:/dir is the Windows path C:\dir.
    if (where.size() >= 3 && where[0] == '/' && where[2] == ':') {
      where.erase(0, 1);
      std::replace(where.begin(), where.end(), '/', '\\');
    }
  }
  return "The help page could not be opened: no web browser could be started for it.\n\n"
         "It is here:\n" +
         ShownName(where);
}

std::string RefusedNamesText(const std::vector<std::string>& shown) {
  std::string out = shown.size() == 1
                        ? "Brevio cannot hand this name on exactly as it is, so it was not added:"
                        : "Brevio cannot hand these names on exactly as they are, so they were "
                          "not added:";
  for (const std::string& name : shown) out += "\n" + name;
  return out;
}

std::string ShownName(std::string_view name) {
  // Quoted only where a name needs escapes to show: then as the command
  // line quotes it.
  return HasEscapes(name) ? QuoteName(name) : std::string(name);
}

std::string FullOutputFolder(std::string_view typed, std::string_view home, std::string& problem) {
  std::string folder = TrimSpaces(typed);
#ifndef _WIN32
  if (!home.empty() && (folder == "~" || folder.starts_with("~/"))) {
    folder = std::string(home) + folder.substr(1);
  }
  const char* example = "/home/me/trimmed";
#else
  (void)home;
  const char* example = "C:\\Sites\\trimmed";
#endif
  if (FsPath(folder).is_absolute()) return folder;
  problem = "Please type the output folder as a full path, such as " + std::string(example) + ": " +
            ShownName(folder) + " does not say where it lies.";
  return {};
}

std::string TrimSpaces(std::string_view text) {
  return std::string(comrt::ascii::TrimSpaces(text));
}

std::optional<std::uint64_t> FileLength(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::error_code ec;
  const std::filesystem::path p = FsPath(path);
  if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
  const auto len = std::filesystem::file_size(p, ec);
  if (ec) return std::nullopt;
  return len;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(FsPath(path), ec);
}

std::vector<std::string> FolderPages(const std::string& folder, std::vector<std::string>& refused) {
  static constexpr std::string_view kEndings[] = {".htm", ".html", ".asp", ".php"};
  const auto is_page = [](std::string name) {
    if (IsTrimTempName(name)) return false;
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return std::any_of(std::begin(kEndings), std::end(kEndings),
                       [&](std::string_view e) { return name.ends_with(e); });
  };
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    const std::filesystem::path file_name = it->path().filename();
    std::optional<std::string> name = ExactUtf8Path(file_name);
    if (!name) {
      if (is_page(Utf8Path(file_name))) refused.push_back(ShownPath(it->path()));
      continue;
    }
    if (is_page(*name)) names.push_back(std::move(*name));
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name = JoinPath(folder, name);
  return names;
}

}  // namespace brevio::forms
