#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The absolute form of path, as messages name files.
std::string FullPath(const std::string& path);

enum class FileRead { Ok, Missing, Failed };

// The whole file in contents. Missing only when the file does not exist, so
// that a caller can tell "nothing yet" from "there, but unreadable".
FileRead ReadWholeFile(const std::string& path, std::string& contents);

// A whole file's bytes, mapped read-only when it is a regular file (no copy
// into the heap), read into memory otherwise.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False when the file cannot be opened or read.
    bool Open(const std::string& path);
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    void Close();

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
    std::string copy_;
};

// Replaces the file at path so that a reader sees either the old or the new
// contents, never a part: they go to a temporary file in the same folder,
// which is synced and then renamed over path. A symbolic link at path is
// followed and stays a link; an existing file keeps its permissions. Returns
// false, with the old file untouched and no temporary file left, when any
// step fails.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// Creates folder and any missing parents, private to the user as configuration
// folders should be. True when the folder exists afterwards.
bool CreateFolders(const std::string& folder);

} // namespace qm
