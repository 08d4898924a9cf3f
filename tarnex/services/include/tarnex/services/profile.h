#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// On Windows (profile_win.cpp) only DefaultProfilePath, SaveProfileValue and
// LoadProfileValue exist, over the platform's wide private-profile calls,
// which then own the file's format and placing; text an 8-bit profile cannot
// hold exactly, or over 32,767 characters, is refused there.
namespace tarnex {

// One profile (INI) file's bytes, read and edited the way the Windows
// private-profile functions do. Names match without regard to ASCII case;
// spaces, tabs and VT around names, '=' and values are ignored on read;
// ';' lines are comments, kept and never matched; CRLF, LF and CR all end a
// line; the first of duplicate sections or keys wins. Edits touch only the
// lines concerned: every other byte, line ends included, stays as it was.
// Bytes need not be valid UTF-8.
class ProfileText {
 public:
  explicit ProfileText(std::string bytes = {}) : bytes_(std::move(bytes)) {}

  const std::string& bytes() const { return bytes_; }

  // The value (trimmed, one pair of matching outer quotes removed), or
  // nullopt when the section or key is missing or the line has no '='.
  // Section and key are taken without their outer spaces.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Replaces the key's line by "key=value" (the name keeps its casing in the
  // file), or adds the line after the last key of the section, or adds the
  // section with the key at the end of the text.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Remove the key's line / the section's header and key lines (comments
  // and blank lines stay). Return whether anything changed.
  bool DeleteKey(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

 private:
  std::string bytes_;
};

// WritePrivateProfileString on a file: `key` nullopt deletes the section,
// `value` nullopt deletes the key, else the entry is written. The file is
// rewritten through a temporary file in its folder and a rename, under an
// advisory lock held across read-modify-write; its permission bits are kept.
// It keeps its encoding (UTF-16 or UTF-8 with their mark, else 8-bit); the
// value is taken as UTF-8 (see EightBitValue for 8-bit files).
// Returns false (and creates nothing) when the folder is missing or the file
// cannot be read or written.
bool WriteProfileEntry(std::string_view section, const std::optional<std::string>& key,
                       const std::optional<std::string>& value, const std::string& file);

// GetPrivateProfileString on a file: the value, or `default_value` without
// its trailing spaces when the file, section or key is missing; either cut
// to at most `max_chars` characters. A value comes back as UTF-8 whatever the
// file's encoding (see ValueToUtf8 for 8-bit files).
std::string ReadProfileEntry(std::string_view section, std::string_view key,
                             std::string_view default_value, const std::string& file,
                             std::size_t max_chars);

// The folder of the loaded library that holds this code, plus the library's
// file name without extension, plus ".ini"; computed once per thread.
const std::string& DefaultProfilePath();

// A file name without a folder is taken in the default profile's folder;
// anything else is returned unchanged.
std::string ResolveProfilePath(const std::string& file);

// SaveValue: removes NULs from the value and trims its spaces; a blank
// `file` selects the default profile; an empty key deletes the section, an
// empty cleaned value deletes the key, else the entry is written. Nonzero on
// success, 0 on failure.
std::int32_t SaveProfileValue(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file);

// LoadValue: the stored value or the default, at most 2,047 characters,
// NULs removed and spaces trimmed.
std::string LoadProfileValue(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file);

}  // namespace tarnex
