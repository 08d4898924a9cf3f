// Automation strings and UTF-8 <-> UTF-16 conversion.
#include <comrt.h>
#include <comrt_text.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The block starts at the 4-byte length; the BSTR points just past it. The
// C library's malloc owns it, so any module's SysFreeString can release it.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR AllocBytes(std::size_t bytes) {
  if (bytes > std::numeric_limits<std::uint32_t>::max() - kPrefix - sizeof(OLECHAR)) {
    return nullptr;
  }
  // Round the terminator up so an odd byte length still ends in a full 16-bit NUL.
  std::size_t total = kPrefix + bytes + sizeof(OLECHAR) + (bytes & 1);
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  std::uint32_t len = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &len, kPrefix);
  std::memset(block + kPrefix + bytes, 0, total - kPrefix - bytes);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

std::uint32_t ByteLen(BSTR s) {
  std::uint32_t len;
  std::memcpy(&len, reinterpret_cast<const unsigned char*>(s) - kPrefix, kPrefix);
  return len;
}

std::size_t Length16(const OLECHAR* s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

using comrt::utf8::Append;

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) noexcept {
  if (ui > (std::numeric_limits<std::uint32_t>::max() - 8) / sizeof(OLECHAR)) return nullptr;
  BSTR b = AllocBytes(std::size_t{ui} * sizeof(OLECHAR));
  if (b && strIn) std::memcpy(b, strIn, std::size_t{ui} * sizeof(OLECHAR));
  return b;
}

BSTR SysAllocString(const OLECHAR* psz) noexcept {
  if (!psz) return nullptr;
  std::size_t n = Length16(psz);
  if (n > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(n));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) noexcept {
  BSTR b = AllocBytes(len);
  if (b && psz) std::memcpy(b, psz, len);
  return b;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) noexcept {
  if (!pbstr) return FALSE;
  BSTR b = SysAllocStringLen(psz, len);
  if (!b) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = b;
  return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) noexcept {
  if (!pbstr) return FALSE;
  if (!psz) {
    SysFreeString(*pbstr);
    *pbstr = nullptr;
    return TRUE;
  }
  return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(Length16(psz)));
}

void SysFreeString(BSTR bstrString) noexcept {
  if (!bstrString) return;
  std::free(reinterpret_cast<unsigned char*>(bstrString) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) noexcept { return bstr ? ByteLen(bstr) : 0; }

UINT SysStringLen(BSTR pbstr) noexcept { return pbstr ? ByteLen(pbstr) / sizeof(OLECHAR) : 0; }

}  // extern "C"

namespace comrt {

std::string ToUtf8(const OLECHAR* s, std::size_t len) {
  std::string out;
  out.reserve(len);
  for (std::size_t i = 0; i < len; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < len && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    Append(out, c);
  }
  return out;
}

std::string ToUtf8(BSTR s) { return s ? ToUtf8(s, SysStringLen(s)) : std::string(); }

std::u16string ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char b = p[i];
    char32_t c;
    std::size_t extra;
    char32_t min;
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F, extra = 1, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F, extra = 2, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, extra = 3, min = 0x10000;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k <= extra && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
      c = (c << 6) | (p[i + k] & 0x3F);
    if (k <= extra || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      // Truncated, overlong or out of range: one replacement for the lead byte.
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += k;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

BSTR BstrFromUtf16(std::u16string_view s) {
  if (s.size() > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

BSTR BstrFromUtf8(std::string_view s) {
  try {
    return BstrFromUtf16(ToUtf16(s));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::u16string_view View(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}

}  // namespace comrt
