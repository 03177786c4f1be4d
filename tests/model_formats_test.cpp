// Models in the common formats, read and written through files as the user's
// commands do.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "formats/ColourQuantiser.h"
#include "formats/ModelFiles.h"
#include "formats/PngFile.h"
#include "resources/Strings.h"

namespace qm {
namespace {

using test::SetFileText;

// A 1 x 3 x 1 box standing along the file's y axis, each face its own four
// vertices, as glTF: faces +x and +z show the texture's top left quarter, -x
// the top right, +y the bottom left, -y and -z the bottom right. The 2 x 2
// texture is red, green / blue, yellow.
void WriteTexturedBox(const test::TempFolder& dir)
{
    static const float kFaces[6][4][3] = {
        {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}},
        {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}};
    static const float kUv[6][2] = {{.25f, .25f}, {.75f, .25f}, {.25f, .75f}, {.75f, .75f}, {.25f, .25f}, {.75f, .75f}};
    std::vector<float> positions, uvs;
    std::vector<uint16_t> indices;
    for (int f = 0; f < 6; ++f) {
        const uint16_t base = uint16_t(positions.size() / 3);
        for (const auto& p : kFaces[f]) {
            positions.insert(positions.end(), {p[0], p[1] * 3, p[2]});
            uvs.insert(uvs.end(), {kUv[f][0], kUv[f][1]});
        }
        indices.insert(indices.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2),
                                       uint16_t(base + 3)});
    }
    std::string bin(positions.size() * 4 + uvs.size() * 4 + indices.size() * 2, '\0');
    std::memcpy(bin.data(), positions.data(), positions.size() * 4);
    std::memcpy(bin.data() + positions.size() * 4, uvs.data(), uvs.size() * 4);
    std::memcpy(bin.data() + (positions.size() + uvs.size()) * 4, indices.data(), indices.size() * 2);
    SetFileText(dir / "box.bin", bin);
    SetFileText(dir / "box.gltf", R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
"meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"material":0}]}],
"materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],
"textures":[{"source":0}],"images":[{"uri":"box.png"}],"buffers":[{"byteLength":552,"uri":"box.bin"}],
"bufferViews":[{"buffer":0,"byteLength":288},{"buffer":0,"byteOffset":288,"byteLength":192},
{"buffer":0,"byteOffset":480,"byteLength":72}],
"accessors":[{"bufferView":0,"componentType":5126,"count":24,"type":"VEC3","min":[0,0,0],"max":[1,3,1]},
{"bufferView":1,"componentType":5126,"count":24,"type":"VEC2"},
{"bufferView":2,"componentType":5123,"count":36,"type":"SCALAR"}]})");
    ASSERT_TRUE(WritePngRgb(dir / "box.png", 2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0}));
}

// Each polygon as its centre and colour, in hundredths, in an order of its own.
std::multiset<std::array<long, 4>> Shape(const CBodyDoc& doc, bool withColours)
{
    std::multiset<std::array<long, 4>> shape;
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[size_t(p)];
        const std::set<int32_t> corners(c.begin(), c.end());
        Vec3 centre;
        for (const int32_t v : corners)
            centre += doc.restVertices[size_t(v)] * (1.0 / double(corners.size()));
        const Rgb colour = doc.GetColour(doc.polygonColour[size_t(p)]);
        shape.insert({std::lround(centre.x * 100), std::lround(centre.y * 100), std::lround(centre.z * 100),
                      withColours ? std::lround(colour.r * 99) * 10000 + std::lround(colour.g * 99) * 100 +
                                        std::lround(colour.b * 99)
                                  : 0});
    }
    return shape;
}

class ModelFormatsTest : public ::testing::Test {
protected:
    ModelFormatsTest() { doc.ResetScene(); }

    // The colour of the polygons whose face normal points most along axis.
    Rgb ColourFacing(const Vec3& axis) const
    {
        int best = 0;
        for (int p = 1; p < doc.polygonCount; ++p)
            if (doc.faceNormals[size_t(p)].Dot(axis) > doc.faceNormals[size_t(best)].Dot(axis))
                best = p;
        return doc.GetColour(doc.polygonColour[size_t(best)]);
    }

    RecordingMessages messages;
    CBodyDoc doc{messages};
    test::TempFolder dir;
};

