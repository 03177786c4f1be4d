#include "formats/DxfImport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "formats/TextScan.h"
#include "resources/Strings.h"

namespace qm {

namespace {

constexpr int kColourCode = 62;
constexpr int kFirstCornerCode = 10;
constexpr int kLastCornerCode = 49;
constexpr double kWeldDistance = 0.001;
// Skin tone shown for colour 0 when the file says nothing about colours.
constexpr Rgb kUncolouredColour{1.0f, 0.8f, 0.7f};

// Reads one 3DFACE after its name and layer lines, up to the group code 0 that
// ends it (the entity name after that code is left for the caller). Returns
// false when the mesh had to be discarded for lack of memory.
bool ReadFace(CBodyDoc& doc, LineReader& lines, MeshBounds& bounds, bool& colourSeen)
{
    const size_t polygon = static_cast<size_t>(doc.polygonCount);
    int corners = 0;
    std::string_view line;
    while (lines.Next(line)) {
        const int code = ParseInt(line); // a line that is no number ends the face too
        if (code == 0)
            break;
        const std::string_view value = lines.Take();
        if (code == kColourCode) {
            doc.polygonColour[polygon] = ParseInt(value);
            colourSeen = true;
        } else if (code >= kFirstCornerCode && code <= kLastCornerCode) {
            // y and z follow as two more pairs; their group codes are not looked at.
            const double x = ParseReal(value);
            lines.Skip();
            const double y = ParseReal(lines.Take());
            lines.Skip();
            const double z = ParseReal(lines.Take());

            const int v = doc.vertexCount++;
            if (doc.GrowMesh())
                return false;
            const Vec3 p = Vec3::FromDouble(-x, y, -z);
            doc.restVertices[static_cast<size_t>(v)] = p;
            bounds.Widen(p);
            if (corners < 4)
                doc.polygonCorners[polygon][static_cast<size_t>(corners)] = v;
            ++corners;
        }
    }

    if (corners == 0) {
        // Nothing to draw; the next face starts from a clean colour.
        doc.polygonColour[polygon] = 0;
        return true;
    }
    // Fewer than four corners: the last one repeats, so no corner is left unset.
    PolygonCorners& c = doc.polygonCorners[polygon];
    for (int i = corners; i < 4; ++i)
        c[static_cast<size_t>(i)] = c[static_cast<size_t>(corners - 1)];
    ++doc.polygonCount;
    if (doc.GrowMesh())
        return false;
    doc.polygonColour[static_cast<size_t>(doc.polygonCount)] = 0;
    return true;
}

// Sort key of a float that orders as the float does; -0 is made +0 so the two
// stay equal, and NaN sorts below everything so the order stays total.
uint32_t OrderKey(float f)
{
    if (f == 0.0f)
        f = 0.0f;
    if (std::isnan(f))
        return 0;
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

// One vertex in the weld order: x and y in hi, z and the inverted old index in
// lo, so that one descending sort gives x, y, z descending and ties in index order.
struct WeldKey {
    uint64_t hi;
    uint64_t lo;

    static WeldKey Of(const Vec3& p, uint32_t index)
    {
        return {(uint64_t(OrderKey(p.x)) << 32) | OrderKey(p.y), (uint64_t(OrderKey(p.z)) << 32) | (~index)};
    }
    uint32_t Index() const { return ~static_cast<uint32_t>(lo); }
    bool operator>(const WeldKey& o) const { return hi > o.hi || (hi == o.hi && lo > o.lo); }
};

void TurnUntilFirstThreeDiffer(PolygonCorners& c)
{
    for (int turn = 0; turn < 3; ++turn) {
        if (c[0] != c[1] && c[1] != c[2] && c[0] != c[2])
            return;
        c = {c[2], c[0], c[3], c[1]};
    }
}

} // namespace

bool WeldVertices(CBodyDoc& doc)
{
    const int n = doc.vertexCount;
    std::vector<WeldKey> order;
    std::vector<Vec3> original;
    std::vector<int32_t> newIndex, groups, bones;
    const bool skinned = doc.rig.vertexBone.size() == static_cast<size_t>(n);
    try {
        order.resize(static_cast<size_t>(n));
        original.assign(doc.restVertices.begin(), doc.restVertices.begin() + n);
        groups.assign(doc.vertexGroup.begin(), doc.vertexGroup.begin() + n);
        newIndex.resize(static_cast<size_t>(n));
        if (skinned) {
            bones.swap(doc.rig.vertexBone);
            doc.rig.vertexBone.reserve(static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        if (skinned && doc.rig.vertexBone.empty())
            doc.rig.vertexBone.swap(bones);
        ReportAboutInput(doc, strings::kWeldOutOfMemory);
        return false;
    }

    for (int i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = WeldKey::Of(original[static_cast<size_t>(i)], static_cast<uint32_t>(i));
    std::sort(order.begin(), order.end(), std::greater<WeldKey>());

    // Each run of records near its first record becomes one vertex, with
    // that record's group and bone.
    int welded = 0;
    for (size_t i = 0; i < order.size();) {
        const uint32_t kept = order[i].Index();
        const Vec3 first = original[kept];
        doc.restVertices[static_cast<size_t>(welded)] = first;
        doc.vertexGroup[static_cast<size_t>(welded)] = groups[kept];
        if (skinned)
            doc.rig.vertexBone.push_back(bones[kept]);
        newIndex[kept] = welded;
        for (++i; i < order.size(); ++i) {
            const uint32_t old = order[i].Index();
            if (!(Distance(original[old], first) < kWeldDistance))
                break;
            newIndex[old] = welded;
        }
        ++welded;
    }
    doc.vertexCount = welded;

    for (int p = 0; p < doc.polygonCount; ++p) {
        PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        for (int32_t& corner : c)
            if (corner >= 0 && corner < n)
                corner = newIndex[static_cast<size_t>(corner)];
        TurnUntilFirstThreeDiffer(c);
    }
    return true;
}

namespace {

ExchangeResult ReadDxf(CBodyDoc& doc, std::istream& text)
{
    doc.ViewState().groupBinding = false;
    doc.ResetMesh(true);
    doc.polygonColour[0] = 0;
    MeshBounds bounds;
    bool colourSeen = false;
    bool discarded = false;

    LineReader lines(text);
    std::string_view line;
    while (!discarded && lines.Next(line)) {
        if (StartsWith(line, "EOF"))
            break;
        if (!StartsWith(line, "3DFACE"))
            continue;
        lines.Skip(); // group code 8 and the layer name
        lines.Skip();
        discarded = !ReadFace(doc, lines, bounds, colourSeen);
    }

    doc.SetDefaultColours();
    if (!colourSeen)
        doc.colourTable[0] = kUncolouredColour;
    FitMeshToView(doc, bounds);
    const bool welded = WeldVertices(doc);
    // Welding first spares binding the unwelded mesh: the pose does not depend on it.
    RestoreDefaultPoseAndBind(doc);
    return (discarded || !welded) ? ExchangeResult::kOutOfMemory : ExchangeResult::kOk;
}

} // namespace

// A pipe or a device is read whole first, up to a bound, so that one that
// never ends is refused instead of read for ever.
ExchangeResult ImportDxf(CBodyDoc& doc, std::istream& text)
{
    return ReadSized(doc, text, RemainingBytes(text),
                     [&doc](std::istream& in, int64_t) { return ReadDxf(doc, in); });
}

ExchangeResult ImportDxf(CBodyDoc& doc, const std::string& path)
{
    doc.ViewState().groupBinding = false;
    std::ifstream file;
    if (!OpenForReading(doc, path, file))
        return ExchangeResult::kCannotOpen;
    return ReadSized(doc, path, file, [&doc](std::istream& in, int64_t) { return ReadDxf(doc, in); });
}

} // namespace qm
