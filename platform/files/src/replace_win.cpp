// fileio on Windows: descriptors are the C runtime's over handles opened by
// the wide calls, paths are UTF-8. A replacement is ReplaceFileW, which
// gives the new file the old one's attributes, ACL and identity; ownership
// and the rest of the POSIX metadata have no counterpart here.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <mutex>
#include <random>
#include <set>
#include <utility>

#include "fileio/replace.h"
#include "fileio/wide.h"
#include "system_io.h"

namespace fileio {

namespace {

// CreateDirectoryW leaves room for an 8.3 name below MAX_PATH; every call
// takes what is shorter than that.
constexpr std::size_t kLongPath = MAX_PATH - 12;

// The full form of a path: "\\?\" needs it, and some ReplaceFileW
// implementations (Wine's) fail with ERROR_DIRECTORY on a name without a
// folder part ("page.htm").
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

// The path after "\\?\", which turns off the limit together with the
// system's reading of the path ('/', ".", ".." and the current folder):
// hence the full path, from GetFullPathNameW, which takes any length.
std::wstring LongForm(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
  const std::wstring full = FullPath(path);
  if (full.size() < kLongPath || full.starts_with(L"\\\\.\\")) return path;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  // A relative path may be long once it is full: only a short full path
  // is kept as given.
  const bool full = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
  if (full && wide.size() < kLongPath) return wide;
  return LongForm(wide);
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  return text;
}

int ErrnoOf(unsigned long windows_error) {
  switch (windows_error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoOf(::GetLastError()); }

namespace detail {

int CloseFd(int fd) { return ::_close(fd); }

std::int64_t WriteSome(int fd, const char* data, std::size_t n) {
  constexpr std::size_t kMost = std::size_t{1} << 30;  // _write counts in unsigned int
  return ::_write(fd, data, static_cast<unsigned>(n < kMost ? n : kMost));
}

// The CRT has no positioned read: a seek, a read from there, and the
// offset put back where the descriptor's own reads left it.
std::int64_t ReadAt(int fd, char* data, std::size_t n, std::int64_t offset) {
  const std::int64_t was = ::_lseeki64(fd, 0, SEEK_CUR);
  if (was < 0 || ::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
  constexpr std::size_t kMost = std::size_t{1} << 30;
  const std::int64_t got = ::_read(fd, data, static_cast<unsigned>(n < kMost ? n : kMost));
  const int error = errno;
  if (::_lseeki64(fd, was, SEEK_SET) < 0) return -1;
  errno = error;
  return got;
}

}  // namespace detail

namespace {

[[noreturn]] void Fail(Step step, const std::string& path, int error) {
  throw FileError(step, path, error);
}

std::string RandomSuffix() {
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::minstd_rand random(std::random_device{}() ^ ::GetCurrentProcessId());
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[random() % kChars.size()];
  return suffix;
}

// The temporary files alive in this module, removed when the console is
// interrupted (Ctrl+C, Ctrl+Break, the window closed).
std::mutex temp_mutex;
std::set<std::wstring>& LiveTemps() {
  static std::set<std::wstring> live;
  return live;
}

void ListTemp(const std::wstring& path) {
  const std::lock_guard lock(temp_mutex);
  LiveTemps().insert(path);
}

void UnlistTemp(const std::wstring& path) {
  const std::lock_guard lock(temp_mutex);
  LiveTemps().erase(path);
}

BOOL WINAPI RemoveTempsOnInterrupt(DWORD /*event*/) {
  const std::lock_guard lock(temp_mutex);
  for (const std::wstring& path : LiveTemps()) ::DeleteFileW(path.c_str());
  LiveTemps().clear();
  return FALSE;  // the next handler (in the end the system's) ends the process
}

int DescriptorOf(HANDLE handle, int flags) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

}  // namespace

// A new file beside a target, removed again unless committed; listed for
// the console's interrupt handler while it lives.
class TempFile {
 public:
  // Throws kCreateTemp naming the folder.
  TempFile(const std::string& final_path, const TempName& name);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  void KeepMetadataOf(const std::string& target);
  void SetTimes(const FileTimes& times, const std::string& target);
  void CommitAs(const std::string& final_path, bool flush, const std::string& target);

 private:
  std::string path_;
  Fd fd_;
  int slot_ = -1;
  bool committed_ = false;
};

TempFile::TempFile(const std::string& final_path, const TempName& name) {
  const std::string folder = FolderOf(final_path);
  std::string base = NameOf(final_path);
  if (base.size() > 200) base.resize(200);
  const bool rooted = IsSeparator(folder.back()) || (folder.size() == 2 && folder[1] == ':');
  for (int attempt = 0;; ++attempt) {
    std::string temp = folder;
    if (!rooted) temp += '\\';
    temp += name.before;
    temp += base;
    temp += name.after;
    temp += RandomSuffix();
    const std::wstring wide = Wide(temp);
    ListTemp(wide);
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = DescriptorOf(handle, _O_WRONLY);
      if (fd < 0) {
        ::DeleteFileW(wide.c_str());
        UnlistTemp(wide);
        Fail(Step::kCreateTemp, folder, EMFILE);
      }
      path_ = std::move(temp);
      fd_.reset(fd);
      slot_ = 0;
      return;
    }
    const int error = LastErrno();
    UnlistTemp(wide);
    if (error != EEXIST || attempt >= 100) Fail(Step::kCreateTemp, folder, error);
  }
}

TempFile::~TempFile() {
  if (slot_ < 0) return;
  const std::wstring wide = Wide(path_);
  if (!committed_) {
    fd_.close();
    ::DeleteFileW(wide.c_str());
  }
  UnlistTemp(wide);
}

namespace {

// ReplaceFileW gives the file the name it is called with, letter case and
// all: a file that is there keeps the name it has on disk (a.htm named as
// A.HTM, or by its short name, stays a.htm), as a copy over it would.
std::wstring KeptName(std::wstring path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t name_at = slash == std::wstring::npos ? 0 : slash + 1;
  if (path.find_first_of(L"*?", name_at) != std::wstring::npos) return path;
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return path;
  ::FindClose(find);
  path.replace(name_at, std::wstring::npos, data.cFileName);
  return path;
}

}  // namespace

// ReplaceFileW carries the attributes and the ACL over at the commit; the
// attributes are also set here, for implementations of it that do not
// (Wine's). Read-only waits: the file is still being written.
void TempFile::KeepMetadataOf(const std::string& target) {
  const DWORD attributes = ::GetFileAttributesW(Wide(target).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;  // a new file
  FILE_BASIC_INFO info{};
  info.FileAttributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()));
  if (::SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) == 0) {
    Fail(Step::kKeepMetadata, target, LastErrno());
  }
}

namespace {

FILETIME FileTimeOf(const FileTime& time) {
  // 100-nanosecond steps since 1601.
  constexpr std::int64_t kFrom1601 = 11644473600LL;
  const auto steps =
      static_cast<std::uint64_t>((time.seconds + kFrom1601) * 10000000LL + time.nanoseconds / 100);
  return {static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
}

}  // namespace

void TempFile::SetTimes(const FileTimes& times, const std::string& target) {
  const FILETIME access = FileTimeOf(times.access);
  const FILETIME modification = FileTimeOf(times.modification);
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()));
  if (::SetFileTime(handle, nullptr, &access, &modification) == 0) {
    Fail(Step::kKeepMetadata, target, LastErrno());
  }
}

