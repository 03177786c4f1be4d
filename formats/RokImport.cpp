#include "formats/RokImport.h"

#include <array>
#include <filesystem>
#include <utility>
#include <vector>

#include "formats/TextScan.h"
#include "resources/Strings.h"

namespace qm {

namespace {

constexpr int kPaletteEntries = 13;
// Palette entries 0 to 12 before the file's palette is read, out of 255.
constexpr int kDefaultPalette[kPaletteEntries][3] = {
    {232, 232, 232}, {152, 255, 255}, {143, 143, 255}, {255, 174, 175}, {141, 255, 140},
    {253, 250, 90},  {255, 232, 217}, {196, 93, 53},   {255, 255, 255}, {0, 0, 0},
    {230, 186, 150}, {255, 17, 17},   {246, 246, 246},
};
constexpr float kByteToUnit = 0.003921569f;
// A point record is eight tokens with a separator after each.
constexpr int64_t kMinBytesPerPoint = 16;
constexpr int kCornerListSize = 10;
constexpr double kFoldBackDot = -0.3;

using LineEnds = std::array<int32_t, 2>;
using FaceEdges = std::array<int32_t, 4>;

class RokReader {
  public:
    RokReader(CBodyDoc& doc, std::istream& text, int64_t bytes)
        : doc_(doc), tokens_(text),
          highestPoint_(bytes / kMinBytesPerPoint + kArraySurplus)
    {
    }

    ExchangeResult Read();

  private:
    enum class Section { kDone, kEndOfFile, kBadData, kDiscarded };

    bool NextIs(std::string_view keyword);
    bool NextInt(int& value);
    bool NextReal(double& value);
    Section ReadPoints(MeshBounds& bounds);
    void ReadLines();
    Section ReadFaces();
    bool BuildCorners(const FaceEdges& edges, int count, PolygonCorners& corners) const;
    void ReadPalette();
    void TurnAwayFromGroupCentroids();
    void TurnFoldedBackPolygons();
    ExchangeResult Fail(ExchangeResult result, const char* message);

