#pragma once

#include <string>
#include <string_view>

namespace qm {

enum class FileRead { Ok, Missing, Failed };

// The whole file in contents. Missing only when the file does not exist, so
// that a caller can tell "nothing yet" from "there, but unreadable".
FileRead ReadWholeFile(const std::string& path, std::string& contents);

// Replaces the file at path so that a reader sees either the old or the new
// contents, never a part: they go to a temporary file in the same folder,
// which is then renamed over path. A symbolic link at path is followed and
// stays a link; an existing file keeps its permissions. Returns false, with
// the old file untouched and no temporary file left, when any step fails.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// Creates folder and any missing parents, private to the user as configuration
// folders should be. True when the folder exists afterwards.
bool CreateFolders(const std::string& folder);

} // namespace qm
