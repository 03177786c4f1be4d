#include "formats/DxfExport.h"

#include <charconv>

#include "platform/Files.h"

namespace qm {

namespace {

constexpr char kOpening[] = "0\nSECTION\n2\nENTITIES\n999\nCreated by Quillomark\n0\n";
constexpr char kClosing[] = "ENDSEC\n0\nEOF\n";
constexpr char kFaceHead[] = "3DFACE\n8\nbody2\n62\n";

double SquaredDistance(const Rgb& a, const Rgb& b)
{
    const double dr = double(a.r) - b.r, dg = double(a.g) - b.g, db = double(a.b) - b.b;
    return dr * dr + dg * dg + db * db;
}

// printf's "%f": fixed point with six decimals.
void AppendFixed(std::string& out, double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ptr);
    out += '\n';
}

void AppendInt(std::string& out, int value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
    out += '\n';
}

bool CornersInMesh(const CBodyDoc& doc, const PolygonCorners& c)
{
    for (int32_t v : c)
        if (v < 0 || v >= doc.vertexCount)
            return false;
    return true;
}

} // namespace

std::array<int, kColourCount> NearestDefaultColours(const std::array<Rgb, kColourCount>& table)
{
    std::array<Rgb, kColourCount> defaults;
    for (int j = 0; j < kColourCount; ++j)
        defaults[static_cast<size_t>(j)] = DefaultColour(j);

    std::array<int, kColourCount> nearest{};
    for (size_t i = 0; i < table.size(); ++i) {
        double best = SquaredDistance(table[i], defaults[0]);
        for (size_t j = 1; j < defaults.size(); ++j) {
            const double d = SquaredDistance(table[i], defaults[j]);
            if (d < best) {
                best = d;
                nearest[i] = static_cast<int>(j);
            }
        }
    }
    return nearest;
}

std::string FormatDxf(const CBodyDoc& doc)
{
    const std::array<int, kColourCount> nearest = NearestDefaultColours(doc.colourTable);
    static const char kCornerCodes[4][3][4] = {
        {"10\n", "20\n", "30\n"}, {"11\n", "21\n", "31\n"}, {"12\n", "22\n", "32\n"}, {"13\n", "23\n", "33\n"}};

    std::string out = kOpening;
    out.reserve(out.size() + static_cast<size_t>(doc.polygonCount) * 240 + sizeof kClosing);
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        // A polygon naming vertices the mesh does not have (a damaged scene
        // file) has no shape to write.
        if (!CornersInMesh(doc, c))
            continue;
        // A colour number outside the table is drawn as entry 0, so it is written as that.
        int colour = doc.polygonColour[static_cast<size_t>(p)];
        if (colour < 0 || colour >= kColourCount)
            colour = 0;
        out += kFaceHead;
        AppendInt(out, nearest[static_cast<size_t>(colour)]);
        for (size_t k = 0; k < 4; ++k) {
            const Vec3& v = doc.restVertices[static_cast<size_t>(c[k])];
            out += kCornerCodes[k][0];
            AppendFixed(out, -v.x);
            out += kCornerCodes[k][1];
            AppendFixed(out, v.y);
            out += kCornerCodes[k][2];
            AppendFixed(out, -v.z);
        }
        out += "0\n";
    }
    out += kClosing;
    return out;
}

ExchangeResult ExportDxf(CBodyDoc& doc, const std::string& path)
{
    if (ReplaceFileAtomically(path, FormatDxf(doc)))
        return ExchangeResult::kOk;
    ReportCannotOpen(doc, path);
    return ExchangeResult::kCannotOpen;
}

} // namespace qm
