#include "same_file.h"

#ifdef _WIN32
// FILE_ID_INFO is declared for Windows 8 on; older systems fall back below.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#else
#include <sys/stat.h>
#endif

namespace brevio::cli {

#ifdef _WIN32

namespace {

// The C runtime's st_ino is always 0 on Windows: the volume and file id say
// it. FileIdInfo first, because it needs no access right beyond the handle
// itself (a shell's redirection may open the output for writing only, and
// Wine's standard handles answer nothing else); before Windows 8, the older
// call.
struct DiskId {
  std::uint64_t volume = 0;
  unsigned char file[16] = {};
};

bool DiskFileId(int fd, DiskId& id) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) return false;
  FILE_ID_INFO info{};
  if (::GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info) != 0) {
    id.volume = info.VolumeSerialNumber;
    std::memcpy(id.file, &info.FileId, sizeof id.file);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION old{};
  if (::GetFileInformationByHandle(handle, &old) == 0 ||
      (old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  id.volume = old.dwVolumeSerialNumber;
  std::memcpy(id.file, &old.nFileIndexLow, sizeof old.nFileIndexLow);
  std::memcpy(id.file + 4, &old.nFileIndexHigh, sizeof old.nFileIndexHigh);
  return true;
}

}  // namespace

bool SameRegularFile(int a, int b) {
  DiskId first;
  DiskId second;
  return DiskFileId(a, first) && DiskFileId(b, second) && first.volume == second.volume &&
         std::memcmp(first.file, second.file, sizeof first.file) == 0;
}

#else

bool SameRegularFile(int a, int b) {
  struct stat first {};
  struct stat second {};
  return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && S_ISREG(first.st_mode) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

#endif

}  // namespace brevio::cli