    CBodyDoc& doc_;
    TokenReader tokens_;
    std::string_view token_;
    const int64_t highestPoint_;
    std::vector<LineEnds> lines_; // line k at index k; index 0 unused
    std::vector<FaceEdges> faceEdges_;
};

bool RokReader::NextIs(std::string_view keyword)
{
    return tokens_.Next(token_) && token_ == keyword;
}

bool RokReader::NextInt(int& value)
{
    if (!tokens_.Next(token_))
        return false;
    value = ParseInt(token_);
    return true;
}

bool RokReader::NextReal(double& value)
{
    if (!tokens_.Next(token_))
        return false;
    value = ParseReal(token_);
    return true;
}

// Point records: number, group, three unused tokens, x, y, z. A record cut
// short by the end of the file is dropped.
RokReader::Section RokReader::ReadPoints(MeshBounds& bounds)
{
    while (tokens_.Next(token_)) {
        if (token_ == "LINE0")
            return Section::kDone;
        const int n = ParseInt(token_);
        int group = 0;
        double x = 0, y = 0, z = 0;
        if (!NextInt(group) || !tokens_.Skip(3) || !NextReal(x) || !NextReal(y) || !NextReal(z))
            return Section::kEndOfFile;
        // Numbers below 1 name no point; numbers beyond what the file could
        // hold would only make the arrays huge.
        if (n < 1 || n > highestPoint_)
            return Section::kBadData;
        if (n > doc_.vertexCount) {
            doc_.vertexCount = n;
            if (doc_.GrowMesh())
                return Section::kDiscarded;
        }
        const size_t v = static_cast<size_t>(n - 1);
        doc_.vertexGroup[v] = group;
        doc_.restVertices[v] = Vec3::FromDouble(-x, z, y);
        bounds.Widen(doc_.restVertices[v]);
    }
    return Section::kEndOfFile;
}

// Line records: two point numbers and two unused tokens.
void RokReader::ReadLines()
{
    lines_.assign(1, LineEnds{0, 0});
    while (tokens_.Next(token_)) {
        if (token_ == "FACE0")
            return;
        const int a = ParseInt(token_);
        int b = 0;
        if (!NextInt(b))
            return;
        lines_.push_back({a, b});
        if (!tokens_.Skip(2))
            return;
    }
}

// The corners of a face from its lines: follows the lines around the face,
// each point taking the first free place unless it is already listed.
bool RokReader::BuildCorners(const FaceEdges& edges, int count, PolygonCorners& corners) const
{
    std::array<int32_t, kCornerListSize> list;
    list.fill(-1);
    const LineEnds& e0 = lines_[static_cast<size_t>(edges[0])];
    const LineEnds& e1 = lines_[static_cast<size_t>(edges[1])];
    if (e0[0] == e1[0] || e0[0] == e1[1]) {
        // The face starts at e0's far end, so the list follows its outline.
        list[0] = e0[1];
        list[1] = e0[0];
    }
    for (int i = 0; i < count; ++i) {
        for (int32_t point : lines_[static_cast<size_t>(edges[static_cast<size_t>(i)])]) {
            for (int32_t& place : list) {
                if (place == point || place == -1) {
                    place = point;
                    break;
                }
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        const int32_t point = list[static_cast<size_t>(i)];
        if (point < 1 || point > doc_.vertexCount)
            return false;
        corners[static_cast<size_t>(i)] = point - 1;
    }
    if (count == 3)
        corners[3] = corners[0];
    return true;
}

// Face records: line count, colour, one unused token, then the line numbers.
RokReader::Section RokReader::ReadFaces()
{
    while (tokens_.Next(token_)) {
        if (token_ == "END00")
            return Section::kDone;
        const int count = ParseInt(token_);
        int colour = 0;
        if (!NextInt(colour) || !tokens_.Skip(1))
            return Section::kEndOfFile;
        // Three or four lines make a face; anything else would overrun the
        // face's four line slots.
        if (count != 3 && count != 4)
            return Section::kBadData;
        FaceEdges edges{0, 0, 0, 0};
        for (int i = 0; i < count; ++i) {
            if (!NextInt(edges[static_cast<size_t>(i)]))
                return Section::kEndOfFile;
            const int line = edges[static_cast<size_t>(i)];
            if (line < 1 || static_cast<size_t>(line) >= lines_.size())
                return Section::kBadData;
        }
        const size_t p = static_cast<size_t>(doc_.polygonCount);
        if (!BuildCorners(edges, count, doc_.polygonCorners[p]))
            return Section::kBadData;
        doc_.polygonColour[p] = colour;
        faceEdges_.push_back(edges);
        ++doc_.polygonCount;
        if (doc_.GrowMesh())
            return Section::kDiscarded;
        doc_.polygonColour[static_cast<size_t>(doc_.polygonCount)] = 0;
    }
    return Section::kEndOfFile;
}

// Three unused tokens, then up to 13 records of R, G, B out of 255 followed
// by three unused numbers and one unused token.
void RokReader::ReadPalette()
{
    for (int e = 0; e < kPaletteEntries; ++e) {
        const auto& rgb = kDefaultPalette[e];
        doc_.colourTable[static_cast<size_t>(e)] = {rgb[0] * kByteToUnit, rgb[1] * kByteToUnit, rgb[2] * kByteToUnit};
    }
    if (!tokens_.Skip(3))
        return;
    for (int e = 0; e < kPaletteEntries; ++e) {
        double r = 0, g = 0, b = 0;
        if (!NextReal(r) || !NextReal(g) || !NextReal(b))
            return; // a record cut short leaves the entry at its default
        doc_.colourTable[static_cast<size_t>(e)] = {static_cast<float>(r * kByteToUnit),
                                                    static_cast<float>(g * kByteToUnit),
                                                    static_cast<float>(b * kByteToUnit)};
        if (!tokens_.Skip(4))
            return;
    }
}

// Turns each polygon away from the centroid of its first corner's group and
// notes, per line, the first two polygons that use it.
void RokReader::TurnAwayFromGroupCentroids()
{
    for (LineEnds& faces : lines_)
        faces = {-1, -1};
    for (int p = 0; p < doc_.polygonCount; ++p) {
        PolygonCorners& c = doc_.polygonCorners[static_cast<size_t>(p)];
        const size_t v = static_cast<size_t>(c[0]);
        const int g = doc_.vertexGroup[v];
        if (g < 0 || g >= kGroupCount)
            continue;
        Vec3& normal = doc_.faceNormals[static_cast<size_t>(p)];
        const Vec3 outwards = doc_.restVertices[v] - doc_.groupCentroids[static_cast<size_t>(g)];
        if (outwards.Dot(normal) < 0.0) {
            std::swap(c[0], c[2]);
            normal = -normal;
        }
        for (size_t slot = 0; slot < 3; ++slot) {
            LineEnds& faces = lines_[static_cast<size_t>(faceEdges_[static_cast<size_t>(p)][slot])];
            if (faces[0] == -1)
                faces[0] = p;
            else if (faces[0] != p)
                faces[1] = p;
        }
    }
}

// Turns every polygon that folds back sharply against two or more neighbours.
void RokReader::TurnFoldedBackPolygons()
{
    std::vector<uint8_t> sharp(lines_.size(), 0);
    for (size_t l = 0; l < lines_.size(); ++l) {
        const LineEnds& faces = lines_[l];
        sharp[l] = faces[0] >= 0 && faces[1] >= 0 &&
                   doc_.faceNormals[static_cast<size_t>(faces[0])].Dot(
                       doc_.faceNormals[static_cast<size_t>(faces[1])]) < kFoldBackDot;
    }
    for (int p = 0; p < doc_.polygonCount; ++p) {
        int sharpEdges = 0;
        for (int32_t line : faceEdges_[static_cast<size_t>(p)])
            sharpEdges += sharp[static_cast<size_t>(line)];
        if (sharpEdges > 1) {
            PolygonCorners& c = doc_.polygonCorners[static_cast<size_t>(p)];
            std::swap(c[0], c[2]);
        }
    }
}

ExchangeResult RokReader::Fail(ExchangeResult result, const char* message)
{
    doc_.ResetMesh(true);
    RestoreDefaultPoseAndBind(doc_);
    if (message != nullptr)
        ReportAboutInput(doc_, message);
    return result;
}

ExchangeResult RokReader::Read()
{
    doc_.ResetMesh(true);
    doc_.polygonColour[0] = 0;
    if (!NextIs("ROKU4")) {
        ReportAboutInput(doc_, strings::kWrongFormat);
        return ExchangeResult::kWrongFormat;
    }
    while (tokens_.Next(token_) && token_ != "POINT") {
    }

    MeshBounds bounds;
    Section section = ReadPoints(bounds);
    if (section == Section::kBadData)
        return Fail(ExchangeResult::kBadData, strings::kBadData);
    if (section == Section::kDiscarded) // GrowMesh has said why
        return Fail(ExchangeResult::kOutOfMemory, nullptr);
    FitMeshToView(doc_, bounds);

    ReadLines();
    doc_.BindMeshToNodes(); // for the group centroids
    section = ReadFaces();
    if (section == Section::kBadData)
        return Fail(ExchangeResult::kBadData, strings::kBadData);
    if (section == Section::kDiscarded)
        return Fail(ExchangeResult::kOutOfMemory, nullptr);
    ReadPalette();

    doc_.ViewState().groupBinding = true;
    doc_.RecomputeNormals();
    TurnAwayFromGroupCentroids();
    doc_.RecomputeNormals();
    TurnFoldedBackPolygons();
    RestoreDefaultPoseAndBind(doc_);
    return ExchangeResult::kOk;
}

} // namespace

// Point numbers are bounded by the bytes the file holds, also when they come
// through a pipe.
ExchangeResult ImportRok(CBodyDoc& doc, std::istream& text)
{
    doc.ViewState().groupBinding = true;
    return ReadSized(doc, text, RemainingBytes(text),
                     [&doc](std::istream& in, int64_t bytes) { return RokReader(doc, in, bytes).Read(); });
}

ExchangeResult ImportRok(CBodyDoc& doc, const std::string& path)
{
    doc.ViewState().groupBinding = true;
    std::ifstream file;
    if (!OpenForReading(doc, path, file))
        return ExchangeResult::kCannotOpen;
    return ReadSized(doc, path, file,
                     [&doc](std::istream& in, int64_t bytes) { return RokReader(doc, in, bytes).Read(); });
}

} // namespace qm
