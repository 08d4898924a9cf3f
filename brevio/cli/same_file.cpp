#include "same_file.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace brevio::cli {

#ifdef _WIN32

namespace {

// The C runtime's st_ino is always 0 on Windows: the file index says it.
bool DiskFileInfo(int fd, BY_HANDLE_FILE_INFORMATION& info) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(handle, &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool SameRegularFile(int a, int b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return DiskFileInfo(a, first) && DiskFileInfo(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
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
