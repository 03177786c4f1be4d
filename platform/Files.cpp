#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
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

// path with every symbolic link along it followed, also a last one that
// points nowhere yet: the path that a write through path creates or replaces.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0)
            break;
        const std::filesystem::path link(std::string(target, static_cast<size_t>(n)));
        path = link.is_absolute() ? link.string() : (std::filesystem::path(path).parent_path() / link).string();
    }
    std::error_code error;
    const std::filesystem::path parent = std::filesystem::canonical(std::filesystem::path(path).parent_path().empty()
                                                                        ? std::filesystem::path(".")
                                                                        : std::filesystem::path(path).parent_path(),
                                                                    error);
    return error ? FullPath(path) : (parent / std::filesystem::path(path).filename()).string();
}

// Keeps the signals that end a program from arriving while a named temporary
// file exists, so that it is always removed; they are delivered afterwards.
class HeldTerminatingSignals {
public:
    HeldTerminatingSignals()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&held, s);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~HeldTerminatingSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldTerminatingSignals(const HeldTerminatingSignals&) = delete;
    HeldTerminatingSignals& operator=(const HeldTerminatingSignals&) = delete;

private:
    sigset_t previous_{};
};

// A file being written beside its target: unnamed while the file system allows
// it, named (and unlinked on failure) otherwise.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : target_(target)
    {
        // 0666 rather than mkstemp's 0600: a new file gets what the umask gives.
        fd_ = open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return;
        held_.emplace();
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
            fd_ = open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST)
                break;
        }
        if (fd_ < 0)
            name_.clear();
    }
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!name_.empty())
            unlink(name_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Fd() const { return fd_; }

    // Puts the written file in the target's place.
    bool Replace()
    {
        if (name_.empty()) {
            // An unnamed file gets a name only for the moment of the rename.
            HeldTerminatingSignals held;
            name_ = target_ + ".tmp-" + std::to_string(getpid());
            unlink(name_.c_str());
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                name_.clear();
                return false;
            }
            return RenameOver();
        }
        return RenameOver();
    }

private:
    bool RenameOver()
    {
        if (rename(name_.c_str(), target_.c_str()) != 0)
            return false;  // the destructor removes the name
        name_.clear();
        return true;
    }

    std::string target_, name_;
    int fd_ = -1;
    std::optional<HeldTerminatingSignals> held_;
};

// SIGXFSZ ignored while it lasts: a write past the file size limit then fails
// with EFBIG like any other, instead of ending the program.
class IgnoredFileSizeSignal {
public:
    IgnoredFileSizeSignal()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &previous_);
    }
    ~IgnoredFileSizeSignal() { sigaction(SIGXFSZ, &previous_, nullptr); }
    IgnoredFileSizeSignal(const IgnoredFileSizeSignal&) = delete;
    IgnoredFileSizeSignal& operator=(const IgnoredFileSizeSignal&) = delete;

private:
    struct sigaction previous_ {};
};

// Where a write through a path lands, and what is there now.
struct Target {
    std::string path;  // every link followed
    bool exists = false;
    struct stat st {};
};

// False when the path may not be replaced: a loop of links, a path that
// cannot be looked up, something other than a regular file, or a file the
// user may not write (also one without any write permission, which root could).
bool Resolve(const std::string& path, Target& target)
{
    target.path = FollowLinks(path);
    struct stat link {};
    if (lstat(target.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return false;  // still a link after every hop: a loop
    if (stat(target.path.c_str(), &target.st) != 0)
        return errno == ENOENT;
    target.exists = true;
    return S_ISREG(target.st.st_mode) && access(target.path.c_str(), W_OK) == 0 && (target.st.st_mode & 0222) != 0;
}

bool SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0 || errno == EINVAL;  // a file system that cannot sync folders has nothing to do
    close(fd);
    return ok;
}

// The old file's owner where allowed (root), else at least its group.
void KeepOwner(int fd, const struct stat& st)
{
    if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, uid_t(-1), st.st_gid) != 0)
        return;  // neither is the writer's to give: the file stays the writer's
}

