// quillo-model-reader PATH MEMORY SECONDS PARENT: reads one model file for
// the program that started it, confined, and writes the result to standard
// output. Started by the program itself, never by hand.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include <unistd.h>

#include "formats/ModelRead.h"
#include "formats/ModelWire.h"
#include "platform/Sandbox.h"

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const qm::SandboxLimits limits{std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3])};
    if (!qm::ConfineThisProcess(limits, pid_t(std::atol(argv[4])))) {
        std::fprintf(stderr, "quillo-model-reader: cannot confine itself\n");
        return 2;
    }
    qm::ModelData data;
    qm::ModelReadStatus status;
    try {
        status = qm::ReadModel(argv[1], data);
    } catch (const std::bad_alloc&) {
        status = qm::ModelReadStatus::kOutOfMemory;
    }
    const bool written = qm::WriteModelWire(status, data, [](const void* bytes, size_t size) {
        for (const char* from = static_cast<const char*>(bytes); size > 0;) {
            const ssize_t n = write(STDOUT_FILENO, from, size);
            if (n <= 0)
                return false;
            from += n;
            size -= size_t(n);
        }
        return true;
    });
    // Leaving at once: the model's memory goes with the process.
    _exit(written ? 0 : 1);
}
