// Stands in for the programs the launchers start: writes its arguments, one
// per line in UTF-8, to record.txt in the folder %TARNEX_RECORD_DIR% names
// (through a temporary file and a rename, so a waiting reader never sees half
// of it). The reader removes the file before the next start.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  const wchar_t* folder = _wgetenv(L"TARNEX_RECORD_DIR");
  if (!folder || !*folder) return 2;
  const std::wstring target = std::wstring(folder) + L"\\record.txt";
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
    arg.resize(arg.size() - 1);
    text += arg + "\n";
  }
  const std::wstring temporary = target + L".part";
  FILE* out = _wfopen(temporary.c_str(), L"wb");
  if (!out) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written) return 1;
  return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
