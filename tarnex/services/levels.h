#pragma once
// How MakeDirLevels goes through a folder path on every system: the pieces
// between separators, blank ones dropped, each level in turn from the top.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace tarnex {

// Calls ensure on each level of dir: root ("" for a relative path) followed
// by the pieces so far, each with sep after it. The first `given` levels are
// taken as they are (a share's server and name). False as soon as ensure is.
inline bool EnsureLevels(std::string_view dir, char sep, std::string root, int given,
                         bool (*ensure)(const std::string& level)) {
  std::string running = std::move(root);
  std::size_t start = 0;
  while (start < dir.size()) {
    const std::size_t found = dir.find(sep, start);
    const std::size_t end = found == std::string_view::npos ? dir.size() : found;
    const std::string_view piece = dir.substr(start, end - start);
    start = end + 1;
    if (piece.find_first_not_of(' ') == std::string_view::npos) continue;  // blank pieces
    running.append(piece) += sep;
    if (given > 0) {
      --given;
      continue;
    }
    if (!ensure(running)) return false;
  }
  return true;
}

}  // namespace tarnex
