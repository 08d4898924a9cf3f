// The watch's system part on Windows: one ReadDirectoryChangesW per watched
// folder (with -r the whole tree below it), whose results come as
// completion routines while this thread waits, alertably, for the stop.
// The console's Ctrl+C, Ctrl+Break and closing raise that stop.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <memory>
#include <ostream>
#include <system_error>

#include "brevio/cli/shown_name.h"
#include "fileio/path.h"
#include "fileio/wide.h"
#include "watch.h"

namespace brevio::cli {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Names made, removed and renamed, and writes (the time or the size).
constexpr DWORD kNotify = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
// The most a folder on another machine takes; more changes than fit before
// they are read are lost, and reported as such.
constexpr DWORD kBufferBytes = 64 * 1024;

std::string Message(std::string_view text) { return "brevio-trim: " + std::string(text); }

std::string SystemMessage(DWORD error) {
  return std::generic_category().message(fileio::ErrnoOf(error));
}

HANDLE console_stop = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ::SetEvent(console_stop);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The console closes (or the session ends): the process is ended when
  // this returns, or a few seconds later in any case. Meanwhile the watch
  // ends by itself after the file under way; should it not, the next
  // handler removes the temporary files.
  ::Sleep(4000);
  return FALSE;
}

EntryKind KindOf(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::kOther;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::kFolder;
  return EntryKind::kFile;
}

std::uint64_t Steps(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

WatchStop::WatchStop() : native_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (native_ == nullptr) {
    throw std::system_error(fileio::LastErrno(), std::generic_category(), "CreateEvent");
  }
}

WatchStop::~WatchStop() { ::CloseHandle(native_); }

void WatchStop::Raise() const { ::SetEvent(native_); }

std::optional<WatchStop::Native> ConsoleStop() {
  if (console_stop == nullptr) {
    console_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Called before the handler that removes temporary files and ends the
    // process, which it then replaces for Ctrl+C and Ctrl+Break.
    if (console_stop == nullptr || ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) == 0) {
      errno = fileio::LastErrno();
      return std::nullopt;
    }
  }
  return console_stop;
}

// A file is not opened: while any handle is open on it, a rename over it
// fails, and that is how an editor saves it, and the trim too. Its size,
// write time and creation time tell its versions apart (the creation time
// alone would not: Windows hands it on to a file renamed in its place). A
// folder's identity, which needs a handle, is read for folders alone.
EntryState StateOf(const std::string& path) {
  EntryState state;
  const std::wstring wide = fileio::Wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) == 0) {
    const DWORD error = ::GetLastError();
    state.missing_for_sure = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return state;
  }
  state.kind = KindOf(data.dwFileAttributes);
  state.stamp.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  state.stamp.modified = static_cast<std::int64_t>(Steps(data.ftLastWriteTime));
  state.stamp.inode = Steps(data.ftCreationTime);
  if (state.kind != EntryKind::kFolder) return state;
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return state;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) != 0) {
    state.stamp.device = info.dwVolumeSerialNumber;
    state.stamp.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  }
  ::CloseHandle(handle);
  return state;
}

