#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

// The absolute form of path, as messages name files.
std::string FullPath(const std::string& path);

// Reads a whole file into bytes. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

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

// Replaces path with bytes without ever leaving a damaged file: the bytes go
// to a temporary file in the same folder, which is flushed, synced and then
// renamed over the target. On failure the previous file is untouched and the
// temporary file removed.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);

} // namespace qm
