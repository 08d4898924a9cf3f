#include "brevio/forms/file_dialog.h"

#include <string_view>

#include "brevio/forms/paths.h"

namespace brevio::forms {
namespace {

// The classic string: one path, or the shared folder then each name, NUL
// between the pieces; names from several folders follow an empty folder as
// full paths. Returns only whole pieces that fit in `limit` characters and
// never a folder without a name.
std::string ClassicFileName(const std::vector<std::string>& paths, std::size_t limit) {
  if (paths.size() == 1) return paths.front().size() <= limit ? paths.front() : std::string();
  std::string folder = FolderOf(paths.front());
  bool shared = true;
  for (const std::string& path : paths) shared = shared && FolderOf(path) == folder;
  if (!shared) folder.clear();
  std::string result = folder;
  int names = 0;
  for (const std::string& path : paths) {
    const std::string piece = shared ? NameOf(path) : path;
    if (result.size() + 1 + piece.size() > limit) break;
    result += '\0';
    result += piece;
    ++names;
  }
  return names > 0 ? result : std::string();
}

}  // namespace

CommonDialogError::CommonDialogError(int number)
    : std::runtime_error(number == kCancelErrorNumber ? "Cancel was selected."
                                                      : "The file name buffer is too small."),
      number_(number) {}

std::vector<std::pair<std::string, std::string>> FileDialog::FilterPairs(
    const std::string& filter) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) pairs.emplace_back(parts[i], parts[i + 1]);
  return pairs;
}

void FileDialog::Show(MainView& view, bool save) {
  FileNames.clear();
  FileDialogRequest request;
  request.save = save;
  request.flags = Flags;
  request.filter = Filter;
  // The dialog opens where the last name lay: the file itself, or the folder
  // piece of a multiple selection.
  if (FileName.find('\0') == std::string::npos) {
    request.initial_name = FileName;
  } else {
    request.initial_name = FileName.substr(0, FileName.find('\0'));
    if (request.initial_name.empty() && FileName.size() > 1) {
      request.initial_name = FolderOf(FileName.substr(1, FileName.find('\0', 1) - 1));
    }
  }
  auto chosen = view.RunFileDialog(request);
  if (!chosen) {
    if (CancelError) throw CommonDialogError(kCancelErrorNumber);
    FileName.clear();
    return;
  }
  FileNames = std::move(*chosen);
  if (FileNames.empty()) {
    FileName.clear();
    return;
  }
  const bool multi = !save && (Flags & kOfnAllowMultiSelect) != 0;
  const std::string name =
      ClassicFileName(FileNames, MaxFileSize > 0 ? static_cast<std::size_t>(MaxFileSize) : 0);
  // Several files never fail for their length: FileNames holds them all.
  if (name.empty() && !multi) {
    FileName.clear();
    throw CommonDialogError(kBufferTooSmallNumber);
  }
  FileName = name;
}

}  // namespace brevio::forms
