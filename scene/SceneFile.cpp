#include "scene/SceneFile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/Files.h"
#include "resources/Strings.h"
#include "scene/BodyDoc.h"
#include "scene/SceneViewState.h"
#include "skeleton/BinaryStream.h"

namespace qm {

namespace {

constexpr char kHeader[] = "VURizu(006)";
constexpr size_t kVertexBytes = 12 + 4;      // rest position, group
constexpr size_t kPolygonBytes = 16 + 4;     // corners, colour
constexpr size_t kColourBytes = 12;

static_assert(sizeof(Vec3) == 12 && sizeof(PolygonCorners) == 16 && sizeof(Rgb) == 12,
              "scene arrays are copied as packed 32-bit words");

// The length prefix of a serialised string: a byte, widened to 16, 32 and
// 64 bits by all-ones markers; 0xfffe in the 16-bit slot flags UTF-16 text
// and is followed by the real length.
bool ReadArchiveString(BinaryReader& in, std::string& out)
{
    size_t charSize = 1;
    uint64_t length = in.ReadByte();
    if (length == 0xff) {
        length = in.ReadU16();
        if (length == 0xfffe) {
            charSize = 2;
            length = in.ReadByte();
            if (length == 0xff)
                length = in.ReadU16();
        }
        if (length == 0xffff) {
            length = in.ReadU32();
            if (length == 0xffffffffu)
                length = in.ReadU64();
        }
    }
    if (in.Failed() || length > in.Remaining() / charSize) {
        in.Skip(in.Remaining() + 1);  // latch the failure
        return false;
    }
    out.clear();
    for (uint64_t i = 0; i < length; ++i) {
        const uint32_t c = charSize == 1 ? in.ReadByte() : in.ReadU16();
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return true;
}

// The version in the header string; -1 when the string is cut short.
int ReadVersion(BinaryReader& in)
{
    std::string header;
    return ReadArchiveString(in, header) ? SceneHeaderVersion(header) : -1;
}

struct StoredView {
    float elevation, twist, azimuth;
    Vec3 eye;
    float distance;
    Vec3 target;
    bool hasLightAndScale;
    Vec3 light;
    float scale;
    int32_t extra[4];
};

Vec3 ReadVec3(BinaryReader& in)
{
    Vec3 v;
    v.x = in.ReadFloat();
    v.y = in.ReadFloat();
    v.z = in.ReadFloat();
    return v;
}

void WriteVec3(BinaryWriter& out, const Vec3& v)
{
    out.WriteFloat(v.x);
    out.WriteFloat(v.y);
    out.WriteFloat(v.z);
}

StoredView ReadViewSection(BinaryReader& in, int version)
{
    StoredView v{};
    v.elevation = in.ReadFloat();
    v.twist = in.ReadFloat();
    v.azimuth = in.ReadFloat();
    v.eye = ReadVec3(in);
    v.distance = in.ReadFloat();
    v.target = ReadVec3(in);
    v.hasLightAndScale = version >= 5;
    if (v.hasLightAndScale) {
        v.light = ReadVec3(in);
        v.scale = in.ReadFloat();
    }
    for (int32_t& flag : v.extra)
        flag = in.ReadInt32();
    return v;
}

void ApplyView(const StoredView& v, SceneViewState& view)
{
    view.cameraElevation = v.elevation;
    view.cameraTwist = v.twist;
    view.cameraAzimuth = v.azimuth;
    view.cameraEye = v.eye;
    view.cameraDistance = v.distance;
    view.cameraTarget = v.target;
    if (v.hasLightAndScale) {
        view.lightPosition = v.light;
        view.modelScale = v.scale;
    }
    std::memcpy(view.extraFlags, v.extra, sizeof view.extraFlags);
}

bool Finite(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A camera or light at NaN or infinity draws nothing, and a scale that is not
// a number is baked into every vertex by the next click: such a file is damaged.
bool ViewIsFinite(const StoredView& v)
{
    return std::isfinite(v.elevation) && std::isfinite(v.twist) && std::isfinite(v.azimuth) && Finite(v.eye) &&
           std::isfinite(v.distance) && Finite(v.target) &&
           (!v.hasLightAndScale || (Finite(v.light) && std::isfinite(v.scale)));
}

bool WordsAreFiniteFloats(BinaryReader in, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (!std::isfinite(in.ReadFloat()))
            return false;
    return !in.Failed();
}

bool CornersInRange(BinaryReader corners, size_t polygons, int32_t vertexCount)
{
    for (size_t i = 0; i < 4 * polygons; ++i) {
        const int32_t c = corners.ReadInt32();
        if (c < 0 || c >= vertexCount)
            return false;
    }
    return true;
}

// Says why a load was refused; the scene and the view are as they were.
LoadResult Refuse(CBodyDoc& doc, LoadResult why, const std::string& name)
{
    doc.Messages().ShowMessage(why == LoadResult::BadFormat ? Message(AboutFile{strings::kBadFormat}, name)
                                                            : Message(strings::kTruncated, name));
    return why;
}

} // namespace

int SceneHeaderVersion(const std::string& header)
{
    if (header.size() < 8)
        return 0;
    return std::atoi(header.substr(7, 3).c_str());
}

LoadResult LoadScene(CBodyDoc& doc, const uint8_t* data, size_t size, const std::string& name)
{
    // The whole file is checked before anything of it is applied.
    BinaryReader in(data, size);
    const int version = ReadVersion(in);
    if (version < 0)
        return Refuse(doc, LoadResult::Truncated, name);
    if (version < 4 || version > 6)
        return Refuse(doc, LoadResult::BadFormat, name);

    StoredView view = ReadViewSection(in, version);
    const size_t poseAt = in.Position();
    if (in.Failed() || size - poseAt < size_t(kPoseBlockBytes))
        return Refuse(doc, LoadResult::Truncated, name);
    BinaryReader pose(data + poseAt, size_t(kPoseBlockBytes));
    BinaryReader body(data + poseAt + kPoseBlockBytes, size - poseAt - kPoseBlockBytes);
    const int32_t vertexCount = body.ReadInt32();
    const int32_t polygonCount = body.ReadInt32();
    const int32_t groupBinding = body.ReadInt32();
    if (body.Failed())
        return Refuse(doc, LoadResult::Truncated, name);
    if (!ViewIsFinite(view) || !WordsAreFiniteFloats(pose, size_t(kPoseBlockBytes) / 4))
        return Refuse(doc, LoadResult::BadFormat, name);

    // Counts the format cannot hold are damage; counts the rest of the file
    // cannot hold mean it was cut short. Nothing is allocated before this.
    const size_t colourEntries = version == 6 ? kColourCount : 20;
    if (vertexCount < 0 || polygonCount < 0 || vertexCount > kMaxMeshEntries || polygonCount > kMaxMeshEntries)
        return Refuse(doc, LoadResult::BadFormat, name);
    const size_t v = size_t(vertexCount), p = size_t(polygonCount);
    const size_t meshBytes = kVertexBytes * v + kPolygonBytes * p;
    if (meshBytes + colourEntries * kColourBytes > body.Remaining())
        return Refuse(doc, LoadResult::Truncated, name);
    BinaryReader corners = body;
    corners.Skip(kVertexBytes * v);
    if (!CornersInRange(corners, p, vertexCount))
        return Refuse(doc, LoadResult::BadFormat, name);

    const SceneViewState viewBefore = doc.ViewState();
    view.scale = std::max(view.scale, kMinModelScale);
    ApplyView(view, doc.ViewState());
    doc.ResetScene();
    LoadFigurePose(doc.FirstFigure(), pose);

    doc.vertexCount = vertexCount;
    doc.polygonCount = polygonCount;
    if (doc.GrowMesh()) {  // which has told the user
        doc.ViewState() = viewBefore;
        doc.ResetScene();
        return LoadResult::OutOfMemory;
    }
    doc.ViewState().groupBinding = groupBinding != 0;

    body.ReadWords(doc.restVertices.data(), 3 * v);
    body.ReadWords(doc.vertexGroup.data(), v);
    body.ReadWords(doc.polygonCorners.data(), 4 * p);
    body.ReadWords(doc.polygonColour.data(), p);
    // Versions 4 and 5 store the first 20 colours; the rest stay as they were.
    body.ReadWords(doc.colourTable.data(), 3 * colourEntries);

    doc.RecomputeNormals();
    doc.BindMeshToNodes();
    doc.ViewState().extraFlags[0] = 0;
    doc.ViewState().LightAnglesFromPosition();
    doc.ClearModified();
    return LoadResult::Ok;
}

LoadResult LoadSceneFile(CBodyDoc& doc, const std::string& path)
{
    FileBytes file;
    if (!file.Open(path)) {
        doc.Messages().ShowMessage({strings::kCannotOpen, FullPath(path)});
        return LoadResult::CannotOpen;
    }
    // What the header and the counts say the scene takes is read ahead in one
    // go; nothing more for a header that refuses the file, nor bytes past the
    // scene's end.
    BinaryReader head(file.Data(), file.Size());
    const int version = ReadVersion(head);
    if (version >= 4 && version <= 6) {
        ReadViewSection(head, version);
        head.Skip(size_t(kPoseBlockBytes));
        const uint32_t vertices = head.ReadU32(), polygons = head.ReadU32();
        if (!head.Failed() && vertices <= uint32_t(kMaxMeshEntries) && polygons <= uint32_t(kMaxMeshEntries))
            file.ReadAhead(head.Position() + 4 + kVertexBytes * vertices + kPolygonBytes * polygons +
                           kColourCount * kColourBytes);
    }
    return LoadScene(doc, file.Data(), file.Size(), FullPath(path));
}

std::vector<uint8_t> SaveScene(const CBodyDoc& doc)
{
    const SceneViewState& view = doc.ViewState();
    const size_t v = size_t(std::max(doc.vertexCount, 0)), p = size_t(std::max(doc.polygonCount, 0));
    BinaryWriter out;
    out.Reserve(kPoseBlockOffsetV6 + kPoseBlockBytes + 12 + kVertexBytes * v + kPolygonBytes * p +
                kColourCount * kColourBytes);

    out.WriteByte(static_cast<uint8_t>(sizeof kHeader - 1));
    out.WriteBytes(kHeader, sizeof kHeader - 1);

    out.WriteFloat(view.cameraElevation);
    out.WriteFloat(view.cameraTwist);
    out.WriteFloat(view.cameraAzimuth);
    WriteVec3(out, view.cameraEye);
    out.WriteFloat(view.cameraDistance);
    WriteVec3(out, view.cameraTarget);
    WriteVec3(out, view.lightPosition);
    out.WriteFloat(view.modelScale);
    for (int32_t flag : view.extraFlags)
        out.WriteInt32(flag);

    SaveFigurePose(doc.figures[0], out);
    out.WriteInt32(static_cast<int32_t>(v));
    out.WriteInt32(static_cast<int32_t>(p));
    out.WriteInt32(view.groupBinding ? 1 : 0);
    out.WriteWords(doc.restVertices.data(), 3 * v);
    out.WriteWords(doc.vertexGroup.data(), v);
    out.WriteWords(doc.polygonCorners.data(), 4 * p);
    out.WriteWords(doc.polygonColour.data(), p);
    out.WriteWords(doc.colourTable.data(), 3 * size_t(kColourCount));
    return out.TakeBytes();
}

bool SaveSceneFile(CBodyDoc& doc, const std::string& path)
{
    const std::vector<uint8_t> bytes = SaveScene(doc);
    if (ReplaceFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        doc.ClearModified();
        return true;
    }
    doc.Messages().ShowMessage({strings::kCannotWrite, FullPath(path)});
    return false;
}

} // namespace qm
