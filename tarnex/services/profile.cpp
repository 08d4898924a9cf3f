#include "tarnex/services/profile.h"

#include <comrt_text.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "fileio/file_error.h"
#include "fileio/replace.h"
#include "tarnex/services/profile_encoding.h"

namespace tarnex {
namespace {

using fileio::Fd;

bool ReadAll(int fd, std::string& out) { return fileio::ReadAll(fd, out) == 0; }

std::string Folder(const std::string& path) { return fileio::FolderOf(path); }

std::string BaseName(const std::string& path) { return fileio::NameOf(path); }

// A profile reached through a symbolic link is rewritten at its target, so
// the link survives the rename.
std::string Target(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Opens and exclusively locks the profile, creating it when missing. The lock
// sits on the file itself; since writers replace the file by renaming, a
// waiter that wakes up on an inode no longer at the path tries again.
bool OpenLocked(const std::string& path, Fd& fd, struct stat& st) {
  for (;;) {
    // O_NONBLOCK: a FIFO at the path must not hang us (it is refused below).
    fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    if (fd.get() < 0) return false;
    int rc;
    do {
      rc = ::flock(fd.get(), LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
    struct stat at_path {};
    if (::fstat(fd.get(), &st) != 0) return false;
    if (::stat(path.c_str(), &at_path) == 0 && at_path.st_dev == st.st_dev &&
        at_path.st_ino == st.st_ino) {
      return true;
    }
  }
}

// Writes `bytes` beside `path` (".NAME.tarnex-XXXXXX") and renames the copy
// over it, flushed first; the copy takes the profile's owner, group, mode,
// ACLs and attributes from the file itself. On failure the profile is
// untouched and the copy removed.
bool Replace(const std::string& path, const struct stat& /*locked*/, std::string_view bytes) {
  try {
    fileio::ReplaceContents(path, bytes, {".", ".tarnex-"});
    return true;
  } catch (const fileio::FileError&) {
    return false;
  }
}

// Text handed to the platform's 8-bit calls ends at its first NUL.
using comrt::ascii::UpToNul;

bool IsBlank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

std::string WithoutNul(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char c : s) {
    if (c != '\0') out += c;
  }
  return out;
}

// Length in bytes of the first `max_chars` characters of `s`. Characters
// are UTF-8 code points; a byte that does not start a well-formed sequence
// counts as one character of its own. A code point is never split.
std::size_t PrefixBytes(std::string_view s, std::size_t max_chars) {
  std::size_t pos = 0;
  for (std::size_t chars = 0; chars < max_chars && pos < s.size(); ++chars) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t len = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
      len = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
      len = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
      len = 4;
    bool whole = pos + len <= s.size();
    for (std::size_t k = 1; whole && k < len; ++k) {
      whole = (static_cast<unsigned char>(s[pos + k]) & 0xC0) == 0x80;
    }
    pos += whole ? len : 1;
  }
  return pos;
}

std::string ComputeDefaultProfilePath() {
  Dl_info info{};
  std::string library;
  if (::dladdr(reinterpret_cast<void*>(&ComputeDefaultProfilePath), &info) != 0 &&
      info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved) != nullptr) library = resolved;
  }
  if (library.empty()) {
    // Linked into the program itself, whose name dladdr may give relative.
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) throw std::system_error(errno, std::generic_category(), "locating the library");
    library.assign(buf, static_cast<std::size_t>(n));
  }
  std::string name = BaseName(library);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  std::string folder = Folder(library);
  if (folder.back() != '/') folder += '/';
  return folder + name + ".ini";
}

}  // namespace

