#include "common_dialog.h"

#include <commdlg.h>

#include "brevio/forms/file_dialog.h"
#include "wide.h"

namespace brevio::win32 {
namespace {

// Room for a few thousand chosen names at once.
constexpr DWORD kBufferChars = 1 << 16;

// "desc|pattern|desc|pattern" as the dialog takes it: each piece ended by a
// NUL, the list by one more.
std::wstring FilterList(const std::string& filter) {
  std::wstring list;
  for (const auto& [description, patterns] : forms::FileDialog::FilterPairs(filter)) {
    list += Wide(description);
    list += L'\0';
    list += Wide(patterns);
    list += L'\0';
  }
  if (!list.empty()) list += L'\0';
  return list;
}

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 2 && path[1] == L':') || path.starts_with(L"\\\\");
}

// One file: its full path. Several (Explorer style): the folder, then each
// name, NUL between them and two NULs at the end.
std::vector<std::string> ChosenPaths(const wchar_t* buffer, bool multiple) {
  std::vector<std::wstring> pieces;
  for (const wchar_t* p = buffer; *p != L'\0';) {
    pieces.emplace_back(p);
    p += pieces.back().size() + 1;
    if (!multiple) break;
  }
  std::vector<std::string> paths;
  if (pieces.size() == 1) {
    paths.push_back(Utf8(pieces.front()));
    return paths;
  }
  std::wstring folder = pieces.empty() ? std::wstring() : pieces.front();
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    paths.push_back(Utf8(IsAbsolute(pieces[i]) ? pieces[i] : folder + pieces[i]));
  }
  return paths;
}

}  // namespace

std::optional<std::vector<std::string>> ShowFileDialog(HWND owner,
                                                       const forms::FileDialogRequest& request) {
  const std::wstring filter = FilterList(request.filter);
  std::wstring buffer(kBufferChars, L'\0');

  // The dialog opens in the folder it was last left in; a file named there
  // is offered again.
  std::wstring initial = Wide(request.initial_name);
  std::wstring folder;
  const DWORD attributes =
      initial.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(initial.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    folder = initial;
  } else if (const auto slash = initial.find_last_of(L"\\/"); slash != std::wstring::npos) {
    folder = initial.substr(0, slash);
    initial.erase(0, slash + 1);
    initial.copy(buffer.data(), std::min<std::size_t>(initial.size(), kBufferChars - 2));
  }

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = kBufferChars;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.Flags = request.flags;
  const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  // Cancel, or the dialog could not be shown (CommDlgExtendedError says why):
  // either way nothing was chosen.
  if (chosen == FALSE) return std::nullopt;
  return ChosenPaths(buffer.c_str(), (request.flags & OFN_ALLOWMULTISELECT) != 0);
}

}  // namespace brevio::win32
