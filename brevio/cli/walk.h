#pragma once
// brevio-trim's operands as a list of jobs for the batch runner: folders
// are walked with -r, each target named after its source.

#include <optional>
#include <string>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/engine/batch.h"

namespace brevio::cli {

// The jobs in operand order, walked folders in name order. What went wrong
// on the way (a folder that cannot be read, a loop with -L) is added to
// `problems` as a message without the program's name; the walk goes on.
// The output folder, when given, is never walked.
std::vector<BatchJob> CollectJobs(const CommandLine& line, std::optional<FileId> output_folder,
                                  std::vector<std::string>& problems);

}  // namespace brevio::cli
