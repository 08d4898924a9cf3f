#include "walk_trail.h"

#include <algorithm>
#include <system_error>

#include "brevio/cli/shown_name.h"

namespace brevio::cli {

bool WalkTrail::Enter(const std::string& folder, FileId id) {
  if (id == output_folder_) return false;
  // With -L a link back up the tree would be walked for ever.
  if (std::find(open_.begin(), open_.end(), id) != open_.end()) {
    problems_.push_back("will not walk the folder " + QuoteName(folder) +
                        " again: File system loop detected");
    return false;
  }
  open_.push_back(id);
  return true;
}

void WalkTrail::CannotRead(const std::string& folder, int error) {
  problems_.push_back("cannot read the folder " + QuoteName(folder) + ": " +
                      std::generic_category().message(error));
}

}  // namespace brevio::cli
