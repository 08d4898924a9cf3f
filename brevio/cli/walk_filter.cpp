#include "walk_filter.h"

#include <algorithm>
#include <iterator>

#include "brevio/engine/file_trim.h"
#include "fileio/path.h"

namespace brevio::cli {

namespace {

constexpr const char* kWebPatterns[] = {"*.htm", "*.html", "*.asp", "*.php"};

// The parts of a path between its separators, empty ones left out.
std::vector<std::string> Parts(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || fileio::IsSeparator(path[i])) {
      if (i > start) parts.emplace_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

WalkFilter::WalkFilter(const CommandLine& line) : includes_(line.includes) {
  for (const std::string& pattern : line.excludes) {
    Exclude exclude;
    std::string_view text = pattern;
    while (!text.empty() && fileio::IsSeparator(text.back())) {
      exclude.folders_only = true;
      text.remove_suffix(1);
    }
    exclude.anchored = !text.empty() && fileio::IsSeparator(text.front());
    exclude.parts = Parts(text);
    // The parser lets no pattern through that names nothing.
    if (!exclude.parts.empty()) excludes_.push_back(std::move(exclude));
  }
}

bool WalkFilter::Excluded(const std::string& name, std::string_view relative, bool folder) const {
  std::vector<std::string> path;  // split only when a pattern needs it
  for (const Exclude& exclude : excludes_) {
    if (exclude.folders_only && !folder) continue;
    if (exclude.parts.size() == 1 && !exclude.anchored) {
      if (MatchesName(exclude.parts[0], name, false)) return true;
      continue;
    }
    if (path.empty()) path = Parts(relative);
    if (path.size() < exclude.parts.size() ||
        (exclude.anchored && path.size() != exclude.parts.size())) {
      continue;
    }
    const std::size_t skip = path.size() - exclude.parts.size();
    bool all = true;
    for (std::size_t i = 0; all && i < exclude.parts.size(); ++i) {
      all = MatchesName(exclude.parts[i], path[skip + i], false);
    }
    if (all) return true;
  }
  return false;
}

bool WalkFilter::TakesFile(const std::string& name, std::string_view relative) const {
  // Another trim's file in the making, whatever the patterns say.
  if (IsTrimTempName(name) || Excluded(name, relative, false)) return false;
  if (includes_.empty()) {
    return std::any_of(std::begin(kWebPatterns), std::end(kWebPatterns),
                       [&](const char* pattern) { return MatchesName(pattern, name, true); });
  }
  return std::any_of(includes_.begin(), includes_.end(),
                     [&](const std::string& pattern) { return MatchesName(pattern, name, false); });
}

bool WalkFilter::EntersFolder(const std::string& name, std::string_view relative) const {
  return !Excluded(name, relative, true);
}

}  // namespace brevio::cli
