// Identifiers as text: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#include <comrt.h>

#include <cstdio>

namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

namespace comrt {

bool ParseGuid(std::u16string_view s, GUID& out) {
  // Positions of the hex digit pairs in "{00112233-4455-6677-8899-AABBCCDDEEFF}"
  if (s.size() != 38 || s[0] != u'{' || s[37] != u'}' || s[9] != u'-' || s[14] != u'-' ||
      s[19] != u'-' || s[24] != u'-') {
    return false;
  }
  static constexpr int kPairs[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
  std::uint8_t b[16];
  for (int i = 0; i < 16; ++i) {
    int hi = HexValue(s[kPairs[i]]), lo = HexValue(s[kPairs[i] + 1]);
    if (hi < 0 || lo < 0) return false;
    b[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  out.Data1 =
      (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
  out.Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
  out.Data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
  for (int i = 0; i < 8; ++i) out.Data4[i] = b[8 + i];
  return true;
}

namespace {

// The braced form, 38 characters and a NUL; nothing allocated, so the C entry
// points can use it without a way to fail.
using GuidText = char[40];
int FormatGuid(REFGUID g, GuidText& buf) {
  return std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                       static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                       g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

}  // namespace

std::string GuidToString(REFGUID g) {
  GuidText buf;
  FormatGuid(g, buf);
  return buf;
}

}  // namespace comrt

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) noexcept {
  comrt::GuidText text;
  const int n = comrt::FormatGuid(rguid, text);
  if (!lpsz || cchMax < n + 1) return 0;
  for (int i = 0; i <= n; ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
  return n + 1;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) noexcept {
  if (!lpiid) return E_INVALIDARG;
  if (!lpsz) {
    *lpiid = IID_NULL;
    return S_OK;
  }
  if (!comrt::ParseGuid(lpsz, *lpiid)) {
    *lpiid = IID_NULL;
    return E_INVALIDARG;
  }
  return S_OK;
}

}  // extern "C"
