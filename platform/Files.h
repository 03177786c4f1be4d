#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The absolute form of path, as messages name files.
std::string FullPath(const std::string& path);
// The folder part of a path as written: "." for a bare name, "/" at the root.
std::string FolderOf(const std::string& path);

// Whether a and b name the same file: the same device and inode when both
// exist, else the same path once symbolic links and "." and ".." are resolved.
bool SameFile(const std::string& a, const std::string& b);

enum class FileRead { Ok, Missing, Failed, TooLarge };

// The whole file in contents, up to limit bytes: a longer file (or an endless
// device) is TooLarge and not read further. Missing only when the file does
// not exist, so that a caller can tell "nothing yet" from "there, but unreadable".
FileRead ReadWholeFile(const std::string& path, std::string& contents, size_t limit = SIZE_MAX);

// Up to n of a regular file's first bytes (none of a pipe's or a device's,
// whose bytes a look would use up).
FileRead ReadFileHead(const std::string& path, std::string& head, size_t n);

// A regular file's bytes, mapped read-only. Pages are read as they are first
// touched (or all at once on request), so a reader that refuses a file by its
// first bytes reads no more.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False when the file cannot be opened or read, is no regular file (a
    // device or a pipe has no size to check a reader's counts against; it is
    // opened without waiting for a writer) or is longer than limit.
    bool Open(const std::string& path, size_t limit = SIZE_MAX);
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    // Reads the first length bytes in now, for a reader that will go through them.
    void ReadAhead(size_t length) const;

private:
    void Close();

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
};

// The one way the program writes a file. A reader sees either the old or the
// new contents, never a part: they go to an unnamed temporary file in the same
// folder (a named one where the file system has no unnamed files, removed
// when the write fails or the program is interrupted), which is synced and
// then takes path's place, the folder synced after. A symbolic link at path
// is followed, also when its target does not exist yet, and stays a link; an
// existing file keeps its permissions, and its owner and group where the
// user may give them. One with other hard links is rewritten in place, so
// that every link sees the new contents, once the room for them is reserved
// (or, where the file system cannot reserve, with its old bytes put back
// should the rewrite fail). Refused, with nothing written: an existing path
// that is no regular file (a device, a pipe, a folder), a loop of links, and
// one the user may not write, including a file without any write
// permission. Returns false, with the old file untouched and no temporary
// file left, when anything fails; a write past the file size limit fails too,
// instead of ending the program.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

struct FileContents {
    std::string path;
    std::string_view contents;
};

// Several files replaced as one: each is checked, then each written beside
// its target (or its room reserved), and only then does any take its place.
// Two paths that reach the same file are refused. On failure, failed (when
// given) names the file that could not be written.
bool ReplaceFilesAtomically(const std::vector<FileContents>& files, std::string* failed = nullptr);

// Creates folder and any missing parents, private to the user as configuration
// folders should be. True when the folder exists afterwards.
bool CreateFolders(const std::string& folder);

} // namespace qm
