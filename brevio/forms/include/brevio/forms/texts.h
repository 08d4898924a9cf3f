// What the windows say and the small facts they read: messages in plain
// words, file lengths, the folder listing a drop adds. UTF-8 throughout.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/trim_failure.h"

namespace brevio::forms {

// One sentence for an error a trim threw, e.g. "The folder /x/out does not
// exist.", "You may not write to /x/out.", "/x/page.htm can no longer be read.".
// File errors are worded from their step and error number; other system errors
// from their error number; anything else passes its own text through.
std::string PlainReason(const std::exception& error);
// The same for a failure the engine has read already (a batch row's).
std::string FailureWords(const TrimFailure& failure);

// Plain words for a trim result code; empty for 0 (done). With kTrimNotText,
// `not_text` says why the source was left alone.
std::string TrimResultText(std::int32_t code, const std::string& source,
                           NotText not_text = NotText::kText);

// Why a batch row's source was left alone, e.g. "This file is not text (it
// holds NUL bytes), so it was left as it was."
std::string SkippedText(NotText not_text);

// What the window says when CTarnex cannot be created: the error, then how to
// register `library` (a full path) with `register_command`.
std::string TarnexMissingText(std::int32_t hresult, const std::string& register_command,
                              const std::string& library);

// "%1 of %2 files could not be trimmed. ..." with the numbers filled in; when
// some were skipped as no text, it counts those apart from the failures.
// Worded for the pointer and the keyboard alike: a row is selected to see why.
std::string BatchFailedText(int failed, int skipped, int total);

// The question before a run that replaces `count` listed files by their
// trimmed text (the output folder is theirs).
std::string InPlaceQuestion(int count);

// Why a row was not trimmed because an earlier row (#`first`, its number in
// the list) is the same file, or goes to the same target.
std::string SameFileText(int first, bool first_trimmed);
std::string SameTargetText(int first, bool first_trimmed, const std::string& target);

// What the window says when no browser could show the help page at
// `address`: a file:// address is shown as the file's path (on Windows with
// backslashes), so that the user can open it some other way.
std::string HelpNotOpenedText(std::string_view address);

// The box for dropped names that cannot be carried exactly (already shown
// as ShownName shows them), one per line.
std::string RefusedNamesText(const std::vector<std::string>& shown);

// A name or path as the window shows it: as it is when it is UTF-8 without
// control characters; otherwise quoted as brevio-trim quotes it, with the
// other bytes as escapes ('caf'$'\351''.htm'), so that two files never look
// alike and one name is one line.
std::string ShownName(std::string_view name);

// The output folder as typed, made a full path: "~" and "~/..." lead from
// `home` (POSIX). Empty with `problem` set when it is no full path.
std::string FullOutputFolder(std::string_view typed, std::string_view home, std::string& problem);

// Removes spaces (code 32) at both ends, and nothing else: the platform's rule.
std::string TrimSpaces(std::string_view text);

// The length in bytes of a regular file; none when it is missing or not a file.
std::optional<std::uint64_t> FileLength(const std::string& path);

// The files of `folder` whose names end in .htm, .html, .asp or .php (any
// case), one level deep, as full paths sorted by name, never another trim's
// file in the making. Empty when the folder cannot be read. Names the system
// gives in a form that UTF-8 cannot hold exactly (Windows: a lone surrogate)
// go to `refused`, shown as ShownName shows them.
std::vector<std::string> FolderPages(const std::string& folder, std::vector<std::string>& refused);

// Whether `path` names a folder (following links).
bool IsFolder(const std::string& path);

}  // namespace brevio::forms