TEST_F(ModelFormatsTest, TexturedBoxStandsAlongZWithTheTexturesColoursOnItsFaces)
{
    WriteTexturedBox(dir);
    ASSERT_EQ(ImportModel(doc, dir / "box.gltf"), ExchangeResult::kOk);
    EXPECT_EQ(messages.shown.size(), 0u);
    EXPECT_EQ(doc.polygonCount, 12);
    EXPECT_EQ(doc.vertexCount, 8) << "the corners glTF repeats per face are one vertex each";
    EXPECT_TRUE(doc.ViewState().groupBinding);
    MeshBounds bounds;
    for (int v = 0; v < doc.vertexCount; ++v)
        bounds.Widen(doc.restVertices[size_t(v)]);
    EXPECT_NEAR(bounds.max.z - bounds.min.z, 3 * (bounds.max.x - bounds.min.x), 1e-3) << "tall along z";
    EXPECT_NEAR(bounds.max.y - bounds.min.y, bounds.max.x - bounds.min.x, 1e-3);

    // The file's +y is the scene's -z (up), its +z (the front) the scene's -y.
    const struct {
        Vec3 axis;
        Rgb colour;
    } faces[] = {{{0, -1, 0}, {1, 0, 0}}, {{-1, 0, 0}, {1, 0, 0}}, {{1, 0, 0}, {0, 1, 0}},
                 {{0, 0, -1}, {0, 0, 1}}, {{0, 0, 1}, {1, 1, 0}}, {{0, 1, 0}, {1, 1, 0}}};
    for (const auto& f : faces)
        EXPECT_EQ(ColourFacing(f.axis), f.colour) << f.axis.x << " " << f.axis.y << " " << f.axis.z;

    // Mirrored by its node, the box keeps its faces outwards: the file's +x face, red, faces the scene's +x.
    std::string gltf = test::FileText(dir / "box.gltf");
    gltf.replace(gltf.find(R"({"mesh":0})"), 10, R"({"mesh":0,"scale":[-1,1,1]})");
    SetFileText(dir / "box.gltf", gltf);
    ASSERT_EQ(ImportModel(doc, dir / "box.gltf"), ExchangeResult::kOk);
    EXPECT_EQ(ColourFacing({1, 0, 0}), (Rgb{1, 0, 0}));
    EXPECT_EQ(ColourFacing({-1, 0, 0}), (Rgb{0, 1, 0}));
}

TEST_F(ModelFormatsTest, EachExportFormatReadsBackAsTheSameMesh)
{
    WriteTexturedBox(dir);
    ASSERT_EQ(ImportModel(doc, dir / "box.gltf"), ExchangeResult::kOk);
    for (const std::string name : {"out.obj", "out.gltf", "out.GLB", "out.stl", "out.ply"}) {
        ASSERT_EQ(ExportModel(doc, dir / name), ExchangeResult::kOk) << name;
        RecordingMessages quiet;
        CBodyDoc back(quiet);
        back.ResetScene();
        ASSERT_EQ(ImportModel(back, dir / name), ExchangeResult::kOk) << name;
        EXPECT_EQ(back.vertexCount, doc.vertexCount) << name;
        const bool coloured = name != "out.stl"; // STL has no colours
        EXPECT_EQ(Shape(back, coloured), Shape(doc, coloured)) << name;
    }
    EXPECT_NE(test::FileText(dir / "out.mtl").find("Kd 1 1 0"), std::string::npos);

    // FBX is only read: the library writes the file to read back.
    Assimp::Importer reader;
    const aiScene* scene = reader.ReadFile(dir / "out.obj", 0);
    ASSERT_TRUE(scene && Assimp::Exporter().Export(scene, "fbxa", dir / "out.fbx") == AI_SUCCESS);
    RecordingMessages quiet;
    CBodyDoc back(quiet);
    back.ResetScene();
    ASSERT_EQ(ImportModel(back, dir / "out.fbx"), ExchangeResult::kOk);
    EXPECT_EQ(Shape(back, true), Shape(doc, true));
}

