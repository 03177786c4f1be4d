#include "formats/ModelWire.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace qm {

namespace {

constexpr uint32_t kMagic = 0x444d4d51;  // "QMMD"
constexpr uint32_t kEnd = 0x21444e45;    // "END!"
constexpr uint32_t kBones = 1 << 16, kNameBytes = 1024, kPairs = 1024, kMissingNames = 256,
                   kMissingNameBytes = 4096;

static_assert(sizeof(Vec3) == 12 && sizeof(Rgb) == 12 && sizeof(PolygonCorners) == 16,
              "arrays go over the wire as they lie in memory");

class Writer {
public:
    explicit Writer(const WireSink& sink) : sink_(sink) {}
    template <class T> bool Value(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        return sink_(&value, sizeof value);
    }
    template <class T> bool Array(const std::vector<T>& values)
    {
        return Value(uint64_t(values.size())) && (values.empty() || sink_(values.data(), values.size() * sizeof(T)));
    }
    bool Text(const std::string& text) { return Value(uint32_t(text.size())) && sink_(text.data(), text.size()); }

private:
    const WireSink& sink_;
};

class Reader {
public:
    explicit Reader(const WireSource& source) : source_(source) {}
    template <class T> bool Value(T& value) { return source_(&value, sizeof value); }
    // A count of at most limit.
    bool Count(size_t& count, uint64_t limit)
    {
        uint64_t n = 0;
        if (!Value(n) || n > limit)
            return false;
        count = size_t(n);
        return true;
    }
    template <class T> bool Array(std::vector<T>& values, uint64_t limit)
    {
        size_t n = 0;
        if (!Count(n, limit))
            return false;
        values.resize(n);
        return n == 0 || source_(values.data(), n * sizeof(T));
    }
    bool Text(std::string& text, uint32_t limit)
    {
        uint32_t n = 0;
        if (!Value(n) || n > limit)
            return false;
        text.resize(n);
        return n == 0 || source_(text.data(), n);
    }

private:
    const WireSource& source_;
};

bool Finite(const Vec3& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

bool Unit(float c)
{
    return c >= 0.0f && c <= 1.0f;  // false for NaN too
}

bool InRange(int32_t value, int32_t low, size_t end)
{
    return value >= low && (value < 0 || size_t(value) < end);
}

// Every bone's chain of parents ends at a root.
bool ParentsEndAtRoots(const std::vector<RigBone>& bones)
{
    enum : uint8_t { kUnseen, kOnPath, kRooted };
    std::vector<uint8_t> state(bones.size(), kUnseen);
    std::vector<size_t> path;
    for (size_t b = 0; b < bones.size(); ++b) {
        path.clear();
        int32_t at = int32_t(b);
        while (at >= 0 && state[size_t(at)] == kUnseen) {
            state[size_t(at)] = kOnPath;
            path.push_back(size_t(at));
            at = bones[size_t(at)].parent;
        }
        if (at >= 0 && state[size_t(at)] == kOnPath)
            return false;
        for (const size_t p : path)
            state[p] = kRooted;
    }
    return true;
}

bool Sound(const ModelData& d)
{
    const size_t vertices = d.positions.size(), bones = d.rig.bones.size();
    if (d.groups.size() != vertices || d.colours.size() != d.polygons.size() ||
        (!d.rig.vertexBone.empty() && d.rig.vertexBone.size() != vertices))
        return false;
    for (size_t v = 0; v < vertices; ++v)
        if (!Finite(d.positions[v]) || !InRange(d.groups[v], 0, kGroupCount))
            return false;
    for (const PolygonCorners& corners : d.polygons)
        for (const int32_t c : corners)
            if (!InRange(c, 0, vertices))
                return false;
    for (const Rgb& c : d.colours)
        if (!Unit(c.r) || !Unit(c.g) || !Unit(c.b))
            return false;
    for (const RigBone& bone : d.rig.bones)
        if (!Finite(bone.head) || !InRange(bone.parent, -1, bones))
            return false;
    for (const int32_t b : d.rig.vertexBone)
        if (!InRange(b, -1, bones))
            return false;
    for (const auto& [role, bone] : d.rig.humanoid)
        if (!InRange(bone, 0, bones))
            return false;
    return ParentsEndAtRoots(d.rig.bones);
}

} // namespace

bool WriteModelWire(ModelReadStatus status, const ModelData& d, const WireSink& sink)
{
    Writer out(sink);
    if (!out.Value(kMagic) || !out.Value(uint32_t(status)))
        return false;
    if (status != ModelReadStatus::kOk)
        return out.Value(kEnd);
    bool ok = out.Array(d.positions) && out.Array(d.groups) && out.Array(d.polygons) && out.Array(d.colours) &&
              out.Value(uint64_t(d.rig.bones.size()));
    for (const RigBone& bone : d.rig.bones)
        ok = ok && out.Text(bone.name) && out.Value(bone.parent) && out.Value(bone.head);
    ok = ok && out.Array(d.rig.vertexBone) && out.Value(uint64_t(d.rig.humanoid.size()));
    for (const auto& [role, bone] : d.rig.humanoid)
        ok = ok && out.Text(role) && out.Value(bone);
    ok = ok && out.Value(uint64_t(d.missingTextures.size()));
    for (const std::string& name : d.missingTextures)
        ok = ok && out.Text(name);
    return ok && out.Value(kEnd);
}

ModelReadStatus ReadModelWire(const WireSource& source, ModelData& d)
{
    Reader in(source);
    uint32_t magic = 0, status = 0, end = 0;
    if (!in.Value(magic) || magic != kMagic || !in.Value(status))
        return ModelReadStatus::kBadFormat;
    switch (ModelReadStatus(status)) {
    case ModelReadStatus::kOk:
        break;
    case ModelReadStatus::kCannotOpen:
    case ModelReadStatus::kBadFormat:
    case ModelReadStatus::kOutOfMemory:
        return in.Value(end) && end == kEnd ? ModelReadStatus(status) : ModelReadStatus::kBadFormat;
    default:
        return ModelReadStatus::kBadFormat;
    }
    d = ModelData{};
    size_t bones = 0, pairs = 0, missing = 0;
    bool ok = in.Array(d.positions, kMaxMeshEntries) && in.Array(d.groups, kMaxMeshEntries) &&
              in.Array(d.polygons, kMaxMeshEntries) && in.Array(d.colours, kMaxMeshEntries) && in.Count(bones, kBones);
    for (size_t b = 0; ok && b < bones; ++b) {
        RigBone& bone = d.rig.bones.emplace_back();
        ok = in.Text(bone.name, kNameBytes) && in.Value(bone.parent) && in.Value(bone.head);
    }
    ok = ok && in.Array(d.rig.vertexBone, kMaxMeshEntries) && in.Count(pairs, kPairs);
    for (size_t p = 0; ok && p < pairs; ++p) {
        auto& [role, bone] = d.rig.humanoid.emplace_back();
        ok = in.Text(role, kNameBytes) && in.Value(bone);
    }
    ok = ok && in.Count(missing, kMissingNames);
    for (size_t m = 0; ok && m < missing; ++m)
        ok = in.Text(d.missingTextures.emplace_back(), kMissingNameBytes);
    if (!ok || !in.Value(end) || end != kEnd || !Sound(d)) {
        d = ModelData{};
        return ModelReadStatus::kBadFormat;
    }
    return ModelReadStatus::kOk;
}

} // namespace qm
