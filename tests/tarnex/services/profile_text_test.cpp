#include <gtest/gtest.h>

#include <optional>

#include "case_name.h"
#include "tarnex/services/profile.h"

namespace {

using tarnex::ProfileText;

struct FindCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> value;
};

class ProfileFindTest : public testing::TestWithParam<FindCase> {};

TEST_P(ProfileFindTest, ReadsLikeThePlatform) {
  const FindCase& c = GetParam();
  EXPECT_EQ(ProfileText(c.text).Find(c.section, c.key), c.value) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileFindTest,
    testing::Values(
        FindCase{"plain", "[A]\r\nk=v\r\n", "A", "k", "v"},
        FindCase{"names ignore case", "[Opt]\r\nWidth=1\r\n", "oPT", "wIDTH", "1"},
        FindCase{"blanks around everything", " \t[ A ] junk\n \vk \t= v w \t\n", "A", "k", "v w"},
        FindCase{"argument spaces", "[A]\nk=v\n", "  A ", " k  ", "v"},
        FindCase{"argument tab is part of the name", "[A]\nk=v\n", "A\t", "k", std::nullopt},
        FindCase{"LF ends", "[A]\nx=1\nk=2\n", "A", "k", "2"},
        FindCase{"CR ends", "[A]\rx=1\rk=2\r", "A", "k", "2"},
        FindCase{"no final line end", "[A]\r\nk=2", "A", "k", "2"},
        FindCase{"comment never matched", "[A]\n;k=1\n", "A", ";k", std::nullopt},
        FindCase{"comment skipped", "[A]\n ;k=1\nk=2\n", "A", "k", "2"},
        FindCase{"hash is no comment", "[A]\n#x=1\n", "A", "#x", "1"},
        FindCase{"semicolon inside value", "[A]\nk=a;b\n", "A", "k", "a;b"},
        FindCase{"first duplicate key", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        FindCase{"first duplicate section", "[A]\nx=1\n[B]\n[a]\nk=2\n", "A", "k", std::nullopt},
        FindCase{"before any section", "k=1\n[A]\n", "", "k", std::nullopt},
        FindCase{"name ends at first bracket", "[A]B]\nk=1\n", "A", "k", "1"},
        FindCase{"unclosed section", "[A B\nk=1\n", "A B", "k", "1"},
        FindCase{"empty value", "[A]\nk=\n", "A", "k", ""},
        FindCase{"no equals", "[A]\nk\n", "A", "k", std::nullopt},
        FindCase{"other section's key", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
        FindCase{"double quotes", "[A]\nk= \" a \" \n", "A", "k", " a "},
        FindCase{"single quotes", "[A]\nk='x'\n", "A", "k", "x"},
        FindCase{"mismatched quotes", "[A]\nk=\"x'\n", "A", "k", "\"x'"},
        FindCase{"one quote", "[A]\nk=\"\n", "A", "k", "\""},
        FindCase{"only outer pair", "[A]\nk=\"\"x\"\"\n", "A", "k", "\"x\""},
        FindCase{"equals in value", "[A]\nk=a=b\n", "A", "k", "a=b"},
        FindCase{"8-bit bytes", "[\xe9t\xe9]\n\xff=\xfe\x80\n", "\xe9t\xe9", "\xff", "\xfe\x80"}),
    tarnex::testing::CaseName());

enum class Op { kSet, kDeleteKey, kDeleteSection };

struct EditCase {
  const char* what;
  std::string before;
  Op op;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

class ProfileEditTest : public testing::TestWithParam<EditCase> {};

TEST_P(ProfileEditTest, ChangesOnlyItsLines) {
  const EditCase& c = GetParam();
  ProfileText text(c.before);
  switch (c.op) {
    case Op::kSet:
      text.Set(c.section, c.key, c.value);
      break;
    case Op::kDeleteKey:
      text.DeleteKey(c.section, c.key);
      break;
    case Op::kDeleteSection:
      text.DeleteSection(c.section);
      break;
  }
  EXPECT_EQ(text.bytes(), c.after) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileEditTest,
    testing::Values(
        EditCase{"new file", "", Op::kSet, "App", "key", "value", "[App]\r\nkey=value\r\n"},
        EditCase{"arguments lose their spaces", "", Op::kSet, " App ", " key ", " v ",
                 "[App]\r\nkey= v \r\n"},
        EditCase{"replace keeps the name's casing", "[A]\r\n  WIDTH = 1 \r\nx=2\r\n", Op::kSet, "a",
                 "width", "640", "[A]\r\nWIDTH=640\r\nx=2\r\n"},
        EditCase{"replace the first duplicate only", "[A]\nk=1\nk=2\n", Op::kSet, "A", "k", "3",
                 "[A]\nk=3\nk=2\n"},
        EditCase{"new key after the last key", "[A]\r\nx=1\r\n; note\r\n\r\n[B]\r\n", Op::kSet, "A",
                 "k", "v", "[A]\r\nx=1\r\nk=v\r\n; note\r\n\r\n[B]\r\n"},
        EditCase{"new key in an empty section", "[A]\n\n[B]\n", Op::kSet, "A", "k", "v",
                 "[A]\nk=v\n\n[B]\n"},
        EditCase{"new key after an unterminated last line", "[A]\nx=1", Op::kSet, "A", "k", "v",
                 "[A]\nx=1\nk=v\n"},
        EditCase{"new section at the end", "; top\r\n[A]\r\nx=1\r\n", Op::kSet, "B", "k", "v",
                 "; top\r\n[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        EditCase{"new section keeps LF style", "[A]\nx=1\n", Op::kSet, "B", "k", "v",
                 "[A]\nx=1\n[B]\nk=v\n"},
        EditCase{"new section keeps CR style", "[A]\rx=1\r", Op::kSet, "B", "k", "v",
                 "[A]\rx=1\r[B]\rk=v\r"},
        EditCase{"new section after an unterminated line", "[A]\r\nx=1", Op::kSet, "B", "k", "v",
                 "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        EditCase{"comment key is not replaced", "[A]\n;k=1\n", Op::kSet, "A", ";k", "2",
                 "[A]\n;k=2\n;k=1\n"},
        EditCase{"delete a key", "[A]\r\nx=1\r\nk=2\r\ny=3\r\n", Op::kDeleteKey, "A", "K", nullptr,
                 "[A]\r\nx=1\r\ny=3\r\n"},
        EditCase{"delete the last key keeps the header", "[A]\nk=2\n[B]\n", Op::kDeleteKey, "A",
                 "k", nullptr, "[A]\n[B]\n"},
        EditCase{"delete a missing key", "[A]\nx=1\n", Op::kDeleteKey, "A", "k", nullptr,
                 "[A]\nx=1\n"},
        EditCase{"delete in the first duplicate section", "[A]\n[B]\n[A]\nk=1\n", Op::kDeleteKey,
                 "A", "k", nullptr, "[A]\n[B]\n[A]\nk=1\n"},
        EditCase{"delete a section keeps comments and blanks",
                 "[Z]\nz=0\n[A]\nx=1\n; c\n\ny\n[B]\nb=1\n", Op::kDeleteSection, "a", nullptr,
                 nullptr, "[Z]\nz=0\n; c\n\n[B]\nb=1\n"},
        EditCase{"delete the last section", "[A]\r\nx=1\r\n[B]\r\nb=1", Op::kDeleteSection, "B",
                 nullptr, nullptr, "[A]\r\nx=1\r\n"},
        EditCase{"delete a missing section", "[A]\nx=1\n", Op::kDeleteSection, "B", nullptr,
                 nullptr, "[A]\nx=1\n"},
        EditCase{"foreign bytes kept", "\xef\xbb\xbf; \xff\xfe\r\n[A]\n\xc3(=1\r", Op::kSet, "A",
                 "k", "\xe2\x82\xac", "\xef\xbb\xbf; \xff\xfe\r\n[A]\n\xc3(=1\rk=\xe2\x82\xac\r"}),
    tarnex::testing::CaseName());

}  // namespace
