#include "formats/Exchange.h"

#include <cmath>
#include <filesystem>

#include "platform/Files.h"
#include "resources/Strings.h"

namespace qm {

namespace {

constexpr double kFittedDiagonal = 30.0;
constexpr double kStandingHeight = 16.0;

// A stream over text held in memory, without copying it.
class TextBuffer final : public std::streambuf {
public:
    explicit TextBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
};

} // namespace

void FitMeshToView(CBodyDoc& doc, const MeshBounds& bounds)
{
    if (doc.vertexCount == 0)
        return;
    const double dx = double(bounds.max.x) - bounds.min.x;
    const double dy = double(bounds.max.y) - bounds.min.y;
    const double dz = double(bounds.max.z) - bounds.min.z;
    double cx = bounds.min.x + dx * 0.5, cy = bounds.min.y + dy * 0.5, cz = bounds.min.z + dz * 0.5;
    const double diagonal = std::sqrt(dx * dx + dy * dy + dz * dz);

    // A box without extent (a single point) would divide by zero, and one with
    // an infinite side would squash everything to nothing: such a mesh keeps its
    // size. A centre that is not finite would turn every vertex into NaN.
    const double s = (diagonal > 0.0 && std::isfinite(diagonal)) ? kFittedDiagonal / diagonal : 1.0;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(cz))
        cx = cy = cz = 0.0;

    for (int i = 0; i < doc.vertexCount; ++i) {
        Vec3& v = doc.restVertices[static_cast<size_t>(i)];
        v.Set((v.x - cx) * s, (v.y - cy) * s, (v.z - cz) * s);
    }
    for (RigBone& bone : doc.rig.bones)
        bone.head.Set((bone.head.x - cx) * s, (bone.head.y - cy) * s, (bone.head.z - cz) * s);

    SceneNode& waist = doc.pools.nodes[0];
    waist.restPosition = Vec3();
    waist.position = Vec3::FromDouble(0.0, 0.0, kStandingHeight - (bounds.max.z - cz) * s);
    doc.ViewState().cameraTarget = Vec3(0.0f, waist.position.y, waist.position.z);
}

void RestoreDefaultPoseAndBind(CBodyDoc& doc)
{
    Figure& figure = doc.FirstFigure();
    if (figure.active && figure.document != nullptr)
        SetDefaultRestPose(figure); // binds the mesh on the way
    else
        doc.BindMeshToNodes();
    doc.MarkModified();  // the mesh is new
}

void ReportCannotOpen(CBodyDoc& doc, const std::string& path)
{
    doc.Messages().ShowMessage({strings::kCannotOpen, FullPath(path)});
}

NamedImport::NamedImport(CBodyDoc& doc, const std::string& path) : doc_(doc)
{
    doc_.importPath = FullPath(path);
}

void ReportAboutInput(CBodyDoc& doc, const char* text)
{
    if (doc.importPath.empty())
        doc.Messages().ShowMessage(text);
    else
        doc.Messages().ShowMessage({AboutFile{text}, doc.importPath});
}

bool OpenForReading(CBodyDoc& doc, const std::string& path, std::ifstream& file)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec))
        file.open(path, std::ios::in | std::ios::binary);
    if (file.is_open())
        return true;
    ReportCannotOpen(doc, path);
    return false;
}

int64_t RemainingBytes(std::istream& in)
{
    const std::istream::pos_type here = in.tellg();
    if (here == std::istream::pos_type(-1))
        return -1;
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.seekg(here);
    if (end == std::istream::pos_type(-1) || !in)
        return -1;
    return static_cast<int64_t>(end - here);
}

ExchangeResult ReadSized(CBodyDoc& doc, std::istream& in, int64_t bytes,
                         const std::function<ExchangeResult(std::istream&, int64_t)>& read)
{
    if (bytes >= 0)
        return read(in, bytes);
    std::string text;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        if (int64_t(text.size() + size_t(in.gcount())) > kMaxStreamedBytes) {
            doc.ResetMesh(true);
            RestoreDefaultPoseAndBind(doc);
            ReportAboutInput(doc, strings::kBadData);
            return ExchangeResult::kBadData;
        }
        text.append(block, size_t(in.gcount()));
    }
    TextBuffer buffer(text);
    std::istream whole(&buffer);
    return read(whole, int64_t(text.size()));
}

ExchangeResult ReadSized(CBodyDoc& doc, const std::string& path, std::ifstream& file,
                         const std::function<ExchangeResult(std::istream&, int64_t)>& read)
{
    std::error_code ec;
    const NamedImport naming(doc, path);
    return ReadSized(doc, file, std::filesystem::is_regular_file(path, ec) ? RemainingBytes(file) : -1, read);
}

} // namespace qm
