#pragma once
// What the -r walks of both systems keep on the way down from an operand:
// the folders open from it to here, so that following links with -L cannot
// go round for ever, and the problems met.

#include <optional>
#include <string>
#include <vector>

#include "brevio/engine/batch.h"

namespace brevio::cli {

class WalkTrail {
 public:
  WalkTrail(std::optional<FileId> output_folder, std::vector<std::string>& problems)
      : output_folder_(output_folder), problems_(problems) {}

  // Starts again at an operand's folder.
  void Start(FileId operand) { open_ = {operand}; }

  // Whether the folder identified by id is to be walked now: not the output
  // folder, and not one already open further up (a loop, reported). After
  // true, Leave() once its walk is done.
  bool Enter(const std::string& folder, FileId id);
  void Leave() { open_.pop_back(); }

  // Reports a folder that could not be listed or examined (error: an errno).
  void CannotRead(const std::string& folder, int error);

 private:
  std::optional<FileId> output_folder_;
  std::vector<std::string>& problems_;
  std::vector<FileId> open_;  // the folders from the operand down to here
};

}  // namespace brevio::cli