bool WriteProfileEntry(std::string_view section, const std::optional<std::string>& key,
                       const std::optional<std::string>& value, const std::string& file) {
  const std::string path = Target(file);
  Fd fd;
  struct stat st {};
  if (!OpenLocked(path, fd, st) || !S_ISREG(st.st_mode)) return false;
  // A profile without any write permission is read-only, even for root.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  std::string bytes;
  if (!ReadAll(fd.get(), bytes)) return false;
  // The file is written back in its own encoding, mark included, as the
  // platform does. The platform may rewrite the whole file on a change (CRLF
  // line ends, blank lines and spaces around '=' dropped); we replace only the
  // lines concerned and keep every other byte, line ends included, so a
  // profile edited by hand keeps its layout. A new file is 8-bit with CRLF,
  // as the platform makes it.
  DecodedProfile decoded = DecodeProfile(bytes);
  ProfileText text(decoded.text);
  if (!key) {
    if (!text.DeleteSection(section)) return true;
  } else if (!value) {
    if (!text.DeleteKey(section, *key)) return true;
  } else if (decoded.encoding == ProfileEncoding::kEightBit) {
    // The platform converts text to its code page, writing '?' for what it
    // lacks. Values follow a Windows-1252 file's code page the same way but
    // fall back to UTF-8 rather than lose a character (see EightBitValue).
    // Names are stored and matched as given: they are almost always ASCII.
    text.Set(section, *key, EightBitValue(decoded.text, *value));
  } else {
    text.Set(section, *key, *value);
  }
  decoded.text = text.bytes();
  return Replace(path, st, EncodeProfile(decoded));
}

std::string ReadProfileEntry(std::string_view section, std::string_view key,
                             std::string_view default_value, const std::string& file,
                             std::size_t max_chars) {
  std::optional<std::string> found;
  // Writers rename whole files into place, so a reader needs no lock.
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  std::string bytes;
  if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
      ReadAll(fd.get(), bytes)) {
    const DecodedProfile decoded = DecodeProfile(bytes);
    found = ProfileText(decoded.text).Find(section, key);
    // The platform's 8-bit calls hand back a Unicode file's text converted
    // to the code page; ours are UTF-8, so such values need nothing more.
    // The platform reads an 8-bit file as code page text throughout; we read
    // a value that is well-formed UTF-8 as UTF-8 (what Linux programs write)
    // and any other as Windows-1252 (a Western Windows program's), rather
    // than lose its characters.
    if (found && (decoded.encoding == ProfileEncoding::kEightBit ||
                  decoded.encoding == ProfileEncoding::kUtf8Bom)) {
      found = ValueToUtf8(*found);
    }
  }
  std::string_view result;
  if (found) {
    result = *found;
  } else {
    result = default_value;
    while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
  }
  return std::string(result.substr(0, PrefixBytes(result, max_chars)));
}

const std::string& DefaultProfilePath() {
  // Once per thread, as the component's apartments expect.
  thread_local const std::string path = ComputeDefaultProfilePath();
  return path;
}

std::string ResolveProfilePath(const std::string& file) {
  if (file.find('/') != std::string::npos) return file;
  return Folder(DefaultProfilePath()) + "/" + file;
}

std::int32_t SaveProfileValue(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file) {
  const std::string cleaned(comrt::ascii::TrimSpaces(WithoutNul(value)));
  const std::string_view file_c = UpToNul(file);
  const std::string path =
      IsBlank(file) ? DefaultProfilePath() : ResolveProfilePath(std::string(file_c));
  const std::string_view section_c = UpToNul(section);
  const std::string key_c(UpToNul(key));
  bool ok;
  if (!key.empty() && !cleaned.empty()) {
    ok = WriteProfileEntry(section_c, key_c, std::string(UpToNul(cleaned)), path);
  } else if (key.empty()) {
    ok = WriteProfileEntry(section_c, std::nullopt, std::nullopt, path);
  } else {
    ok = WriteProfileEntry(section_c, key_c, std::nullopt, path);
  }
  return ok ? 1 : 0;
}

std::string LoadProfileValue(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file) {
  const std::string path =
      IsBlank(file) ? DefaultProfilePath() : ResolveProfilePath(std::string(UpToNul(file)));
  // The platform's buffer holds 2,047 characters and a final NUL.
  const std::string read =
      ReadProfileEntry(UpToNul(section), UpToNul(key), UpToNul(default_value), path, 2047);
  return std::string(comrt::ascii::TrimSpaces(WithoutNul(read)));
}

}  // namespace tarnex
