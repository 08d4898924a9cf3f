#pragma once
// Regions of a page that the cleaner leaves as they are (--protect).
//
// A scan from the start of the file finds them; it knows no document tree
// and looks back at nothing, so it runs in constant memory on input cut
// anywhere:
//
// - Comment: "<!--" up to the next "-->". Inside it no tag starts.
// - Server block: "<?" up to the next "?>", "<%" up to the next "%>". Found
//   everywhere (text, comments, tags, quoted values, element content) except
//   inside an off region; nothing in it ends what lies around it.
// - Tag: "<" or "</" followed by an ASCII letter, or "<!" not followed by
//   "--"; it ends at the next ">" that is not inside a quoted value. Any
//   other "<" is text.
// - Quoted value: inside a tag, a '"' or '\'' up to the next same quote,
//   both quotes included.
// - Element: a start tag named script, style or textarea (and pre, when pre
//   is protected), in any case, with the name followed by a space, tab, CR,
//   LF, "/" or ">". After its ">" the content is raw: it ends only at "</",
//   the same name in any case, any spaces, tabs, CRs and LFs, and ">". The
//   element runs from the "<" of its start tag to that ">".
// - Off region: after a comment whose text, with spaces, tabs, CRs and LFs
//   at both ends removed, is "brevio:off", up to and including the next
//   comment reading "brevio:on" in the same way. Nothing else is found in it.
//
// A region is protected when its kind is in the set (off regions always);
// a byte is kept as it is when it lies in a protected region, also one
// nested in an unprotected one. Every other byte is cleaned by the rule, to
// which each protected stretch is one word of text: spaces before it on its
// line go or shrink to one, spaces after it likewise, and the line it ends
// on ends as every line does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "brevio/engine/stream_cleaner.h"

namespace brevio {

// Region kinds, as bits of a set; 0 is the rule alone.
enum ProtectKind : std::uint8_t {
  kProtectPre = 1,
  kProtectTextarea = 2,
  kProtectScript = 4,
  kProtectStyle = 8,
  kProtectAttributes = 16,
  kProtectServer = 32,
  kProtectAll = 63,
};
using ProtectSet = std::uint8_t;

// "pre,script" and the like: the names above in lower case and "all",
// separated by commas. On an unknown or empty name, nothing comes back and
// bad_name holds it.
std::optional<ProtectSet> ParseProtectList(std::string_view list, std::string& bad_name);

// The set as a list ParseProtectList reads back ("all" for every kind).
std::string ProtectListText(ProtectSet set);

namespace detail {

// Where the markup scan is; see ProtectingCleaner.
struct MarkupState {
  std::uint8_t kind = 0;        // what the scan is in (protect.cpp)
  std::uint8_t element = 0;     // the element a start tag opens or content belongs to
  std::uint8_t quote = 0;       // the quote that ends a quoted value
  std::uint8_t match = 0;       // progress through the text being looked for
  std::uint8_t comment = 0;     // progress of a comment's text against a marker
  std::uint8_t dashes = 0;      // dashes in a row in a comment
  std::uint8_t outer = 0;       // inside a server block: the kind it interrupts
  std::uint8_t server_end = 0;  // '?' or '%': the byte before the ">" that ends it
  bool lt = false;              // the byte before was a "<"
  std::uint8_t name_len = 0;    // letters of a start tag's name so far
  char name[8] = {};
};

}  // namespace detail

// The whole-file cleaner with protected regions: the markup scan decides
// which bytes the cleaner sees and which pass as they are. Splitting the
// input anywhere gives the same output as feeding it whole. With the empty
// set it is FileStreamCleaner exactly.
class ProtectingCleaner {
 public:
  // Most bytes one feed of n bytes writes: never more than the cleaner's.
  static constexpr std::size_t MaxOutput(std::size_t n) { return FileStreamCleaner::MaxOutput(n); }
  static constexpr std::size_t kMaxFinishOutput = FileStreamCleaner::kMaxFinishOutput;

  explicit ProtectingCleaner(ProtectSet set, LineEnd line_end = LineEnd::kCrLf)
      : set_(set), cleaner_(line_end) {}
  ProtectSet set() const { return set_; }

  template <class Sink>
  void feed(std::string_view chunk, Sink& sink);
  template <class Sink>
  void finish(Sink& sink);

 private:
  ProtectSet set_;
  FileStreamCleaner cleaner_;
  detail::MarkupState markup_;
};

}  // namespace brevio
