#include "formats/ModelReadApart.h"

#include <climits>

#include <unistd.h>

#include "formats/ModelWire.h"
#include "platform/Sandbox.h"

namespace qm {

namespace {

constexpr char kReaderName[] = "quillo-model-reader";

bool Executable(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string ModelReaderProgram()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const std::string exe(self, size_t(n));
        const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
        for (const std::string& candidate : {folder + kReaderName, folder + QM_READER_FROM_BINDIR + kReaderName})
            if (Executable(candidate))
                return candidate;
    }
    const std::string installed = std::string(QM_READER_DIR) + "/" + kReaderName;
    return Executable(installed) ? installed : std::string();
}

ModelReadStatus ReadModelApart(const std::string& path, ModelData& data, const ModelReadLimits& limits)
{
    const std::string program = ModelReaderProgram();
    if (program.empty())
        return ModelReadStatus::kNoReader;
    const uint64_t memory = limits.memoryBytes ? limits.memoryBytes : HalfOfMemory();
    HelperProcess reader;
    if (!reader.Start(program, {path, std::to_string(memory), std::to_string(limits.seconds), std::to_string(getpid())},
                      std::chrono::seconds(limits.seconds)))
        return ModelReadStatus::kNoReader;
    ModelData received;
    const ModelReadStatus status =
        ReadModelWire([&reader](void* to, size_t size) { return reader.Read(to, size); }, received);
    if (!reader.Finish())
        return ModelReadStatus::kBadFormat;
    if (status == ModelReadStatus::kOk)
        data = std::move(received);
    return status;
}

} // namespace qm
