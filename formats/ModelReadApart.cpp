#include "formats/ModelReadApart.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include <unistd.h>

#include "formats/ModelFiles.h"
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

ModelReadLimits LimitsForModel(const std::string& path, const ModelReadLimits& limits)
{
    if (limits.memoryBytes != 0)
        return limits;
    constexpr uint64_t kBase = uint64_t(1) << 30, kBytesPerSecond = uint64_t(8) << 20;
    constexpr int kBaseSeconds = 6, kMostNeighbours = 1000;
    std::error_code error;
    uint64_t bytes = 0;
    const std::filesystem::path model(path);
    if (std::filesystem::is_regular_file(model, error))
        bytes = std::filesystem::file_size(model, error);
    const std::string extension = LowerExtension(path);
    if (extension != "glb" && extension != "vrm") {
        // Buffers, materials and textures lie beside the file that names them.
        int seen = 0;
        const std::filesystem::path folder = model.has_parent_path() ? model.parent_path() : ".";
        for (auto it = std::filesystem::directory_iterator(folder, error);
             !error && it != std::filesystem::directory_iterator() && ++seen <= kMostNeighbours; it.increment(error))
            if (it->path().filename() != model.filename() && it->is_regular_file(error))
                bytes += it->file_size(error);
    }
    bytes = std::min(bytes, uint64_t(1) << 40);
    ModelReadLimits derived;
    derived.memoryBytes = std::min(HalfOfMemory(), std::max(kBase, kBase + 16 * bytes));
    derived.seconds = int(std::min<uint64_t>(uint64_t(std::max(limits.seconds, 1)), kBaseSeconds + bytes / kBytesPerSecond));
    return derived;
}

ModelReadStatus ReadModelApart(const std::string& path, ModelData& data, const ModelReadLimits& asked)
{
    const std::string program = ModelReaderProgram();
    if (program.empty())
        return ModelReadStatus::kNoReader;
    const ModelReadLimits limits = LimitsForModel(path, asked);
    const uint64_t memory = limits.memoryBytes;
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
