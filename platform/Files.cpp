#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

std::string FullPath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    struct stat st{};
    if (fstat(fileno(f), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {  // fopen succeeds on a folder; reading it does not
            std::fclose(f);
            return false;
        }
        if (S_ISREG(st.st_mode) && st.st_size > 0)
            bytes.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

FileBytes::~FileBytes()
{
    Close();
}

void FileBytes::Close()
{
    if (mapping_)
        munmap(mapping_, size_);
    mapping_ = nullptr;
    data_ = nullptr;
    size_ = 0;
    copy_.clear();
}

bool FileBytes::Open(const std::string& path)
{
    Close();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size > 0) {
        void* m = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (m != MAP_FAILED) {
            close(fd);
            mapping_ = m;
            size_ = static_cast<size_t>(st.st_size);
            data_ = static_cast<const uint8_t*>(m);
            return true;
        }
    }
    close(fd);
    // Pipes, empty files and anything that will not map are read the plain way.
    if (!ReadWholeFile(path, copy_))
        return false;
    data_ = reinterpret_cast<const uint8_t*>(copy_.data());
    size_ = copy_.size();
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes)
{
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    std::vector<char> temp(path.begin(), path.end());
    const char suffix[] = ".tmpXXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix);  // keeps the terminator
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;

    // mkstemp creates 0600; give the file the permissions a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat existing{};
    if (stat(path.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;
    fchmod(fd, mode);

    const char* p = static_cast<const char*>(data);
    size_t left = size;
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && std::rename(temp.data(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.data());
    return ok;
}

} // namespace qm