bool IsFolderOperand(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(fileio::Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW(fileio::Wide(fileio::JoinPath(folder, "*")).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring_view name = data.cFileName;
    if (name != L"." && name != L"..") {
      entries.push_back({fileio::Utf8(name), KindOf(data.dwFileAttributes)});
    }
  } while (::FindNextFileW(find, &data) != 0);
  ::FindClose(find);
  return entries;
}

std::string NameKey(std::string_view name) {
  std::wstring wide = fileio::Wide(name);
  ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return fileio::Utf8(wide);
}

namespace {

// One folder's watch: its handle and the read under way on it.
struct FolderWatch {
  OVERLAPPED overlapped{};  // hEvent: this watch (completion routines leave it alone)
  HANDLE folder = INVALID_HANDLE_VALUE;
  std::string path;
  bool tree = false;
  int id = 0;
  FileId identity;
  std::vector<DWORD> buffer = std::vector<DWORD>(kBufferBytes / sizeof(DWORD));
  bool reading = false;
  std::vector<Change>* arrived = nullptr;
};

void CALLBACK Arrived(DWORD error, DWORD bytes, OVERLAPPED* overlapped);

bool Read(FolderWatch& watch) {
  watch.overlapped = {};
  watch.overlapped.hEvent = &watch;
  watch.reading = ::ReadDirectoryChangesW(watch.folder, watch.buffer.data(), kBufferBytes,
                                          watch.tree ? TRUE : FALSE, kNotify, nullptr,
                                          &watch.overlapped, Arrived) != 0;
  return watch.reading;
}

// The long form of a path that exists (the path as it was when it does
// not, or has no long form).
std::wstring LongPath(const std::wstring& path) {
  const DWORD size = ::GetLongPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring long_path(size, L'\0');
  const DWORD length = ::GetLongPathNameW(path.c_str(), long_path.data(), size);
  if (length == 0 || length >= size) return path;
  long_path.resize(length);
  return long_path;
}

// Windows may report an entry by its short name (PAGE~1.HTM): the copy
// must have the name the file was saved under. A name that is gone cannot
// be asked for any more and stays as reported.
std::string LongRelative(const FolderWatch& watch, const std::string& relative) {
  if (relative.find('~') == std::string::npos) return relative;
  const std::wstring top = LongPath(fileio::Wide(watch.path));
  const std::wstring full = LongPath(fileio::Wide(fileio::JoinPath(watch.path, relative)));
  if (top.empty()) return relative;
  std::size_t below = top.size();    // where the relative part starts in full
  if (top.back() != L'\\') ++below;  // after a separator, unless a root's
  if (full.size() <= below || full.compare(0, top.size(), top) != 0 || full[below - 1] != L'\\') {
    return relative;
  }
  return fileio::Utf8(std::wstring_view(full).substr(below));
}

// What one read brought, as changes for the watch.
void Parse(const FolderWatch& watch, const char* at, DWORD bytes, std::vector<Change>& changes) {
  const char* const end = at + bytes;
  while (at + sizeof(FILE_NOTIFY_INFORMATION) <= end) {
    const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
    Change change;
    change.place = watch.id;
    change.relative = LongRelative(
        watch,
        fileio::Utf8(std::wstring_view(info->FileName, info->FileNameLength / sizeof(WCHAR))));
    switch (info->Action) {
      case FILE_ACTION_ADDED:
      case FILE_ACTION_RENAMED_NEW_NAME:
        change.kind = Change::Kind::kAppeared;
        change.folder =
            StateOf(fileio::JoinPath(watch.path, change.relative)).kind == EntryKind::kFolder;
        break;
      case FILE_ACTION_REMOVED:
      case FILE_ACTION_RENAMED_OLD_NAME:
        change.kind = Change::Kind::kGone;
        break;
      default:
        change.kind = Change::Kind::kWritten;
        break;
    }
    changes.push_back(std::move(change));
    if (info->NextEntryOffset == 0) break;
    at += info->NextEntryOffset;
  }
}

void CALLBACK Arrived(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
  auto& watch = *static_cast<FolderWatch*>(overlapped->hEvent);
  watch.reading = false;
  if (error == ERROR_OPERATION_ABORTED) return;  // the watch is closing
  std::vector<Change>& changes = *watch.arrived;
  if (error == ERROR_NOTIFY_ENUM_DIR || (error == NO_ERROR && bytes == 0)) {
    // More changes than the buffer holds: which ones is not known.
    Change lost;
    lost.kind = Change::Kind::kLost;
    lost.place = watch.id;
    changes.push_back(lost);
    if (Read(watch)) return;
  } else if (error == NO_ERROR) {
    // Read again at once, so that nothing is missed while these are taken.
    const auto words = static_cast<std::ptrdiff_t>((bytes + sizeof(DWORD) - 1) / sizeof(DWORD));
    const std::vector<DWORD> got(watch.buffer.begin(), watch.buffer.begin() + words);
    const bool again = Read(watch);
    Parse(watch, reinterpret_cast<const char*>(got.data()), bytes, changes);
    if (again) return;
  }
  // The folder itself went, or cannot be watched any more: its handle goes
  // too, so that it can be removed.
  Change gone;
  gone.kind = Change::Kind::kPlaceGone;
  gone.place = watch.id;
  changes.push_back(gone);
  ::CloseHandle(watch.folder);
  watch.folder = INVALID_HANDLE_VALUE;
}

}  // namespace

struct ChangeFeed::State {
  std::ostream& err;
  HANDLE stop;
  std::vector<std::unique_ptr<FolderWatch>> watches;  // by id
  std::vector<Change> arrived;                        // for the next Wait
};

ChangeFeed::ChangeFeed(WatchStop::Native stop, std::ostream& err)
    : state_(new State{err, stop, {}, {}}) {}

ChangeFeed::~ChangeFeed() {
  for (const auto& watch : state_->watches) {
    if (watch->reading) ::CancelIo(watch->folder);
  }
  // Each cancelled read's routine runs before its buffer goes.
  while (std::any_of(state_->watches.begin(), state_->watches.end(),
                     [](const auto& watch) { return watch->reading; })) {
    if (::SleepEx(5000, TRUE) != WAIT_IO_COMPLETION) break;
  }
  for (const auto& watch : state_->watches) {
    if (watch->folder != INVALID_HANDLE_VALUE) ::CloseHandle(watch->folder);
  }
}

bool ChangeFeed::ok() const { return true; }

bool ChangeFeed::CoversTrees() { return true; }

int ChangeFeed::Add(const std::string& folder, bool tree) {
  const HANDLE handle =
      ::CreateFileW(fileio::Wide(folder).c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  const auto fail = [&](DWORD error) {
    state_->err << Message("cannot watch " + QuoteName(folder) + ": " + SystemMessage(error))
                << '\n';
    return -1;
  };
  if (handle == INVALID_HANDLE_VALUE) return fail(::GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) == 0) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return fail(error);
  }
  const FileId identity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  // One folder named twice (a tree and a FILE in it) is one watch.
  for (const auto& watch : state_->watches) {
    if (watch->folder != INVALID_HANDLE_VALUE && watch->identity == identity &&
        (watch->tree || !tree)) {
      ::CloseHandle(handle);
      return watch->id;
    }
  }
  auto watch = std::make_unique<FolderWatch>();
  watch->folder = handle;
  watch->path = folder;
  watch->tree = tree;
  watch->id = static_cast<int>(state_->watches.size());
  watch->identity = identity;
  watch->arrived = &state_->arrived;
  if (!Read(*watch)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return fail(error);
  }
  state_->watches.push_back(std::move(watch));
  return state_->watches.back()->id;
}

ChangeFeed::Woke ChangeFeed::Wait(std::optional<std::chrono::milliseconds> timeout,
                                  std::vector<Change>& changes) {
  if (state_->arrived.empty()) {
    const DWORD ms = timeout ? static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(
                                   timeout->count(), INFINITE - 1))
                             : INFINITE;
    const DWORD woke = ::WaitForSingleObjectEx(state_->stop, ms, TRUE);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return Woke::kStopped;
    if (state_->arrived.empty()) return Woke::kTimeout;
  }
  std::move(state_->arrived.begin(), state_->arrived.end(), std::back_inserter(changes));
  state_->arrived.clear();
  return Woke::kChanges;
}

bool ChangeFeed::WaitFor(const WatchStop& done) {
  const HANDLE either[2] = {done.native(), state_->stop};
  for (;;) {
    const DWORD woke = ::WaitForMultipleObjectsEx(2, either, FALSE, INFINITE, TRUE);
    if (woke == WAIT_OBJECT_0 + 1) return false;
    if (woke != WAIT_IO_COMPLETION) return true;
  }
}

}  // namespace brevio::cli
