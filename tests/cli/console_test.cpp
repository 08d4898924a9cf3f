#include "brevio/cli/console.h"

#include <gtest/gtest.h>

#include <string>

namespace brevio::cli {
namespace {

// Text for a console arrives in pieces cut anywhere: split at every byte,
// it converts as it does whole.
TEST(ConsoleText, ConvertsUtf8CutAnywhereAsWhole) {
  struct Row {
    const char* utf8;
    std::u16string utf16;
  };
  const Row rows[] = {
      {"a.htm\n", u"a.htm\n"},
      {"\xCE\xA6\xCE\xAC.htm", u"\u03a6\u03ac.htm"},  // two bytes each
      {"\xE6\xBC\xA2\xE5\xAD\x97", u"\u6f22\u5b57"},  // three
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},          // four: a surrogate pair
      {"bad\xFF.htm", u"bad\uFFFD.htm"},              // starts no character
      {"\xCE.htm", u"\uFFFD.htm"},                    // cut short by a plain byte
      {"\xE6\xBC", u"\uFFFD"},                        // cut short by the end
  };
  for (const Row& row : rows) {
    const std::string text = row.utf8;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      ConsoleText console;
      std::u16string out = console.Take(text.substr(0, cut));
      out += console.Take(text.substr(cut));
      out += console.Finish();
      EXPECT_EQ(out, row.utf16) << row.utf8 << " cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace brevio::cli