// OBJ text: what the mesh becomes.
TEST_F(ModelFormatsTest, PolygonsGroupsAndRefusals)
{
    const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n", far = "v 5 0 0\nv 6 0 0\nv 6 1 0\n";
    const struct {
        std::string obj;
        int vertices, polygons, groups;
        std::vector<PolygonCorners> corners;
    } cases[] = {
        {square + "f 1 2 3 4\n", 4, 1, 1, {{0, 1, 2, 3}}},  // the turn reversed: (0, 3, 2, 1) in file order
        {square + "f 1 2 3\n", 3, 1, 1, {{0, 1, 2, 2}}},
        {square + "v 0.5 2 0\nf 1 2 3 5 4\n", 5, 2, 1, {{0, 1, 2, 3}, {0, 3, 4, 4}}},
        {square + "l 1 2\n", 0, 0, 0, {}},  // no polygons: an empty mesh
        {square + far + "o a\nf 1 2 3 4\no b\nf 5 6 7\n", 7, 2, 2, {}},
        {square + "o a\nf 1 2 3\no b\nf 1 3 4\n", 4, 2, 2, {{0, 1, 2, 2}, {0, 3, 1, 1}}},  // joined across meshes
        {"mtllib nan.mtl\nusemtl a\n" + square + "f 1 2 3 4\n", 4, 1, 1, {}},  // a colour that is no number
    };
    SetFileText(dir / "nan.mtl", "newmtl a\nKd nan nan nan\n");
    for (const auto& c : cases) {
        SetFileText(dir / "m.obj", c.obj);
        ASSERT_EQ(ImportModel(doc, dir / "m.obj"), ExchangeResult::kOk) << c.obj;
        EXPECT_EQ(doc.vertexCount, c.vertices) << c.obj;
        EXPECT_EQ(doc.polygonCount, c.polygons) << c.obj;
        for (int p = 0; p < doc.polygonCount; ++p)
            EXPECT_TRUE(std::isfinite(doc.GetColour(doc.polygonColour[size_t(p)]).r)) << c.obj;
        EXPECT_EQ(std::set<int32_t>(doc.vertexGroup.begin(), doc.vertexGroup.begin() + doc.vertexCount).size(),
                  size_t(c.groups)) << c.obj;
        // Vertices are numbered in the order the polygons reach them.
        for (size_t p = 0; p < c.corners.size(); ++p)
            EXPECT_EQ(doc.polygonCorners[p], c.corners[p]) << c.obj;
    }
    EXPECT_EQ(messages.shown.size(), 0u);

    SetFileText(dir / "bad.glb", "glTF\x02\0\0\0 not really");
    std::filesystem::copy_file(QM_SOURCE_DIR "/fuzz/seeds/models/two_triangles.pmx", dir / "pmx.glb");
    std::filesystem::copy_file(QM_SOURCE_DIR "/fuzz/seeds/models/two_triangles.pmx", dir / "real.pmx");
    ASSERT_EQ(ImportModel(doc, dir / "real.pmx"), ExchangeResult::kOk);
    EXPECT_EQ(doc.polygonCount, 2) << "its own reader reads it";
    // A header the library would loop on forever is refused before it sees it.
    SetFileText(dir / "loops.ply", "ply\nformat ascii 1.0\nelementt x\nproperty fTextureFiloatply\nend_header\n");
    const struct {
        std::string path, message;
        ExchangeResult result;
    } refused[] = {
        {dir / "missing.obj", dir / "missing.obj" + strings::kCannotOpen, ExchangeResult::kCannotOpen},
        {dir / "bad.glb", strings::kBadFormat, ExchangeResult::kWrongFormat},
        {dir / "pmx.glb", strings::kBadFormat, ExchangeResult::kWrongFormat},
        {dir / "loops.ply", strings::kBadFormat, ExchangeResult::kWrongFormat},
        {dir.Path(), dir.Path() + strings::kCannotOpen, ExchangeResult::kCannotOpen},
    };
    for (const auto& r : refused) {
        messages.shown.clear();
        EXPECT_EQ(ImportModel(doc, r.path), r.result) << r.path;
        EXPECT_EQ(messages.shown, std::vector<std::string>{r.message});
        EXPECT_EQ(doc.polygonCount, 2) << "nothing changed";
    }
    messages.shown.clear();
    EXPECT_EQ(ExportModel(doc, dir / "no/such/folder/x.obj"), ExchangeResult::kCannotOpen);
    EXPECT_EQ(messages.shown, std::vector<std::string>{dir / "no/such/folder/x.obj" + strings::kCannotWrite});
}

TEST(ColourQuantiserTest, ManyColoursShareTheTableAndStayClose)
{
    std::vector<Rgb> colours;
    for (int i = 0; i < 4096; ++i)
        colours.push_back({(i & 15) / 15.0f, ((i >> 4) & 15) / 15.0f, (i >> 8) / 15.0f});
    const QuantisedColours q = QuantiseColours(colours, 256);
    EXPECT_EQ(q.palette.size(), 256u);
    double total = 0.0;
    for (size_t i = 0; i < colours.size(); ++i) {
        const Rgb &a = colours[i], &b = q.palette[size_t(q.entry[i])];
        total += std::hypot(a.r - b.r, a.g - b.g, a.b - b.b);
    }
    // An even grid of 256 cells gives 0.07 (in RGB; the cut is made in Oklab), one entry for all 0.5.
    EXPECT_LT(total / double(colours.size()), 0.11);
    EXPECT_EQ(QuantiseColours({{1, 0, 0}, {0, 1, 0}, {1, 0, 0}}, 256).entry, (std::vector<int32_t>{0, 1, 0}));
}

} // namespace
} // namespace qm
