#include "platform/Sandbox.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <seccomp.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qm {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

bool Limit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit current{};
    if (getrlimit(resource, &current) != 0)
        return false;
    // A limit can only be lowered here.
    const rlim_t ceiling = current.rlim_max;
    rlimit wanted{std::min(soft, ceiling), std::min(hard, ceiling)};
    return setrlimit(resource, &wanted) == 0;
}

// System calls a reader never needs; each fails with EPERM.
constexpr const char* kRefused[] = {
    // programs, processes and other processes' memory
    "execve", "execveat", "fork", "vfork", "clone", "clone3", "ptrace", "process_vm_readv", "process_vm_writev",
    "pidfd_open", "pidfd_getfd", "pidfd_send_signal", "tkill", "setpriority", "sched_setaffinity",
    "sched_setscheduler", "sched_setparam",
    // the network and other ways out
    "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4", "msgget", "semget", "shmget",
    "mq_open", "io_uring_setup", "io_uring_enter", "io_uring_register", "bpf", "perf_event_open", "userfaultfd",
    "keyctl", "add_key", "request_key",
    // changes to files and file systems
    "openat2", "creat", "rename", "renameat", "renameat2", "unlink", "unlinkat", "rmdir", "mkdir", "mkdirat",
    "link", "linkat", "symlink", "symlinkat", "chmod", "fchmod", "fchmodat", "chown", "fchown", "lchown",
    "fchownat", "truncate", "ftruncate", "fallocate", "mknod", "mknodat", "utime", "utimes", "utimensat",
    "futimesat", "setxattr", "lsetxattr", "fsetxattr", "removexattr", "lremovexattr", "fremovexattr",
    "name_to_handle_at", "open_by_handle_at", "fanotify_init", "mount", "umount2", "pivot_root", "chroot",
    "swapon", "swapoff", "reboot", "init_module", "finit_module", "delete_module", "kexec_load", "setns",
    "unshare", "acct", "quotactl",
};

bool Refuse(scmp_filter_ctx filter, const char* name, unsigned count = 0, const scmp_arg_cmp* args = nullptr)
{
    const int call = seccomp_syscall_resolve_name(name);
    if (call == __NR_SCMP_ERROR)
        return true; // not on this machine
    return seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(EPERM), call, count, args) == 0;
}

bool InstallFilter()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr)
        return false;
    bool ok = true;
    for (const char* name : kRefused)
        ok = ok && Refuse(filter, name);
    // Opening for anything but reading.
    for (const scmp_datum_t flag : {scmp_datum_t(O_WRONLY), scmp_datum_t(O_RDWR), scmp_datum_t(O_CREAT),
                                    scmp_datum_t(O_TRUNC), scmp_datum_t(O_APPEND), scmp_datum_t(__O_TMPFILE)}) {
        const scmp_arg_cmp open[] = {SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag)};
        const scmp_arg_cmp openat[] = {SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag)};
        ok = ok && Refuse(filter, "open", 1, open) && Refuse(filter, "openat", 1, openat);
    }
    // Signals only to itself; limits only read; no keys pushed into a terminal.
    const scmp_arg_cmp others[] = {SCMP_A0(SCMP_CMP_NE, scmp_datum_t(getpid()))};
    const scmp_arg_cmp setting[] = {SCMP_A2(SCMP_CMP_NE, 0)};
    const scmp_arg_cmp typing[] = {SCMP_A1(SCMP_CMP_EQ, TIOCSTI)};
    const scmp_arg_cmp console[] = {SCMP_A1(SCMP_CMP_EQ, TIOCLINUX)};
    ok = ok && Refuse(filter, "kill", 1, others) && Refuse(filter, "tgkill", 1, others) &&
         Refuse(filter, "prlimit64", 1, setting) && Refuse(filter, "ioctl", 1, typing) &&
         Refuse(filter, "ioctl", 1, console);
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

// The sanitizers' settings, which the helper's own reports follow.
std::vector<std::string> SanitizerEnvironment()
{
    std::vector<std::string> kept;
    for (char** e = environ; e && *e; ++e)
        for (const char* prefix : {"ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS="})
            if (std::strncmp(*e, prefix, std::strlen(prefix)) == 0)
                kept.emplace_back(*e);
    return kept;
}

} // namespace

bool ConfineThisProcess(const SandboxLimits& limits, pid_t parent)
{
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
        return false;
    constexpr rlim_t kStack = rlim_t(8) << 20;
    const rlim_t cpu = rlim_t(std::max(limits.cpuSeconds, 1));
    bool ok = prctl(PR_SET_DUMPABLE, 0) == 0 && Limit(RLIMIT_CORE, 0, 0) && Limit(RLIMIT_FSIZE, 0, 0) &&
              Limit(RLIMIT_NOFILE, 32, 32) && Limit(RLIMIT_STACK, kStack, kStack) && Limit(RLIMIT_CPU, cpu, cpu + 1);
    // The sanitizers reserve more address space than any limit a reader gets.
    if (!kAddressSanitizer)
        ok = ok && Limit(RLIMIT_AS, limits.memoryBytes, limits.memoryBytes);
    return ok && InstallFilter();
}

uint64_t HalfOfMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) / 2 : uint64_t(1) << 31;
}

HelperProcess::~HelperProcess()
{
    Kill();
}

void HelperProcess::Kill()
{
    if (output_ >= 0)
        close(output_);
    output_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

bool HelperProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                          std::chrono::milliseconds timeout)
{
    Kill();
    deadline_ = std::chrono::steady_clock::now() + timeout;
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // The helper starts with default signal handling and nothing blocked,
    // whatever the program set for itself.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment = SanitizerEnvironment();
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipe[1]);
    if (spawned != 0) {
        pid_ = -1;
        close(pipe[0]);
        return false;
    }
    output_ = pipe[0];
    ended_ = false;
    return true;
}

size_t HelperProcess::Receive(void* data, size_t size)
{
    auto* to = static_cast<uint8_t*>(data);
    size_t got = 0;
    while (got < size && output_ >= 0 && !ended_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
        pollfd ready{output_, POLLIN, 0};
        const int polled = left.count() > 0 ? poll(&ready, 1, int(std::min<int64_t>(left.count(), 1 << 30))) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        const ssize_t n = read(output_, to + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        ended_ = n <= 0;
        got += n > 0 ? size_t(n) : 0;
    }
    return got;
}

bool HelperProcess::Read(void* data, size_t size)
{
    if (Receive(data, size) == size)
        return true;
    Kill();
    return false;
}

bool HelperProcess::Finish()
{
    uint8_t more = 0;
    // Anything beyond the answer is refused, and so is an answer not ended in time.
    if (pid_ <= 0 || Receive(&more, 1) != 0 || !ended_) {
        Kill();
        return false;
    }
    close(output_);
    output_ = -1;
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if ((ended < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline_) {
            Kill();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace qm
