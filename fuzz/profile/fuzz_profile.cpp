// The profile reader and writer on arbitrary file bytes: a save, a load and a
// delete never crash, a saved value reads back, and what an edit did not
// concern comes back byte for byte. The file's encoding survives decoding and
// encoding back, and a value stored in an 8-bit file reads back as given.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tarnex/services/profile.h"
#include "tarnex/services/profile_encoding.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "profile check failed: %s\n", what);
    std::abort();
  }
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Names from a small set, so that they often meet the sections and keys
  // the fuzzer has written into the text; letter case varies too.
  const std::string section = std::string(data[0] & 1 ? "S" : "s") + char('0' + (data[0] >> 1) % 3);
  const std::string key = std::string(data[1] & 1 ? "K" : "k") + char('0' + (data[1] >> 1) % 3);
  const std::string original(reinterpret_cast<const char*>(data + 2), size - 2);

  tarnex::ProfileText text(original);
  (void)text.Find(section, key);

  {
    tarnex::DecodedProfile decoded = tarnex::DecodeProfile(original);
    Check(tarnex::EncodeProfile(decoded) == original, "decode then encode gives the bytes back");
    tarnex::ProfileText edited(decoded.text);
    edited.Set(section, key, "saved \xc3\xa9 \xf0\x9f\x98\x80");
    decoded.text = edited.bytes();
    const tarnex::DecodedProfile again = tarnex::DecodeProfile(tarnex::EncodeProfile(decoded));
    Check(tarnex::ProfileText(again.text).Find(section, key) == "saved \xc3\xa9 \xf0\x9f\x98\x80",
          "a value saved in the file's encoding reads back");
  }
  {
    // The text as a value: whatever the file holds, a UTF-8 value stored in
    // it comes back unchanged.
    const std::string value = tarnex::ValueToUtf8(original);
    Check(tarnex::IsUtf8(value), "values read are UTF-8");
    Check(tarnex::ValueToUtf8(tarnex::EightBitValue(original, value)) == value,
          "an 8-bit value reads back");
  }

  // A section that cannot be in the text: adding it and deleting it again
  // gives the original back, with a line end (in the file's own style) added
  // where the last line had none.
  {
    tarnex::ProfileText added(original);
    added.Set("fuzz-new-section", "key", "value");
    Check(added.Find("fuzz-new-section", "key") == "value", "new section reads back");
    Check(StartsWith(added.bytes(), original), "adding a section keeps the text before it");
    Check(added.DeleteSection("fuzz-new-section"), "new section deleted");
    const std::string& back = added.bytes();
    Check(back == original || back == original + "\r\n" || back == original + "\n" ||
              back == original + "\r",
          "add then delete gives the original");
  }

  // Deleting what is not there changes nothing.
  {
    tarnex::ProfileText untouched(original);
    if (!untouched.DeleteKey("fuzz-missing", "key")) {
      Check(untouched.bytes() == original, "missing key delete changes nothing");
    }
  }

  text.Set(section, key, "saved value");
  Check(text.Find(section, key) == "saved value", "saved value reads back");
  text.Set(section, key, "other");
  Check(text.Find(section, key) == "other", "replaced value reads back");
  (void)text.DeleteKey(section, key);
  (void)text.Find(section, key);
  (void)text.DeleteSection(section);
  (void)text.Find(section, key);
  return 0;
}
