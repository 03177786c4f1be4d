#include "scene/BodyDoc.h"

#include <array>
#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/Files.h"
#include "resources/Strings.h"
#include "scene/SceneFile.h"

namespace qm {

CBodyDoc::CBodyDoc(MessageSink& messages) : messages_(messages)
{
    SetDefaultColours();
    ResetMesh(true);
}

bool CBodyDoc::OnNewDocument()
{
    ResetScene();
    SetTitle("Default");
    const char kDefaultScene[] = "default.abd";
    FileBytes file;
    if (file.Open(kDefaultScene))
        LoadScene(*this, file.Data(), file.Size(), FullPath(kDefaultScene));
    return true;
}

// ---------------------------------------------------------------------------
// Mesh storage

bool CBodyDoc::SizeMeshArrays()
{
    try {
        const size_t vertices = static_cast<size_t>(vertexReserve) + kArraySurplus;
        const size_t polygons = static_cast<size_t>(polygonReserve) + kArraySurplus;
        restVertices.resize(vertices);
        vertexNormals.resize(vertices);
        reversedNormals.resize(vertices);
        boundNode.resize(vertices);
        vertexGroup.resize(vertices);
        polygonCorners.resize(static_cast<size_t>(polygonReserve) + kCornerSurplus);
        faceNormals.resize(polygons);
        polygonColour.resize(polygons);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void CBodyDoc::ResetMesh(bool allocate)
{
    ++meshRevision_;
    vertexCount = 0;
    polygonCount = 0;
    vertexReserve = kInitialVertexReserve;
    polygonReserve = kInitialPolygonReserve;
    // Swap with empties so the memory really goes back.
    std::vector<Vec3>().swap(restVertices);
    std::vector<Vec3>().swap(vertexNormals);
    std::vector<Vec3>().swap(reversedNormals);
    std::vector<int32_t>().swap(boundNode);
    std::vector<int32_t>().swap(vertexGroup);
    std::vector<PolygonCorners>().swap(polygonCorners);
    std::vector<Vec3>().swap(faceNormals);
    std::vector<int32_t>().swap(polygonColour);
    rig.Clear();
    if (allocate)
        SizeMeshArrays();
}

bool CBodyDoc::GrowMesh()
{
    bool grew = false;
    if (vertexCount > vertexReserve) {
        vertexReserve = vertexCount + kGrowthStep;
        grew = true;
    }
    if (polygonCount > polygonReserve)
        polygonReserve = polygonCount + kGrowthStep;
    else if (!grew)
        return false;

    const bool fits = vertexCount <= kMaxMeshEntries && polygonCount <= kMaxMeshEntries;
    if (fits && SizeMeshArrays())
        return false;
    ResetMesh(true);
    messages_.ShowMessage(strings::kOutOfMemory);
    return true;
}

Rgb CBodyDoc::GetColour(int index) const
{
    // Colour numbers come straight from imported files; anything outside the
    // table shows as entry 0.
    if (index < 0 || index >= kColourCount)
        index = 0;
    return colourTable[static_cast<size_t>(index)];
}

Rgb DefaultColour(int e)
{
    static constexpr Rgb kHues[24] = {
        {1, 0, 0},     {1, 0.25f, 0}, {1, 0.5f, 0}, {1, 0.75f, 0}, {1, 1, 0},     {0.75f, 1, 0},
        {0.5f, 1, 0},  {0.25f, 1, 0}, {0, 1, 0},    {0, 1, 0.25f}, {0, 1, 0.5f},  {0, 1, 0.75f},
        {0, 1, 1},     {0, 0.75f, 1}, {0, 0.5f, 1}, {0, 0.25f, 1}, {0, 0, 1},     {0.25f, 0, 1},
        {0.5f, 0, 1},  {0.75f, 0, 1}, {1, 0, 1},    {1, 0, 0.75f}, {1, 0, 0.5f},  {1, 0, 0.25f},
    };
    static constexpr Rgb kFixed[7] = {{1, 1, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};

    if (e < 0 || e >= kColourCount)
        return Rgb{};
    if (e < 7)
        return kFixed[e];
    if (e <= 10)
        return {1, 1, 1};
    if (e >= 251) {
        const float grey = static_cast<float>((e - 250) / 6.0);
        return {grey, grey, grey};
    }
    const int hue = (e - 1) / 10;  // 1 to 24
    Rgb c = kHues[hue - 1];
    const bool paler = (e % 2) == 0;
    const double shade = 1.0 - 0.2 * (((e - 1) % 10) / 2);
    auto channel = [&](float v) {
        double x = v;
        if (paler)
            x = x + (1.0 - x) * 0.5;
        return static_cast<float>(x * shade);
    };
    return {channel(c.r), channel(c.g), channel(c.b)};
}

void CBodyDoc::SetDefaultColours()
{
    for (int e = 0; e < kColourCount; ++e)
        colourTable[static_cast<size_t>(e)] = DefaultColour(e);
}

// ---------------------------------------------------------------------------
// Scene operations

int CBodyDoc::AddFigure()
{
    for (int slot = 0; slot < kFigureSlots; ++slot) {
        Figure& f = figures[static_cast<size_t>(slot)];
        if (f.active)
            continue;
        return BuildFigure(f, *this) ? slot : kNoIndex;
    }
    return kNoIndex;
}

void CBodyDoc::ResetScene()
{
    ResetMesh(true);
    for (SceneNode& n : pools.nodes) {
        n.inUse = 0;
        n.selected = 0;
        n.pinned = 0;
        n.pickable = 0;
    }
    for (SceneLink& l : pools.links)
        l.inUse = 0;
    for (Figure& f : figures)
        f.active = 0;
    for (NodeSheet& s : sheets)
        s.active = 0;
    AddFigure();
    UpdateLinkRestLengths(pools);
    ClearModified();
}

bool CBodyDoc::CornersValid(const PolygonCorners& c) const
{
    for (int32_t v : c)
        if (v < 0 || v >= vertexCount)
            return false;
    return true;
}

void CBodyDoc::RecomputeNormals()
{
    ++meshRevision_;
    // A polygon whose corners do not name vertices of the mesh (a damaged file)
    // gets a zero normal and is left out of the vertex normals.
    for (int p = 0; p < polygonCount; ++p) {
        const PolygonCorners& c = polygonCorners[static_cast<size_t>(p)];
        Vec3& fn = faceNormals[static_cast<size_t>(p)];
        if (!CornersValid(c)) {
            fn = Vec3();
            continue;
        }
        const Vec3& p0 = restVertices[static_cast<size_t>(c[0])];
        const Vec3& p1 = restVertices[static_cast<size_t>(c[1])];
        const Vec3& p2 = restVertices[static_cast<size_t>(c[2])];
        const Vec3 n = Cross(p2 - p0, p1 - p0);
        fn = n * (1.0 / n.Length());
    }

    for (int v = 0; v < vertexCount; ++v)
        vertexNormals[static_cast<size_t>(v)] = Vec3();

    for (int p = 0; p < polygonCount; ++p) {
        const Vec3& fn = faceNormals[static_cast<size_t>(p)];
        if (!(fn.Length() > 0.0))  // NaN from a degenerate polygon fails this too
            continue;
        for (int32_t corner : polygonCorners[static_cast<size_t>(p)])
            vertexNormals[static_cast<size_t>(corner)] += fn;
    }

    for (int v = 0; v < vertexCount; ++v) {
        Vec3& n = vertexNormals[static_cast<size_t>(v)];
        const double len = n.Length();
        n = (len >= 0.01) ? n * (1.0 / len) : Vec3(1, 0, 0);
        reversedNormals[static_cast<size_t>(v)] = -n;
    }
}

void CBodyDoc::BindMeshToNodes()
{
    const bool byGroup = view_->groupBinding;
    const int lastCandidate = byGroup ? kFigureJoints - 1 : kNodePoolSize - 1;

    if (byGroup) {
        std::array<double, kGroupCount * 3> sums{};
        std::array<int, kGroupCount> counts{};
        for (int v = 0; v < vertexCount; ++v) {
            const int g = vertexGroup[static_cast<size_t>(v)];
            if (g < 0 || g >= kGroupCount)
                continue;
            const Vec3& r = restVertices[static_cast<size_t>(v)];
            sums[static_cast<size_t>(3 * g)] += r.x;
            sums[static_cast<size_t>(3 * g + 1)] += r.y;
            sums[static_cast<size_t>(3 * g + 2)] += r.z;
            ++counts[static_cast<size_t>(g)];
        }
        for (size_t g = 0; g < kGroupCount; ++g) {
            groupCentroids[g] = counts[g] == 0 ? Vec3()
                                               : Vec3::FromDouble(sums[3 * g] / counts[g], sums[3 * g + 1] / counts[g],
                                                                  sums[3 * g + 2] / counts[g]);
        }
    }

    // The nodes a vertex may go to, node 0 always first, gathered once; the
    // nearest wins, the first of equals, compared by squared distance.
    struct Candidate {
        double x, y, z;
        int node;
    };
    std::array<Candidate, kNodePoolSize> candidates;
    size_t count = 0;
    for (int n = 0; n <= lastCandidate; ++n) {
        const SceneNode& node = pools.nodes[static_cast<size_t>(n)];
        if (n == 0 || node.inUse)
            candidates[count++] = {node.restPosition.x, node.restPosition.y, node.restPosition.z, n};
    }

    for (int v = 0; v < vertexCount; ++v) {
        const Vec3& rest = restVertices[static_cast<size_t>(v)];
        const int g = vertexGroup[static_cast<size_t>(v)];
        Vec3 p = rest;
        if (byGroup && g >= 0 && g < kGroupCount)
            p = rest * 0.3 + groupCentroids[static_cast<size_t>(g)] * 0.7;

        auto squared = [&](const Candidate& c) {
            const double dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
            return dx * dx + dy * dy + dz * dz;
        };
        size_t best = 0;
        double bestSquared = squared(candidates[0]);
        for (size_t c = 1; c < count; ++c) {
            const double d = squared(candidates[c]);
            if (d < bestSquared) {
                best = c;
                bestSquared = d;
            }
        }
        boundNode[static_cast<size_t>(v)] = candidates[best].node;
    }
    RecomputeNormals();
}

void CBodyDoc::FlipAllPolygons()
{
    for (int p = 0; p < polygonCount; ++p) {
        PolygonCorners& c = polygonCorners[static_cast<size_t>(p)];
        std::swap(c[0], c[2]);
    }
    RecomputeNormals();
    MarkModified();
}

void CBodyDoc::ApplyModelScale()
{
    ++meshRevision_;
    const double s = view_->modelScale;
    if (vertexCount > 0) {
        for (int v = 0; v < vertexCount; ++v)
            restVertices[static_cast<size_t>(v)] *= s;
        MarkModified();
    }
    for (RigBone& bone : rig.bones)
        bone.head *= s;
    view_->modelScale = 1.0f;
}

} // namespace qm
