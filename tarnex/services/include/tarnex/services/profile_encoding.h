#pragma once
#include <string>
#include <string_view>

namespace tarnex {

// How a profile file stores its text. The platform reads a file that starts
// with a UTF-16 mark (either byte order) as UTF-16 and writes it back so,
// mark first; any other file is 8-bit text in the writer's code page. Some of its releases
// take a UTF-8 mark for part of the first line and so miss the first section;
// we skip the mark on reading and keep it on writing, as the others do.
enum class ProfileEncoding { kEightBit, kUtf8Bom, kUtf16Le, kUtf16Be };

// A profile's bytes as the text ProfileText edits: UTF-8 for a UTF-16 file
// (a lone surrogate is kept as its three-byte form, so nothing is lost),
// the bytes after the mark for a UTF-8 file, the bytes as they are for an
// 8-bit file.
struct DecodedProfile {
  ProfileEncoding encoding = ProfileEncoding::kEightBit;
  std::string text;
  // A UTF-16 file's last byte when its length is odd. The platform reads it
  // as a character of its own and writes it back as a whole code unit; we
  // keep it, unchanged, as the file's last byte.
  std::string odd_byte;
};

DecodedProfile DecodeProfile(std::string_view bytes);

// The file bytes for `profile`: EncodeProfile(DecodeProfile(b)) == b for all
// bytes b. In a UTF-16 file, text bytes that are not UTF-8 are taken as
// Windows-1252, one character each.
std::string EncodeProfile(const DecodedProfile& profile);

// Whether `s` is well-formed UTF-8 (no surrogates, no overlong forms).
bool IsUtf8(std::string_view s);

// A value read from an 8-bit or UTF-8 file, as UTF-8: well-formed UTF-8
// stays as it is, anything else was written in Windows-1252 (a Western
// Windows program's code page) and is converted from it.
std::string ValueToUtf8(std::string_view value);

// The bytes that store a UTF-8 `value` in an 8-bit profile whose text is
// `file_text`. The platform writes its code page into any 8-bit file; a file
// that is all UTF-8 (or ASCII) gets UTF-8 here, the system's own encoding.
// A file that is not was written in Windows-1252: the value goes in as that
// when each of its characters has a byte there and the result cannot be
// mistaken for UTF-8 on reading; else as UTF-8, which ValueToUtf8 reads back.
std::string EightBitValue(std::string_view file_text, std::string_view value);

}  // namespace tarnex
