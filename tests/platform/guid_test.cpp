// Identifiers as text.
#include <comrt.h>
#include <gtest/gtest.h>

namespace {

constexpr GUID kSample = {
    0x6B052344, 0x3CBC, 0x46B7, {0xB6, 0xE3, 0xE3, 0x78, 0x92, 0x5A, 0x60, 0xC2}};

TEST(Guid, FormatsUpperCaseWithBraces) {
  OLECHAR buf[39];
  ASSERT_EQ(StringFromGUID2(kSample, buf, 39), 39);
  EXPECT_EQ(std::u16string_view(buf), u"{6B052344-3CBC-46B7-B6E3-E378925A60C2}");
  EXPECT_EQ(StringFromGUID2(kSample, buf, 38), 0);  // no room for the NUL
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buf, 39), 39);
  EXPECT_EQ(std::u16string_view(buf), u"{00020400-0000-0000-C000-000000000046}");
}

struct Parse {
  const char* name;
  const char16_t* text;
  HRESULT hr;
};

class ClsidFromString : public ::testing::TestWithParam<Parse> {};

TEST_P(ClsidFromString, AcceptsOnlyTheBracedForm) {
  CLSID id = kSample;
  HRESULT hr = CLSIDFromString(GetParam().text, &id);
  EXPECT_EQ(hr, GetParam().hr);
  if (SUCCEEDED(hr)) {
    EXPECT_EQ(id, kSample);
  } else {
    EXPECT_EQ(id, CLSID_NULL);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClsidFromString,
    ::testing::Values(
        Parse{"upper", u"{6B052344-3CBC-46B7-B6E3-E378925A60C2}", S_OK},
        Parse{"lower", u"{6b052344-3cbc-46b7-b6e3-e378925a60c2}", S_OK},
        Parse{"no_braces", u"{6B052344-3CBC-46B7-B6E3-E378925A60C2", CO_E_CLASSSTRING},
        Parse{"bad_digit", u"{6B05234G-3CBC-46B7-B6E3-E378925A60C2}", CO_E_CLASSSTRING},
        Parse{"dash_moved", u"{6B052344-3CBC46-B7-B6E3-E378925A60C2}", CO_E_CLASSSTRING},
        Parse{"too_long", u"{6B052344-3CBC-46B7-B6E3-E378925A60C2}}", CO_E_CLASSSTRING}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Guid, EqualityLooksAtEveryByte) {
  GUID g = kSample;
  EXPECT_TRUE(g == kSample);
  g.Data4[7] ^= 1;
  EXPECT_FALSE(IsEqualGUID(g, kSample));
  EXPECT_FALSE(IID_IUnknown == IID_IClassFactory);
}

}  // namespace
