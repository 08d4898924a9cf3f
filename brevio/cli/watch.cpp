// The watch as every system runs it: which changes count, how long a file
// must be quiet, what is trimmed and how it is reported. The system's own
// part (notifications, examining files) is behind ChangeFeed and the calls
// declared with it.
#include "watch.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <thread>

#include "brevio/cli/shown_name.h"
#include "brevio/cli/trim_command.h"
#include "brevio/engine/file_trim.h"
#include "fileio/path.h"

namespace brevio::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::string Message(std::string_view text) { return "brevio-trim: " + std::string(text); }

// A watched place: where a folder lies, and the operand it was reached
// from (targets are named below the output folder after the path below
// that root).
struct Place {
  std::string path;
  std::string root;  // the -r operand; empty for the folder of FILE operands
  // FILE operands in this folder, by NameKey of their name: the only files
  // taken there, named as the operand names them.
  std::map<std::string, std::string> operands;
};

// The parts of a relative path.
std::vector<std::string> PartsOf(std::string_view relative) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : relative) {
    if (fileio::IsSeparator(c)) {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

class Watcher {
 public:
  Watcher(const CommandLine& line, std::optional<FileId> output_folder, const WatchHooks& hooks,
          std::ostream& err)
      : line_(line),
        output_folder_(output_folder),
        hooks_(hooks),
        err_(err),
        feed_(hooks.stop, err) {
    ok_ = feed_.ok();
  }

  // Watches every operand: folders with -r (and all below), else the
  // folder each FILE lies in, for its name alone. Trees first, so that a
  // FILE in a tree's top folder shares the tree's watch.
  void WatchOperands() {
    if (!feed_.ok()) return;
    std::vector<bool> tree;
    for (const std::string& operand : line_.operands) {
      tree.push_back(line_.recursive && IsFolderOperand(operand));
      if (tree.back()) WatchTree(operand, operand, true, false);
    }
    for (std::size_t i = 0; i < line_.operands.size(); ++i) {
      if (tree[i]) continue;
      const std::string& operand = line_.operands[i];
      const std::string folder = fileio::FolderOf(operand);
      const std::string where = folder.empty() ? "." : folder;
      if (const int place = AddPlace(where, "", false); place >= 0) {
        places_[place].operands.emplace(NameKey(fileio::NameOf(operand)), operand);
      }
    }
  }

  // Trims the jobs on a worker while this thread waits for the stop;
  // false when any failed.
  bool Trim(const std::vector<BatchJob>& jobs) {
    if (jobs.empty()) return true;
    // Each source is known afterwards as it was when its trim began, or in
    // place as the trim left it: a change that leaves it so (the trim's own
    // write, or a file looked at again after lost changes) starts nothing.
    std::vector<std::optional<FileStamp>> stamps;
    stamps.reserve(jobs.size());
    for (const BatchJob& job : jobs) stamps.push_back(StampOf(job.source));
    const bool ok = TrimOnWorker(jobs);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const std::string& source = jobs[i].source;
      const bool in_place = source == jobs[i].target;
      if (in_place) stamps[i] = StampOf(source);
      // Which copy failed is not known here: all are made again next time.
      if ((ok || in_place) && stamps[i]) {
        seen_[source] = *stamps[i];
      } else {
        seen_.erase(source);
      }
    }
    return ok;
  }

  // Waits for changes and trims them until the stop is raised. Returns
  // whether every trim succeeded.
  bool Loop() {
    bool all_ok = true;
    std::vector<Change> changes;
    while (!stopping_) {
      std::optional<std::chrono::milliseconds> timeout;  // none pending: no end
      if (!pending_.empty()) {
        const auto first =
            std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
              return a.second < b.second;
            })->second;
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(first + hooks_.settle - Clock::now());
        timeout = std::max(std::chrono::milliseconds(0), wait);
      }
      changes.clear();
      if (feed_.Wait(timeout, changes) == ChangeFeed::Woke::kStopped) break;
      for (const Change& change : changes) Take(change);
      if (!TrimSettled()) all_ok = false;
    }
    return all_ok && ok_;
  }

  bool stopping() const { return stopping_; }

 private:
  bool TrimOnWorker(const std::vector<BatchJob>& jobs) {
    const WatchStop done;
    std::atomic<bool> stop{false};
    bool ok = false;
    std::thread worker([&] {
      ok = hooks_.trim(jobs, stop);
      done.Raise();
    });
    if (!feed_.WaitFor(done)) {
      // The files under way finish; no other starts.
      stop = true;
      stopping_ = true;
    }
    worker.join();
    return ok;
  }

  // Watches a folder; -1 when it cannot be had (the feed said why).
  int AddPlace(const std::string& folder, const std::string& root, bool tree) {
    const int id = feed_.Add(folder, tree);
    if (id < 0) {
      ok_ = false;
      return -1;
    }
    // One folder named twice (a tree and a FILE in it) is one watch.
    Place& place = places_[id];
    place.path = folder;
    if (!root.empty()) place.root = root;
    return id;
  }

  bool IsOutputFolder(const std::string& folder) const {
    if (!output_folder_) return false;
    const EntryState state = StateOf(folder);
    return state.kind == EntryKind::kFolder &&
           FileId{state.stamp.device, state.stamp.inode} == *output_folder_;
  }

  // Watches a folder and every folder below it (links are not followed),
  // except the output folder and folders left out: where one watch covers
  // a tree, its top alone. Files already there when found_new is set (a
  // folder made meanwhile, or changes lost) are trimmed.
  void WatchTree(const std::string& folder, const std::string& root, bool top, bool found_new) {
    if (IsOutputFolder(folder)) return;
    const bool covered = ChangeFeed::CoversTrees();
    if ((top || !covered) && AddPlace(folder, root, true) < 0) return;
    if (covered && !found_new) return;
    std::vector<std::string> folders;
    for (const FolderEntry& entry : ListFolder(folder)) {
      const std::string path = fileio::JoinPath(folder, entry.name);
      if (entry.kind == EntryKind::kFolder) {
        if (hooks_.enters_folder(entry.name, Below(root, path))) folders.push_back(path);
      } else if (found_new && entry.kind == EntryKind::kFile && !IsTrimTempName(entry.name) &&
                 hooks_.takes_file(entry.name, Below(root, path))) {
        if (const auto stamp = StampOf(path); !stamp || !Unchanged(path, *stamp)) Pend(path, root);
      }
    }
    for (const std::string& path : folders) WatchTree(path, root, false, found_new);
  }

  static std::optional<FileStamp> StampOf(const std::string& path) {
    const EntryState state = StateOf(path);
    if (state.kind != EntryKind::kFile) return std::nullopt;
    return state.stamp;
  }

  // Whether a file is as its last trim knew it.
  bool Unchanged(const std::string& path, const FileStamp& stamp) const {
    const auto seen = seen_.find(path);
    return seen != seen_.end() && seen->second == stamp;
  }

  void Pend(const std::string& path, const std::string& root) {
    pending_[path] = Clock::now();
    roots_[path] = root;
  }

  // Whether the folders between a tree's watched folder and a changed
  // entry are ones the walk enters, none of them the output folder.
  bool Covered(const Place& place, const std::vector<std::string>& parts) const {
    std::string folder = place.path;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      folder = fileio::JoinPath(folder, parts[i]);
      if (!hooks_.enters_folder(parts[i], Below(place.root, folder)) || IsOutputFolder(folder)) {
        return false;
      }
    }
    return true;
  }

  void Take(const Change& change) {
    if (change.kind == Change::Kind::kLost) {
      err_ << Message("too many changes at once; looking at every watched file again") << '\n';
      Rescan(change.place);
      return;
    }
    const auto found = places_.find(change.place);
    if (found == places_.end()) return;
    if (change.kind == Change::Kind::kPlaceGone) {
      places_.erase(found);
      return;
    }
    const std::vector<std::string> parts = PartsOf(change.relative);
    if (parts.empty()) return;
    const Place& place = found->second;
    const std::string& name = parts.back();
    const auto operand =
        parts.size() == 1 ? place.operands.find(NameKey(name)) : place.operands.end();
    const bool named = operand != place.operands.end();
    if (!named && (place.root.empty() || !Covered(place, parts))) return;
    const std::string path =
        named ? operand->second : fileio::JoinPath(place.path, change.relative);
    const std::string root = named ? std::string() : place.root;
    if (change.kind == Change::Kind::kAppeared && change.folder) {
      // A folder made or moved in below a watched tree: watched from now on,
      // what it holds trimmed.
      if (!named && hooks_.enters_folder(name, Below(root, path))) {
        WatchTree(path, root, false, true);
      }
      return;
    }
    if (IsTrimTempName(name)) return;
    if (!named && !hooks_.takes_file(name, Below(root, path))) return;
    // Saved, replaced, removed or made: what it is is seen once it is quiet.
    Pend(path, root);
  }

  // After lost changes every file watched (of one place, or of all) is
  // looked at again: trees from their tops, and the FILE operands.
  void Rescan(int only) {
    const std::map<int, Place> places = places_;  // WatchTree adds to them
    for (const auto& [id, place] : places) {
      if (only >= 0 && id != only) continue;
      if (!place.root.empty() && place.path == place.root) {
        WatchTree(place.path, place.root, true, true);
      }
      for (const auto& [key, operand] : place.operands) Pend(operand, "");
    }
  }

  // Trims the files quiet long enough; says which are gone.
  bool TrimSettled() {
    const auto now = Clock::now();
    std::vector<BatchJob> jobs;
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (now - it->second < hooks_.settle) {
        ++it;
        continue;
      }
      const std::string path = it->first;
      it = pending_.erase(it);
      const EntryState state = StateOf(path);
      if (state.kind == EntryKind::kMissing) {
        seen_.erase(path);
        if (state.missing_for_sure) {
          err_ << Message(QuoteName(path) + ": removed; its trimmed copy is left as it is") << '\n';
        }
        continue;
      }
      if (state.kind != EntryKind::kFile) continue;
      if (Unchanged(path, state.stamp)) continue;
      jobs.push_back(JobFor(path));
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const BatchJob& a, const BatchJob& b) { return a.source < b.source; });
    return Trim(jobs);
  }

  // The path below a walked operand (the name alone for a FILE operand).
  static std::string Below(const std::string& root, const std::string& path) {
    if (root.empty() || path.size() <= root.size()) return fileio::NameOf(path);
    std::string relative = path.substr(root.size());
    while (!relative.empty() && fileio::IsSeparator(relative.front())) relative.erase(0, 1);
    return relative;
  }

  BatchJob JobFor(const std::string& path) {
    BatchJob job;
    job.source = path;
    // Files met in a tree are not followed through links, as in the walk.
    job.follow_links = roots_[path].empty() || line_.dereference;
    job.target = line_.mode == Mode::kInPlace
                     ? path
                     : fileio::JoinPath(line_.output_dir, Below(roots_[path], path));
    return job;
  }

  const CommandLine& line_;
  std::optional<FileId> output_folder_;
  const WatchHooks& hooks_;
  std::ostream& err_;
  ChangeFeed feed_;
  bool ok_ = true;
  bool stopping_ = false;
  std::map<int, Place> places_;
  std::map<std::string, Clock::time_point> pending_;
  std::map<std::string, std::string> roots_;
  std::map<std::string, FileStamp> seen_;  // each source as its last trim knew it
};

}  // namespace

int RunWatch(const CommandLine& line, std::optional<FileId> output_folder,
             const std::vector<BatchJob>& first, bool first_ok, const WatchHooks& hooks,
             std::ostream& err) {
  Watcher watcher(line, output_folder, hooks, err);
  // Watched before the first run, so that no save during it is missed.
  watcher.WatchOperands();
  bool ok = watcher.Trim(first) && first_ok;
  if (!watcher.stopping()) ok = watcher.Loop() && ok;
  return ok ? kExitOk : kExitFileFailed;
}

}  // namespace brevio::cli
