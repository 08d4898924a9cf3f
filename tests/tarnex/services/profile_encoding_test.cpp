// Profiles in the encodings Windows programs leave behind, read and written
// through the file calls. The expected bytes are what the platform's own
// functions gave on the same files, except where its bytes would not read
// back as written (a '?' for a character its code page lacks, Windows-1252
// bytes that happen to form UTF-8): such values stay UTF-8.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "case_name.h"
#include "tarnex/services/profile.h"
#include "tests/support/temp_dir.h"

namespace {

using brevio::testing::ReadFile;
using brevio::testing::TempDir;

// The UTF-16 file bytes, mark first, of `text`.
std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out;
  for (const char16_t unit : std::u16string(1, u'\ufeff') + std::u16string(text)) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  }
  return out;
}
std::string Utf16Le(std::u16string_view text) { return Utf16(text, false); }
std::string Utf16Be(std::u16string_view text) { return Utf16(text, true); }

const std::string kUtf8Mark = "\xef\xbb\xbf";

struct EncodingCase {
  const char* what;
  std::string before;                // file bytes
  const char* key;                   // in section "S"
  std::optional<std::string> value;  // written when set, else the key is read
  std::string expected;              // value read (UTF-8) or file bytes after
};

class ProfileEncodingTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(ProfileEncodingTest, ReadsAndWritesInTheFilesOwnEncoding) {
  const EncodingCase& c = GetParam();
  TempDir dir;
  const std::string file = dir.write("p.ini", c.before).string();
  if (c.value) {
    ASSERT_TRUE(tarnex::WriteProfileEntry("S", std::string(c.key), c.value, file)) << c.what;
    EXPECT_EQ(ReadFile(file), c.expected) << c.what;
  } else {
    EXPECT_EQ(tarnex::ReadProfileEntry("S", c.key, "<missing>", file, 2047), c.expected) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileEncodingTest,
    testing::Values(
        EncodingCase{"UTF-16 read", Utf16Le(u"[S]\r\nk=caf\u00e9\r\n"), "k", std::nullopt,
                     "caf\xc3\xa9"},
        EncodingCase{"UTF-16 new key", Utf16Le(u"[S]\r\nk=caf\u00e9\r\n[T]\r\n"), "n", "v",
                     Utf16Le(u"[S]\r\nk=caf\u00e9\r\nn=v\r\n[T]\r\n")},
        EncodingCase{"UTF-16 modify key", Utf16Le(u"[S]\r\nk=caf\u00e9\r\nx=1\r\n"), "k",
                     "th\xc3\xa9 \xf0\x9f\x98\x80",
                     Utf16Le(u"[S]\r\nk=th\u00e9 \U0001F600\r\nx=1\r\n")},
        EncodingCase{"UTF-16 mark alone", "\xff\xfe", "k", "v", Utf16Le(u"[S]\r\nk=v\r\n")},
        EncodingCase{"UTF-16 big-endian new key", Utf16Be(u"[S]\r\nk=\u017d\r\n"), "n", "v",
                     Utf16Be(u"[S]\r\nk=\u017d\r\nn=v\r\n")},
        EncodingCase{"UTF-8 mark read first section", kUtf8Mark + "[S]\r\nk=1\r\n", "k",
                     std::nullopt, "1"},
        EncodingCase{"UTF-8 mark write into first section", kUtf8Mark + "[S]\r\nk=1\r\n", "n",
                     "\xc3\xa9", kUtf8Mark + "[S]\r\nk=1\r\nn=\xc3\xa9\r\n"},
        EncodingCase{"Windows-1252 read", "[S]\r\nk=caf\xe9\r\n", "k", std::nullopt, "caf\xc3\xa9"},
        EncodingCase{"Windows-1252 undefined byte read", "[S]\r\nk=\x81\x80\r\n", "k", std::nullopt,
                     "\xc2\x81\xe2\x82\xac"},
        EncodingCase{"Windows-1252 other key leaves bytes", "[S]\r\nk=caf\xe9\r\n", "n", "v",
                     "[S]\r\nk=caf\xe9\r\nn=v\r\n"},
        EncodingCase{"Windows-1252 file takes its code page", "[S]\r\nk=caf\xe9\r\n", "n",
                     "th\xc3\xa9 \xe2\x82\xac", "[S]\r\nk=caf\xe9\r\nn=th\xe9 \x80\r\n"},
        EncodingCase{"Windows-1252 file, character it lacks", "[S]\r\nk=caf\xe9\r\n", "n",
                     "\xe6\x97\xa5", "[S]\r\nk=caf\xe9\r\nn=\xe6\x97\xa5\r\n"},
        EncodingCase{"Windows-1252 bytes that would read as UTF-8", "[S]\r\nk=caf\xe9\r\n", "n",
                     "\xc3\x83\xc2\xa9", "[S]\r\nk=caf\xe9\r\nn=\xc3\x83\xc2\xa9\r\n"},
        EncodingCase{"UTF-8 file keeps UTF-8", "[S]\r\nk=caf\xc3\xa9\r\n", "n", "\xc3\xa9",
                     "[S]\r\nk=caf\xc3\xa9\r\nn=\xc3\xa9\r\n"}),
    tarnex::testing::CaseName());

}  // namespace
