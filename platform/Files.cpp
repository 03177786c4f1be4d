#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"

namespace qm {
namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

std::string FullPath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

FileRead ReadWholeFile(const std::string& path, std::string& contents)
{
    contents.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return FileRead::Failed;
        }
        if (n == 0)
            break;
        contents.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return FileRead::Ok;
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
    if (ReadWholeFile(path, copy_) != FileRead::Ok)
        return false;
    data_ = reinterpret_cast<const uint8_t*>(copy_.data());
    size_ = copy_.size();
    return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    const std::string target = error ? path : resolved.string();

    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;

    // Our own unique name rather than mkstemp: a new file then gets the
    // permissions the user's umask gives, not mkstemp's 0600.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = WriteAll(fd, contents) && (!exists || fchmod(fd, existing.st_mode & 07777) == 0) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

bool CreateFolders(const std::string& folder)
{
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        mkdir(folder.substr(0, end).c_str(), 0700); // an existing part is fine; the final check decides
        if (end == std::string::npos)
            break;
    }
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace qm
