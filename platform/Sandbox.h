#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

namespace qm {

// What a process that reads untrusted files may use.
struct SandboxLimits {
    uint64_t memoryBytes = uint64_t(1) << 30;  // address space
    int cpuSeconds = 60;
};

// Confines the calling process before it reads untrusted input: its limits
// (address space, CPU time, stack, a few descriptors, no file growth, no core
// dump), and a system call filter against opening files for writing,
// changing or creating files, starting programs or processes, sockets and
// signals to other processes. It ends when parent does. False when any part
// could not be put in place: the caller must then read nothing.
bool ConfineThisProcess(const SandboxLimits& limits, pid_t parent);

// Half of the machine's memory, the most a reading of a large model file may take.
uint64_t HalfOfMemory();

// A helper program run apart, its standard output read back through a pipe
// before a deadline; killed when it is passed. Its input is /dev/null, its
// standard error the program's, and it inherits no other descriptor and
// no environment beyond the sanitizers' settings.
class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    bool Start(const std::string& program, const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);
    // Exactly size bytes of the helper's output; false at its end, on an
    // error or past the deadline (which kills it).
    bool Read(void* data, size_t size);
    // Waits for the helper to end, at most until the deadline; true when it
    // exited by itself with status 0 and wrote nothing more.
    bool Finish();

private:
    // Up to size bytes, fewer at the output's end or the deadline.
    size_t Receive(void* data, size_t size);
    void Kill();

    pid_t pid_ = -1;
    int output_ = -1;
    bool ended_ = false;  // the output has reached its end
    std::chrono::steady_clock::time_point deadline_;
};

} // namespace qm
