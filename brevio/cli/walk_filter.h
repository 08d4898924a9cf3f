#pragma once
// Which entries the -r walks of both systems take: --exclude leaves out
// files and whole folders (a folder left out is never opened), and
// --include picks the files among the rest.

#include <string>
#include <string_view>
#include <vector>

#include "brevio/cli/command_line.h"

namespace brevio::cli {

// A shell pattern (*, ?, [...]) against one name, as this system's walk
// matches names (walk.cpp, walk_win.cpp).
bool MatchesName(const std::string& pattern, const std::string& name, bool fold_case);

class WalkFilter {
 public:
  explicit WalkFilter(const CommandLine& line);

  // name: the entry's name; relative: its path below the walked operand.
  bool TakesFile(const std::string& name, std::string_view relative) const;
  bool EntersFolder(const std::string& name, std::string_view relative) const;

 private:
  // An --exclude pattern, as rsync and tar read one: without a '/' it
  // matches a name at any depth; a trailing '/' limits it to folders; a '/'
  // inside makes it match the last parts of the path below the operand,
  // or the whole of that path when it starts with '/'.
  struct Exclude {
    std::vector<std::string> parts;  // one glob per path part
    bool folders_only = false;
    bool anchored = false;
  };

  bool Excluded(const std::string& name, std::string_view relative, bool folder) const;

  std::vector<std::string> includes_;
  std::vector<Exclude> excludes_;
};

}  // namespace brevio::cli
