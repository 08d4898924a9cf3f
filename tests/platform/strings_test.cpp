// Automation strings: the memory layout other modules rely on, and UTF-8 <-> UTF-16.
#include <comrt.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(Bstr, LayoutIsLengthPrefixedAndNulTerminated) {
  const char16_t text[] = u"a\0b\u00e9";  // embedded NUL survives
  BSTR b = SysAllocStringLen(text, 4);
  ASSERT_NE(b, nullptr);
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(bytes, 8u);
  EXPECT_EQ(SysStringLen(b), 4u);
  EXPECT_EQ(SysStringByteLen(b), 8u);
  EXPECT_EQ(b[4], u'\0');
  EXPECT_EQ(std::u16string_view(b, 4), std::u16string_view(text, 4));
  // The block starts at the prefix and belongs to the C library's allocator.
  void* block = reinterpret_cast<char*>(b) - 4;
  std::free(block);
}

TEST(Bstr, NullAndEmptyFollowTheRules) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  SysFreeString(empty);
  BSTR uninit = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(uninit, nullptr);
  EXPECT_EQ(SysStringLen(uninit), 3u);
  EXPECT_EQ(uninit[3], 0);
  SysFreeString(uninit);
}

TEST(Bstr, OddByteLengthStillEndsInAFullNul) {
  BSTR b = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(reinterpret_cast<char*>(b)[3], 0);
  EXPECT_EQ(reinterpret_cast<char*>(b)[4], 0);
  SysFreeString(b);
}

TEST(Bstr, HugeLengthFailsInsteadOfOverflowing) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFEu), nullptr);
}

TEST(Bstr, ReAllocReplacesAndFrees) {
  BSTR b = SysAllocString(u"old");
  ASSERT_TRUE(SysReAllocString(&b, u"newer"));
  EXPECT_EQ(comrt::View(b), u"newer");
  ASSERT_TRUE(SysReAllocStringLen(&b, u"xyz", 2));
  EXPECT_EQ(comrt::View(b), u"xy");
  SysFreeString(b);
}

struct Utf {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

class UtfRoundTrip : public ::testing::TestWithParam<Utf> {};

TEST_P(UtfRoundTrip, BothDirectionsAndThroughABstr) {
  const Utf& c = GetParam();
  EXPECT_EQ(comrt::ToUtf16(c.utf8), c.utf16);
  EXPECT_EQ(comrt::ToUtf8(c.utf16.data(), c.utf16.size()), c.utf8);
  BSTR b = comrt::BstrFromUtf8(c.utf8);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(comrt::View(b), c.utf16);
  EXPECT_EQ(comrt::ToUtf8(b), c.utf8);
  SysFreeString(b);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UtfRoundTrip,
    ::testing::Values(Utf{"empty", "", u""}, Utf{"ascii", "/web/index.htm", u"/web/index.htm"},
                      Utf{"latin1", "\xC3\x84SP caf\xC3\xA9", u"\u00C4SP caf\u00E9"},
                      Utf{"bmp", "\xE2\x82\xAC\xE6\x97\xA5", u"\u20AC\u65E5"},
                      Utf{"surrogate_pair", "a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
                      Utf{"last_plane", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                      Utf{"embedded_nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

struct Malformed {
  const char* name;
  std::string utf8;
  std::u16string expected;
};

class MalformedUtf8 : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedUtf8, BecomesReplacementCharacters) {
  EXPECT_EQ(comrt::ToUtf16(GetParam().utf8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, MalformedUtf8,
    ::testing::Values(Malformed{"lone_continuation", "a\x80z", u"a\uFFFDz"},
                      Malformed{"truncated", "a\xE2\x82", u"a\uFFFD\uFFFD"},
                      Malformed{"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      Malformed{"overlong3", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
                      Malformed{"encoded_surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Malformed{"beyond_unicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      Malformed{"latin1_byte", "caf\xE9", u"caf\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
  const char16_t lone_high[] = {u'a', 0xD83D, u'b'};
  const char16_t lone_low[] = {0xDE00};
  const char16_t high_at_end[] = {u'x', 0xD83D};
  EXPECT_EQ(comrt::ToUtf8(lone_high, 3),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(comrt::ToUtf8(lone_low, 1), "\xEF\xBF\xBD");
  EXPECT_EQ(comrt::ToUtf8(high_at_end, 2), "x\xEF\xBF\xBD");
  EXPECT_EQ(comrt::ToUtf8(BSTR{nullptr}), "");
}

TEST(BstrOwner, OwnsCopiesAndHandsOver) {
  comrt::Bstr a(u"h\u00e9llo");
  comrt::Bstr copy = a;
  EXPECT_NE(copy.get(), a.get());
  EXPECT_EQ(copy.view(), a.view());
  EXPECT_EQ(copy.utf8(), "h\xC3\xA9llo");
  comrt::Bstr moved = std::move(copy);
  EXPECT_EQ(
      copy.get(),
      nullptr);  // NOLINT(bugprone-use-after-move): the moved-from state is part of the contract
  BSTR raw = moved.release();
  EXPECT_EQ(moved.get(), nullptr);
  BSTR* slot = moved.out();
  *slot = raw;  // as a callee filling a result parameter would
  EXPECT_EQ(moved.u16(), u"h\u00e9llo");
  EXPECT_EQ(comrt::Bstr::FromUtf8("\xF0\x9F\x98\x80").length(), 2u);
  EXPECT_TRUE(comrt::Bstr().empty());
}

}  // namespace