bool WriteAllAt(int fd, std::string_view data)
{
    for (off_t at = 0; !data.empty();) {
        const ssize_t n = pwrite(fd, data.data(), data.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(size_t(n));
        at += n;
    }
    return true;
}

// One file of a set: written beside its target (or, for a file with other
// hard links, its space reserved and its old bytes kept) before any file of
// the set takes its new contents.
class Replacement {
public:
    Replacement(Target target, std::string_view contents) : target_(std::move(target)), contents_(contents) {}
    ~Replacement()
    {
        if (inPlace_ >= 0)
            close(inPlace_);
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    bool Prepare()
    {
        if (target_.exists && target_.st.st_nlink > 1)
            return PrepareInPlace();
        temp_.emplace(target_.path);
        const int fd = temp_->Fd();
        if (fd < 0 || !WriteAll(fd, contents_))
            return false;
        if (target_.exists) {
            // The permissions after the owner, whose change clears set-id bits.
            KeepOwner(fd, target_.st);
            if (fchmod(fd, target_.st.st_mode & 07777) != 0)
                return false;
        }
        return fsync(fd) == 0;
    }

    bool Commit()
    {
        if (inPlace_ < 0)
            return temp_->Replace() && SyncFolder(FolderOf(target_.path));
        // Every link sees the new contents. Should the rewrite fail all the
        // same, the old bytes go back.
        if (WriteAllAt(inPlace_, contents_) && ftruncate(inPlace_, off_t(contents_.size())) == 0 &&
            fsync(inPlace_) == 0)
            return true;
        if (WriteAllAt(inPlace_, old_) && ftruncate(inPlace_, off_t(old_.size())) == 0)
            fsync(inPlace_);
        return false;
    }

private:
    bool PrepareInPlace()
    {
        inPlace_ = open(target_.path.c_str(), O_RDWR | O_CLOEXEC);
        if (inPlace_ < 0)
            return false;
        old_.resize(size_t(target_.st.st_size));
        if (pread(inPlace_, old_.data(), old_.size(), 0) != ssize_t(old_.size()))
            return false;
        // The new contents' blocks taken now, so that the rewrite cannot run
        // out of room half-way; where the file system cannot reserve, the
        // old bytes are the fallback.
        if (contents_.empty() || fallocate(inPlace_, FALLOC_FL_KEEP_SIZE, 0, off_t(contents_.size())) == 0)
            return true;
        return errno == EOPNOTSUPP || errno == ENOSYS;
    }

    Target target_;
    std::string_view contents_;
    std::optional<TemporaryFile> temp_;
    int inPlace_ = -1;
    std::string old_;
};

} // namespace

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string FullPath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa{}, sb{};
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return FollowLinks(a) == FollowLinks(b);
}

FileRead ReadWholeFile(const std::string& path, std::string& contents, size_t limit)
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
        if (static_cast<size_t>(n) > limit - contents.size()) {
            close(fd);
            contents.clear();
            return FileRead::TooLarge;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return FileRead::Ok;
}

FileRead ReadFileHead(const std::string& path, std::string& head, size_t n)
{
    head.assign(n, '\0');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    struct stat st{};
    ssize_t got = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = pread(fd, head.data(), n, 0);
    close(fd);
    head.resize(got > 0 ? size_t(got) : 0);
    return got >= 0 ? FileRead::Ok : FileRead::Failed;
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
}

bool FileBytes::Open(const std::string& path, size_t limit)
{
    static const uint8_t kEmpty = 0;
    Close();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > limit) {
        close(fd);
        return false;
    }
    if (st.st_size == 0) {
        close(fd);
        data_ = &kEmpty;
        return true;
    }
    void* m = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (m == MAP_FAILED)
        return false;
    mapping_ = m;
    size_ = static_cast<size_t>(st.st_size);
    data_ = static_cast<const uint8_t*>(m);
    return true;
}

void FileBytes::ReadAhead(size_t length) const
{
    length = std::min(length, size_);
    if (mapping_ && madvise(mapping_, length, MADV_POPULATE_READ) != 0)
        madvise(mapping_, length, MADV_WILLNEED);  // kernels before 5.14
}

bool ReplaceFilesAtomically(const std::vector<FileContents>& files, std::string* failed)
{
    std::vector<Target> targets(files.size());
    auto refuse = [&](size_t i) {
        if (failed)
            *failed = files[i].path;
        return false;
    };
    for (size_t i = 0; i < files.size(); ++i) {
        if (!Resolve(files[i].path, targets[i]))
            return refuse(i);
        for (size_t j = 0; j < i; ++j)
            if (targets[j].path == targets[i].path || SameFile(targets[j].path, targets[i].path))
                return refuse(i);  // one file cannot take two contents
    }

    // Past the size limit a write fails instead of ending the program.
    IgnoredFileSizeSignal ignored;
    std::vector<std::unique_ptr<Replacement>> prepared;
    struct InReverse {  // each restores the signal mask it found
        std::vector<std::unique_ptr<Replacement>>& all;
        ~InReverse()
        {
            while (!all.empty())
                all.pop_back();
        }
    } release{prepared};
    for (size_t i = 0; i < files.size(); ++i) {
        prepared.push_back(std::make_unique<Replacement>(targets[i], files[i].contents));
        if (!prepared.back()->Prepare())
            return refuse(i);
    }
    for (size_t i = 0; i < files.size(); ++i)
        if (!prepared[i]->Commit())
            return refuse(i);
    return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents)
{
    return ReplaceFilesAtomically({{path, contents}});
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
