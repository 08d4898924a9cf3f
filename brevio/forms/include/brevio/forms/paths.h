// UTF-8 paths as the file system takes them, on every system: never through
// the ANSI code page on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "fileio/path.h"

namespace brevio::forms {

std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// Taking paths apart is the file layer's, shared with the engine.
using fileio::FolderOf;
using fileio::IsSeparator;
using fileio::kSeparator;
using fileio::NameOf;

}  // namespace brevio::forms