void TempFile::CommitAs(const std::string& final_path, bool flush, const std::string& target) {
  if (flush && ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()))) == 0) {
    Fail(Step::kWriteTarget, target, LastErrno());
  }
  if (const int error = fd_.close(); error != 0) Fail(Step::kWriteTarget, target, error);
  const std::wstring from = FullPath(Wide(path_));
  const std::wstring to = KeptName(FullPath(Wide(final_path)));
  if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr) == 0) {
    // A target that does not exist (any more) is simply taken by the new file.
    const DWORD error = ::GetLastError();
    if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ||
        ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
      Fail(Step::kReplace, target, ErrnoOf(error));
    }
  }
  committed_ = true;
}

// Windows holds no folders (OutputOptions::folder_fd) and writes every
// target anew (no keep_unchanged comparison): the bytes go straight to the
// temporary file.
Output::Output(const std::string& target, const OutputOptions& options)
    : target_(target), options_(options) {
  const std::wstring wide = Wide(target);
  // Opened for nothing but a look: folders open too, and nobody is locked out.
  const HANDLE look =
      ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (look == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      Fail(Step::kExamine, target, ErrnoOf(error));
    }
    // A missing folder on the way is reported by the temporary file's creation.
    Open();
    return;
  }
  const DWORD type = ::GetFileType(look);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool disk = type == FILE_TYPE_DISK && ::GetFileInformationByHandle(look, &info) != 0;
  ::CloseHandle(look);
  if (disk && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Fail(Step::kRefuseTarget, target, EISDIR);
  }

  // A device (NUL, CON, a pipe) is written into: there is nothing to replace.
  if (!disk) {
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) Fail(Step::kOpenTarget, target, LastErrno());
    direct_.reset(DescriptorOf(handle, _O_WRONLY));
    if (direct_.get() < 0) Fail(Step::kOpenTarget, target, EMFILE);
    return;
  }
  if (!options.in_place && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    Fail(Step::kOpenTarget, target, EACCES);
  }
  original_exists_ = true;
  Open();
}

Output::~Output() = default;
Output::Output(Output&&) noexcept = default;

int Output::fd() const { return temp_ ? temp_->fd() : direct_.get(); }

void Output::Open() { temp_ = std::make_unique<TempFile>(target_, options_.temp_name); }

int Output::StopComparing() { return 0; }

int Output::Write(const char* data, std::size_t n) { return WriteAll(fd(), data, n); }

void Output::Commit(bool flush) {
  if (!temp_) {
    if (const int error = direct_.close(); error != 0) Fail(Step::kWriteTarget, target_, error);
    return;
  }
  CommitTemp(flush);
}

void Output::CommitTemp(bool flush) {
  temp_->KeepMetadataOf(target_);
  if (options_.times) temp_->SetTimes(*options_.times, target_);
  temp_->CommitAs(target_, flush, target_);
}

void Output::CommitUnnamed(bool /*flush*/) {}

void RemoveTempFilesOnSignals() { ::SetConsoleCtrlHandler(RemoveTempsOnInterrupt, TRUE); }

}  // namespace fileio
