#pragma once
// The folders of one run, held the way find and rm -r hold theirs: each is
// known by the folder it was found in, its name there and its identity, and
// is only ever opened from its parent's open descriptor with symbolic links
// refused. Whatever someone renames or swaps meanwhile, nothing is read or
// written through a folder other than the one that was listed (or made):
// such a folder is reported, never entered. POSIX only.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "brevio/engine/batch.h"
#include "fileio/replace.h"

namespace brevio {

class HeldFolders {
 public:
  using Id = std::size_t;

  // follow_links: children may be symbolic links to folders (-L). At most
  // keep_open descriptors are kept between uses (0: a share of what the
  // process may open, at most 64); a folder let go is opened again through
  // its parents and checked to be the same folder.
  explicit HeldFolders(bool follow_links = false, std::size_t keep_open = 0);
  ~HeldFolders();
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;

  // A folder the user named, opened by that path (links followed). Throws
  // fileio::FileError (kOpenFolder).
  Id AddRoot(const std::string& path);

  // The folder `name` in parent, listed as a folder with identity `listed`
  // (nullopt: not known). Opened at once; throws fileio::FileError:
  // kFolderChanged when it is a link or another folder now, kOpenFolder
  // when it cannot be opened.
  Id AddChild(Id parent, const std::string& name, std::optional<FileId> listed = std::nullopt);

  // The folder `name` in parent for writing into: made when missing (made
  // tells whether this call made it), a symbolic link there refused
  // (kRefuseTarget), what cannot be made reported (kMakeFolder).
  Id MakeChild(Id parent, const std::string& name, bool& made);

  // The folder's descriptor, open. Throws as AddChild.
  std::shared_ptr<const fileio::Fd> Open(Id folder);

  // As the user would write it: the root's path and the names below it.
  std::string Path(Id folder) const;
  FileId Identity(Id folder) const;

 private:
  struct Folder;
  std::shared_ptr<const fileio::Fd> OpenLocked(Id folder);
  Id Add(Id parent, const std::string& name, std::string path, fileio::Fd fd, FileId id);
  void Keep(Id folder, std::shared_ptr<const fileio::Fd> fd);

  const bool follow_links_;
  const std::size_t keep_open_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Folder>> folders_;
  std::vector<Id> kept_;  // folders with a descriptor kept, least recently used first
};

}  // namespace brevio
