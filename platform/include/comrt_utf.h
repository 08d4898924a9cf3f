// C++ helpers over the component runtime: UTF-8 <-> UTF-16 conversion, text
// for identifiers and failures, calling a server file's exports. The owning
// string and interface pointer over them are in <comrt_owners.h>.
#pragma once

#include <comrt_api.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace comrt {

// UTF-16 -> UTF-8. A lone surrogate becomes U+FFFD; embedded NULs are kept.
std::string ToUtf8(const OLECHAR* s, std::size_t len);
// A null BSTR gives the empty string.
std::string ToUtf8(BSTR s);
// UTF-8 -> UTF-16. Malformed bytes become U+FFFD each; embedded NULs are kept.
std::u16string ToUtf16(std::string_view utf8);
// A new BSTR holding the text; nullptr only when memory runs out.
BSTR BstrFromUtf8(std::string_view s);
// A new BSTR (never null unless memory runs out) holding the UTF-16 text.
BSTR BstrFromUtf16(std::u16string_view s);
// The text of a BSTR as a view (empty for null).
std::u16string_view View(BSTR s);

// Identifiers as text: the braced form, hex digits of either case on input,
// upper case on output (38 characters).
bool ParseGuid(std::u16string_view s, GUID& out);
std::string GuidToString(REFGUID g);

// The failure in plain words, e.g. "the class is not registered (0x80040154)".
std::string DescribeHResult(HRESULT hr);
// Why the last CoCreateInstance / CoGetClassObject on this thread failed, with
// the class id and the server file where known; empty after a success.
std::string LastCreateError();

// How far CallServerExport got.
enum class ServerStep { kLoad, kFindEntry, kCall };
struct ServerCall {
  ServerStep step = ServerStep::kLoad;  // the step that failed, or kCall once the export ran
  HRESULT hr = E_FAIL;                  // the export's answer; a failure code when it never ran
  std::string why;                      // why loading failed, in the loader's words
};

// Loads the in-process server file `path` and calls `entry`, one of its
// exports that take nothing (DllRegisterServer, DllUnregisterServer), inside
// an apartment entered for the call. The file stays loaded for the rest of the
// process, as every server file the runtime loads does.
ServerCall CallServerExport(const std::string& path, const char* entry);

}  // namespace comrt
