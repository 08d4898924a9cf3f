// The trim's file calls on Windows: wide paths, handles turned into C
// runtime descriptors in binary mode. Links are followed by the system;
// the identity of a file is its volume and file index.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "file_access.h"
#include "fileio/file_error.h"
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

}  // namespace

OpenSource OpenSourceFile(const std::string& source, bool follow_links, bool /*listed_regular*/) {
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
  return opened;
}

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
  return fileio::Output(target, output_options);
}

}  // namespace detail

}  // namespace brevio
