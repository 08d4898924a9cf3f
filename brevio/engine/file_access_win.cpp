// The trim's file calls on Windows: wide paths, handles turned into C
// runtime descriptors in binary mode. Links are followed by the system;
// the identity of a file is its volume and file index.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "file_access.h"
#include "fileio/file_error.h"
#include "fileio/path.h"
#include "fileio/wide.h"

namespace brevio {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool NotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY;
}

}  // namespace

std::optional<FileId> FileIdOf(const std::string& path) {
  // No access asked for: only the identity is read, and folders open too.
  const HANDLE handle = ::CreateFileW(fileio::Wide(path).c_str(), 0, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = fileio::LastErrno();
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  if (!known) return std::nullopt;
  return IdOf(info);
}

namespace detail {

namespace {

[[noreturn]] void Fail(fileio::Step step, const std::string& path, DWORD error) {
  throw fileio::FileError(step, path, fileio::ErrnoOf(error));
}

fileio::FileTime TimeOf(const FILETIME& time) {
  // 100-nanosecond steps since 1601.
  constexpr std::int64_t kFrom1601 = 11644473600LL;
  const auto steps =
      static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  return {steps / 10000000 - kFrom1601, (steps % 10000000) * 100};
}

}  // namespace

OpenSource OpenSourceFile(const std::string& source, bool follow_links, bool /*listed_regular*/,
                          const HeldName& /*at*/) {
  OpenSource opened;
  const std::wstring wide = fileio::Wide(source);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (NotThere(error)) return opened;
    Fail(fileio::Step::kExamine, source, error);
  }
  if (!follow_links && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw fileio::FileError(fileio::Step::kOpenSource, source, ELOOP);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return opened;
  // Others may read, write, rename or delete it meanwhile, as on POSIX;
  // deleting is what lets an in-place trim replace it while it is open.
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Fail(fileio::Step::kOpenSource, source, ::GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || ::GetFileInformationByHandle(handle, &info) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::CloseHandle(handle);
    return opened;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    throw fileio::FileError(fileio::Step::kOpenSource, source, EMFILE);
  }
  opened.result = kTrimDone;
  opened.fd.reset(fd);
  opened.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  opened.id = IdOf(info);
  opened.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  opened.times = {TimeOf(info.ftLastAccessTime), TimeOf(info.ftLastWriteTime)};
  return opened;
}

// The C runtime's descriptors are many more than a run's threads.
unsigned TrimsWithinDescriptorLimit() { return ~0u; }

// FILE_FLAG_SEQUENTIAL_SCAN at the open said it already.
void AdviseSequential(int /*fd*/) {}

fileio::Output OpenTargetFile(const std::string& source, const std::string& target,
                              const OpenSource& in, const TrimOptions& options, bool& in_place) {
  in_place = source == target || FileIdOf(target) == in.id;
  fileio::OutputOptions output_options;
  output_options.in_place = in_place;
  output_options.original_fd = in_place ? in.fd.get() : -1;
  output_options.write_through_dangling_links = options.write_through_dangling_links;
  output_options.new_mode = in.permissions;
  if (options.keep_times) output_options.times = in.times;
  return fileio::Output(target, output_options);
}

// Windows holds no folders: the levels are made by path and checked for
// reparse points once, when first met (see the README on what that leaves).
struct OutputFolders::State {
  std::string root;
  bool root_made = false;  // Windows writes every target the usual way
  std::mutex mutex;
  struct Made {
    int error = 0;  // 0 or the errno of the failure
    bool by_us = false;
  };
  std::map<std::string, Made> made;
  std::set<std::string> checked;
  std::set<std::string> linked;

  Made MakeLocked(const std::string& folder) {
    if (const auto known = made.find(folder); known != made.end()) return known->second;
    const std::filesystem::path path = fileio::PathOf(folder);
    Made result;
    std::error_code ec;
    result.by_us = std::filesystem::create_directory(path, ec);
    if (ec == std::errc::no_such_file_or_directory) {
      const std::string parent = fileio::FolderOf(folder);
      if (parent != folder && MakeLocked(parent).error == 0) {
        ec.clear();
        result.by_us = std::filesystem::create_directory(path, ec);
      }
    }
    if (ec) {
      // Not to be made: the library call that makes every level says why.
      result.by_us = false;
      ec.clear();
      std::filesystem::create_directories(path, ec);
      result.error = ec.default_error_condition().value();  // an errno value
    }
    made.emplace(folder, result);
    return result;
  }

  // Checks the levels of folder below the root from the top down, before
  // anything is made through them; each level once per run.
  void RefuseLinkedLevels(const std::string& folder) {
    if (root.empty() || folder.size() <= root.size() || !folder.starts_with(root)) return;
    std::size_t end = root.size();
    if (!fileio::IsSeparator(root.back())) {
      if (!fileio::IsSeparator(folder[end])) return;  // a sibling such as "out2"
      ++end;
    }
    while (end < folder.size()) {
      end = std::min(folder.find_first_of("/\\", end), folder.size());
      const std::string level = folder.substr(0, end);
      ++end;
      if (checked.insert(level).second) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(fileio::PathOf(level), ec);
        if (std::filesystem::is_symlink(status)) {
          linked.insert(level);
        } else if (ec || !std::filesystem::exists(status)) {
          return;  // what is below is made by this run
        }
      }
      if (linked.contains(level)) {
        throw fileio::FileError(fileio::Step::kRefuseTarget, level, ENOTDIR,
                                "a symbolic link where the output needs a folder");
      }
    }
  }
};

OutputFolders::OutputFolders(std::string root, bool root_made) : state_(std::make_unique<State>()) {
  state_->root = std::move(root);
  state_->root_made = root_made;
}

OutputFolders::~OutputFolders() = default;

HeldName OutputFolders::Place(const std::string& target, bool& made_folder) {
  const std::string folder = fileio::FolderOf(target);
  made_folder = false;
  State& s = *state_;
  const std::lock_guard lock(s.mutex);
  if (folder == s.root || !folder.starts_with(s.root)) return {};
  if (!s.made.contains(folder)) s.RefuseLinkedLevels(folder);
  const State::Made made = s.MakeLocked(folder);
  if (made.error != 0) throw fileio::FileError(fileio::Step::kMakeFolder, folder, made.error);
  made_folder = made.by_us;
  return {};
}

}  // namespace detail

}  // namespace brevio
