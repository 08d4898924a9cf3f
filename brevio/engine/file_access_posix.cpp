#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include "brevio/engine/held_folders.h"
#include "file_access.h"
#include "fileio/file_error.h"
#include "fileio/path.h"

namespace brevio {

std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

namespace detail {

namespace {

[[noreturn]] void Fail(fileio::Step step, const std::string& path, int error) {
  throw fileio::FileError(step, path, error);
}

// The source's kind as the codes report it: kTrimDone for a regular file,
// kTrimSourceNotFound for nothing there or anything else. A link where a
// walk follows none is refused; other failures throw.
std::int32_t ExamineSource(const std::string& source, bool follow_links, struct stat& st) {
  const int examined = follow_links ? ::stat(source.c_str(), &st) : ::lstat(source.c_str(), &st);
  if (examined == 0 && S_ISLNK(st.st_mode)) Fail(fileio::Step::kOpenSource, source, ELOOP);
  if (examined != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kTrimSourceNotFound;
    Fail(fileio::Step::kExamine, source, errno);
  }
  return S_ISREG(st.st_mode) ? kTrimDone : kTrimSourceNotFound;
}

// O_NONBLOCK: should a FIFO take the file's place after a check, the open
// must not hang; it has no effect on regular files.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Opens a walk's file in its held folder, never elsewhere.
fileio::Fd OpenHeld(const std::string& source, bool follow_links, const HeldName& at,
                    bool& missing) {
  const std::shared_ptr<const fileio::Fd> folder = at.folders->Open(at.folder);
  fileio::Fd in(
      ::openat(folder->get(), at.name.c_str(), kReadFlags | (follow_links ? 0 : O_NOFOLLOW)));
  if (in.get() < 0) {
    missing = errno == ENOENT;
    if (!missing) Fail(fileio::Step::kOpenSource, source, errno);
  }
  return in;
}

}  // namespace

OpenSource OpenSourceFile(const std::string& source, bool follow_links, bool listed_regular,
                          const HeldName& at) {
  OpenSource opened;
  struct stat st {};
  fileio::Fd in;
  if (at.folders != nullptr) {
    bool missing = false;
    in = OpenHeld(source, follow_links, at, missing);
    if (missing) return opened;
  } else {
    if (!listed_regular && ExamineSource(source, follow_links, st) != kTrimDone) return opened;
    // Opened and checked again: it may have been replaced since it was
    // examined or listed.
    in.reset(::open(source.c_str(), kReadFlags | (follow_links ? 0 : O_NOFOLLOW)));
    if (in.get() < 0) {
      const int error = errno;
      if (listed_regular && ExamineSource(source, follow_links, st) != kTrimDone) return opened;
      Fail(fileio::Step::kOpenSource, source, error);
    }
  }
  if (::fstat(in.get(), &st) != 0) Fail(fileio::Step::kExamine, source, errno);
  if (!S_ISREG(st.st_mode)) return opened;
  opened.result = kTrimDone;
  opened.fd = std::move(in);
  opened.size = static_cast<std::uint64_t>(st.st_size);
  opened.id = {st.st_dev, st.st_ino};
  opened.permissions = st.st_mode & 0777;
  opened.times = {{st.st_atim.tv_sec, st.st_atim.tv_nsec}, {st.st_mtim.tv_sec, st.st_mtim.tv_nsec}};
  return opened;
}

unsigned TrimsWithinDescriptorLimit() {
  // A trim holds its source, the target's folder, the temporary file and the
  // target (or what it is compared with); folders kept open by a walk and
  // the output folders, and the program's own streams, come on top.
  constexpr std::size_t kPerTrim = 4;
  constexpr std::size_t kKeptFolders = 2 * 64 + 16;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return ~0u;
  std::error_code ec;
  std::size_t open = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++open;
  }
  const auto allowed = static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t spare = allowed > open + kKeptFolders ? allowed - open - kKeptFolders : 0;
  return static_cast<unsigned>(std::clamp<std::size_t>(spare / kPerTrim, 1, ~0u));
}

void AdviseSequential(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

fileio::Output OpenTargetFile(const std::string& source, const std::string& target,
                              const OpenSource& in, const TrimOptions& options, bool& in_place) {
  fileio::OutputOptions output_options;
  const HeldName& at = options.target_at;
  std::shared_ptr<const fileio::Fd> folder;
  if (at.folders != nullptr) {
    folder = at.folders->Open(at.folder);
    output_options.folder_fd = folder->get();
    output_options.name = at.name;
  }
  // The same file under another name (a link, "./", a hard link) is
  // trimmed in place too: its descriptor lends the metadata.
  in_place = source == target;
  if (!in_place && !options.target_folder_made) {
    struct stat st {};
    const bool found = folder ? ::fstatat(folder->get(), at.name.c_str(), &st, 0) == 0
                              : ::stat(target.c_str(), &st) == 0;
    in_place = found && FileId{st.st_dev, st.st_ino} == in.id;
  }
  if (!options.follow_links && source == target && !folder) {
    struct stat now {};
    if (::lstat(target.c_str(), &now) == 0 && S_ISLNK(now.st_mode)) {
      Fail(fileio::Step::kRefuseTarget, target, ELOOP);
    }
  }
  output_options.in_place = in_place;
  output_options.original_fd = in_place ? in.fd.get() : -1;
  output_options.write_through_dangling_links = options.write_through_dangling_links;
  output_options.new_in_made_folder = options.target_folder_made;
  output_options.keep_unchanged = true;
  if (options.keep_times) output_options.times = in.times;
  // A new copy is no more open than its source, less the umask, as with cp.
  output_options.new_mode = in.permissions;
  return fileio::Output(target, output_options);
}

struct OutputFolders::State {
  std::string root_path;
  bool root_made = false;
  std::mutex mutex;
  HeldFolders folders;
  std::optional<HeldFolders::Id> root;
  std::map<std::string, std::pair<HeldFolders::Id, bool>> made;  // by path below the root
};

OutputFolders::OutputFolders(std::string root, bool root_made) : state_(std::make_unique<State>()) {
  state_->root_path = std::move(root);
  state_->root_made = root_made;
}

OutputFolders::~OutputFolders() = default;

HeldName OutputFolders::Place(const std::string& target, bool& made_folder) {
  State& s = *state_;
  const std::lock_guard lock(s.mutex);
  made_folder = false;
  std::string_view below(target);
  if (!below.starts_with(s.root_path)) return {};  // not the run's: as named
  if (!s.root) s.root = s.folders.AddRoot(s.root_path);
  HeldName place{&s.folders, *s.root, fileio::NameOf(target)};
  made_folder = s.root_made;
  // The levels between the root and the target's name, from the top down.
  below.remove_prefix(s.root_path.size());
  while (!below.empty() && fileio::IsSeparator(below.front())) below.remove_prefix(1);
  std::size_t start = 0;
  for (std::size_t end; (end = below.find('/', start)) != std::string_view::npos; start = end + 1) {
    if (end == start) continue;
    const std::string level(below.substr(0, end));
    auto known = s.made.find(level);
    if (known == s.made.end()) {
      bool made = false;
      const std::string name(below.substr(start, end - start));
      const HeldFolders::Id id = s.folders.MakeChild(place.folder, name, made);
      known = s.made.emplace(level, std::make_pair(id, made)).first;
    }
    place.folder = known->second.first;
    made_folder = known->second.second;
  }
  return place;
}

}  // namespace detail

}  // namespace brevio
