#pragma once
// Trims one text file into another, or in place.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "brevio/engine/protect.h"

namespace brevio {

class HeldFolders;

// A file named by a folder held open and its name in that folder, rather
// than by a path that is looked up again (see held_folders.h).
struct HeldName {
  HeldFolders* folders = nullptr;  // null: none, the path is taken as given
  std::size_t folder = 0;
  std::string name;
};

enum TrimResult : std::int32_t {
  kTrimDone = 0,
  kTrimSourceBlank = 1,     // source path empty or only spaces
  kTrimTargetBlank = 2,     // target path empty or only spaces
  kTrimSourceNotFound = 3,  // no regular file at the source path
  kTrimNotText = 4,         // the source is no 8-bit text (see NotText): nothing written
};

// Why a source is taken for something other than 8-bit text, from its first
// kTextProbeBytes: a UTF-16 or UTF-32 byte order mark, or a NUL byte (images,
// archives, UTF-16 without a mark). A UTF-8 mark is ordinary text.
enum class NotText : std::uint8_t { kText, kNulBytes, kUtf16, kUtf32 };
inline constexpr std::size_t kTextProbeBytes = std::size_t{64} * 1024;

// What the bytes at the start of a file are, by the rule above.
NotText ClassifyText(std::string_view start);

// The reason in a few words: "it holds NUL bytes", "UTF-16 text", "UTF-32 text".
std::string_view NotTextReason(NotText kind);

// Reads the source line by line (a line ends at CR or CR LF; a lone LF stays
// in the line), cleans every line and writes each non-empty result followed
// by CR LF. Paths are file-system names (UTF-8 bytes), opened unchanged.
//
// The three checks come first, in the order of the codes above; when one
// fails nothing is opened. A source that is no text (kTrimNotText) is
// opened and its start read, but nothing is written. "A regular file" is judged after following
// symbolic links: a folder, device, FIFO or socket gives kTrimSourceNotFound.
//
// The output goes to a new file in the target's folder that replaces the
// target by rename only when complete, so a failure never leaves half a
// target and never touches the source. When both paths name the same file
// (same string, or same device and inode after following links) the trim
// happens in place that way. A target that is a symbolic link stays one: the
// file it points to is replaced. A replaced file keeps its owner, group,
// mode, ACLs and extended attributes; a new one gets the source's
// permission bits less the umask. A target that is not a regular file (a
// FIFO, a device, /dev/stdout) is written into, never replaced.
//
// Refused, as fileio::FileError with Step::kRefuseTarget: a folder (EISDIR),
// a link loop (ELOOP) and a symbolic link to nothing (ENOENT, unless
// TrimOptions allows it). Copying onto an existing file the user may not
// write gives Step::kOpenTarget (EACCES); in place needs only the folder.
// Every input/output failure throws fileio::FileError naming the step and
// the path it failed on (the folder when no temporary file can be made
// there) and carrying errno, after every handle is closed and the
// temporary file is removed.
std::int32_t TrimFile(const std::string& source, const std::string& target);

// What a checking trim does instead of writing (TrimOptions::check).
enum class TrimCheck : std::uint8_t {
  kNo,     // trim as asked
  kFirst,  // compare; reading stops at the first block whose output differs
  kWhole,  // compare, and count the whole output as a dry run does
};

struct TrimOptions {
  // Count the output instead of writing it; the target is not touched.
  bool dry_run = false;
  // Write nothing, but compare what a trim in place would write with the
  // source's own bytes: TrimReport::unchanged tells whether they are the
  // same. The target is not looked at. With kFirst, target_bytes counts
  // only the output up to the block that differs.
  TrimCheck check = TrimCheck::kNo;
  // Bytes per read; tests shrink it to split the input at every position.
  std::size_t block_size = std::size_t{256} * 1024;
  // A target that is a symbolic link to nothing creates the file it names
  // instead of being refused.
  bool write_through_dangling_links = false;
  // False for files met in a folder walk that was not asked to follow links:
  // a source that is (or meanwhile became) a symbolic link is refused with
  // ELOOP, and so is such a target of an in-place trim, so that a link
  // planted in a tree cannot lead the trim to a file elsewhere.
  bool follow_links = true;
  // The source was listed as a regular file a moment ago (a folder walk
  // read its type with its name): it is opened without a look-up first and
  // checked on the open file as always.
  bool source_listed_regular = false;
  // The target's folder was made by this run, so the target does not exist
  // yet: it is not looked up, and is written as an unnamed file that gets
  // its name when complete (fileio::OutputOptions::new_in_made_folder).
  bool target_folder_made = false;
  // Where the source and the target lie when a walk or an output folder
  // holds their folders (POSIX): they are opened there and nowhere else, a
  // symbolic link at the target's name is refused, and a folder replaced
  // meanwhile fails the trim (fileio::Step::kFolderChanged). The paths
  // then only name them in messages.
  HeldName source_at;
  HeldName target_at;
  // Trim sources that are no text (kTrimNotText) all the same.
  bool binary = false;
  // A written target gets the source's access and modification times.
  bool keep_times = false;
  // Regions kept as they are (protect.h); 0: the rule alone.
  ProtectSet protect = 0;
  // How written lines end (stream_cleaner.h); kCrLf is the rule.
  LineEnd line_end = LineEnd::kCrLf;
};

struct TrimReport {
  std::int32_t result = kTrimDone;
  std::uint64_t source_bytes = 0;     // bytes read from the source
  std::uint64_t target_bytes = 0;     // bytes written (or that would be written)
  NotText not_text = NotText::kText;  // with kTrimNotText: why
  // The target held the trimmed bytes already and was left alone (not
  // rewritten: same inode, same times); with TrimOptions::check, the
  // source is its own trim.
  bool unchanged = false;
};

// TrimFile with the sizes it saw and the options above.
TrimReport TrimFileWithReport(const std::string& source, const std::string& target,
                              const TrimOptions& options = {});

// True for the name of a temporary file that a trim in progress keeps beside
// its target (".NAME.brevio-XXXXXX"): folder walks must never take one.
bool IsTrimTempName(std::string_view file_name);

// Where TrimStream reads and writes when the ends are not descriptors (a
// caller's own streams). read puts up to n bytes at `into` and sets `got`
// (0 at the end); write takes all n bytes. Each returns 0 or an errno value.
struct StreamEnds {
  std::function<int(char* into, std::size_t n, std::size_t& got)> read;
  std::function<int(const char* data, std::size_t n)> write;
};

// Trims everything `ends` reads into what it writes, reading block bytes at a
// time. Returns the bytes written. Throws std::system_error on a failing read
// (what() starts with "read") or write ("write").
// protect: regions kept as they are (protect.h); line_end: how written
// lines end (stream_cleaner.h).
std::uint64_t TrimStream(const StreamEnds& ends, std::size_t block = std::size_t{256} * 1024,
                         ProtectSet protect = 0, LineEnd line_end = LineEnd::kCrLf);

// The same from in_fd into out_fd (pipes, terminals, files). Neither
// descriptor is closed.
std::uint64_t TrimStream(int in_fd, int out_fd, std::size_t block = std::size_t{256} * 1024,
                         ProtectSet protect = 0, LineEnd line_end = LineEnd::kCrLf);

}  // namespace brevio
