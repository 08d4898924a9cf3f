// UTF-8 paths as the file system takes them, on every system: never through
// the ANSI code page on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "fileio/path.h"

namespace brevio::forms {

std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);
// The same, or none when the name cannot be carried in UTF-8 exactly
// (Windows: a lone surrogate); POSIX names are bytes and always pass.
std::optional<std::string> ExactUtf8Path(const std::filesystem::path& path);
// Any path as the window names it in a box (texts.h ShownName); a lone
// surrogate shows as the escapes of its three bytes.
std::string ShownPath(const std::filesystem::path& path);

// Taking paths apart is the file layer's, shared with the engine.
using fileio::FolderOf;
using fileio::IsSeparator;
using fileio::JoinPath;
using fileio::kSeparator;
using fileio::NameOf;

}  // namespace brevio::forms
