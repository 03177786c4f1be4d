#include "formats/ModelFileAccess.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/Files.h"

namespace qm {

namespace {

bool SameInAnyCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The entry of folder named part, as spelt or else in any case; empty when there is none.
std::string Entry(const std::string& folder, const std::string& part)
{
    struct stat st{};
    if (lstat((folder + "/" + part).c_str(), &st) == 0)
        return part;
    std::string found;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (SameInAnyCase(part, entry->d_name)) {
                found = entry->d_name;
                break;
            }
        closedir(dir);
    }
    return found;
}

// The path through parts from folder, each matched by Entry.
std::string Walk(const std::string& folder, const std::vector<std::string>& parts)
{
    std::string path = folder;
    for (const std::string& part : parts) {
        const std::string entry = Entry(path, part);
        if (entry.empty())
            return "";
        path += "/" + entry;
    }
    return parts.empty() ? "" : path;
}

std::string RealPath(const std::string& path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

// A file's bytes as the library reads them.
class MappedStream final : public Assimp::IOStream {
public:
    FileBytes bytes;

    size_t Read(void* buffer, size_t size, size_t count) override
    {
        if (size == 0)
            return 0;
        count = std::min(count, (bytes.Size() - at_) / size);
        std::memcpy(buffer, bytes.Data() + at_, size * count);
        at_ += size * count;
        return count;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t offset, aiOrigin origin) override
    {
        const size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? at_ : bytes.Size();
        if (offset > bytes.Size() || base > bytes.Size() - offset)
            return aiReturn_FAILURE;
        at_ = base + offset;
        return aiReturn_SUCCESS;
    }
    size_t Tell() const override { return at_; }
    size_t FileSize() const override { return bytes.Size(); }
    void Flush() override {}

private:
    size_t at_ = 0;
};

class ConfinedFileAccess final : public Assimp::IOSystem {
public:
    explicit ConfinedFileAccess(std::string modelPath) : model_(std::move(modelPath)), folder_(FolderOf(model_)) {}

    bool Exists(const char* name) const override { return !Find(name).empty(); }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* name, const char* mode) override
    {
        if (std::strpbrk(mode, "wa+") != nullptr)
            return nullptr;
        auto stream = std::make_unique<MappedStream>();
        const std::string path = Find(name);
        return !path.empty() && stream->bytes.Open(path, kSideFileLimit) ? stream.release() : nullptr;
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }
    bool CreateDirectory(const std::string&) override { return false; }
    bool ChangeDirectory(const std::string&) override { return false; }
    bool DeleteFile(const std::string&) override { return false; }

private:
    // The library names side files from the model's folder on.
    std::string Find(const std::string& name) const
    {
        if (name == model_)
            return model_;
        const std::string prefix = folder_ + "/";
        return FindSideFile(folder_, name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name);
    }

    std::string model_, folder_;
};

} // namespace

std::string FindSideFile(const std::string& modelFolder, const std::string& name)
{
    std::string spelt = name;
    std::replace(spelt.begin(), spelt.end(), '\\', '/');
    const bool absolute = !spelt.empty() && (spelt[0] == '/' || (spelt.size() > 1 && spelt[1] == ':'));
    std::vector<std::string> parts;
    bool escapes = false;
    for (size_t start = 0; start <= spelt.size();) {
        const size_t end = std::min(spelt.find('/', start), spelt.size());
        const std::string part = spelt.substr(start, end - start);
        if (part == "..") {
            escapes = escapes || parts.empty();
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    if (parts.empty())
        return "";
    std::string found = absolute || escapes ? "" : Walk(modelFolder, parts);
    if (found.empty())
        found = Walk(modelFolder, {parts.back()});
    const std::string real = RealPath(found), inside = RealPath(modelFolder) + "/";
    if (real.empty() || inside == "/" || real.compare(0, inside.size(), inside) != 0)
        return "";
    return found;
}

void UseConfinedFileAccess(Assimp::Importer& importer, const std::string& modelPath)
{
    importer.SetIOHandler(new ConfinedFileAccess(modelPath));
}

} // namespace qm
