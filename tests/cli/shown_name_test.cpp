#include "brevio/cli/shown_name.h"

#include <gtest/gtest.h>

#include <string>

namespace brevio::cli {
namespace {

// cmd's quoting, which brevio-trim.exe prints names in: double quotes only
// where cmd needs them; a backslash is no reason.
TEST(CmdQuoted, QuotesOnlyWhatCmdWouldMisread) {
  struct Row {
    const char* name;
    bool always;
    const char* shown;
  };
  const Row rows[] = {
      {"page.htm", false, "page.htm"},
      {"C:\\www\\sub\\x.htm", false, "C:\\www\\sub\\x.htm"},
      {"caf\xC3\xA9.htm", false, "caf\xC3\xA9.htm"},
      {"C:\\a b\\x.htm", false, "\"C:\\a b\\x.htm\""},
      {"a&b.htm", false, "\"a&b.htm\""},
      {"it's(1).htm", false, "\"it's(1).htm\""},
      {"x=1,y.htm", false, "\"x=1,y.htm\""},
      {"", false, "\"\""},
      {"page.htm", true, "\"page.htm\""},
      {"a\"b", false, "\"a\"\"b\""},
      {"a\nb", false, "'a'$'\\n''b'"},
  };
  for (const Row& row : rows) EXPECT_EQ(CmdQuoted(row.name, row.always), row.shown) << row.name;
}

}  // namespace
}  // namespace brevio::cli
