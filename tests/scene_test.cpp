#include <algorithm>
#include <cmath>
#include <cstring>

#include "Fixtures.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "scene/SceneFile.h"
#include "tools/SampleFigure.h"

namespace qm {
namespace {

using namespace test;

// A scene file laid out by hand, independently of the writer.
struct HandMadeFile {
    int version = 6;
    std::string headerPrefix; // replaces the usual one-byte length when set
    int32_t vertices = 1;
    int32_t corner = 0;

    std::vector<uint8_t> Build() const
    {
        BinaryWriter w;
        char header[] = "VURizu(006)";
        header[9] = char('0' + version);
        if (headerPrefix.empty())
            w.WriteByte(11);
        else
            w.WriteBytes(headerPrefix.data(), headerPrefix.size());
        w.WriteBytes(header, 11);
        for (float f : {0.25f, 0.5f, 1.5f, 1.f, 2.f, 3.f, 42.f, 4.f, 5.f, 6.f}) // angles, eye, distance, target
            w.WriteFloat(f);
        if (version >= 5)
            for (float f : {10.f, 0.f, 0.f, 2.f}) // light, scale
                w.WriteFloat(f);
        for (int32_t flag : {9, 8, 7, 6})
            w.WriteInt32(flag);
        for (int i = 0; i < kPoseBlockBytes / 4; ++i)
            w.WriteFloat(float(i % 7));
        for (int32_t count : {vertices, 1, 0})  // vertices, one polygon, a spare count
            w.WriteInt32(count);
        for (int v = 0; v < vertices; ++v)
            for (float f : {1.f, 2.f, 3.f})
                w.WriteFloat(f);
        for (int v = 0; v < vertices; ++v)
            w.WriteInt32(v);
        for (int32_t i : {corner, corner, corner, corner, 3})  // the polygon's corners and colour
            w.WriteInt32(i);
        const int colours = version == 6 ? 256 : 20;
        for (int e = 0; e < colours; ++e)
            for (int c = 0; c < 3; ++c)
                w.WriteFloat(e == 19 ? 0.5f : 0.125f);
        return w.TakeBytes();
    }
};

// The hand-made file with one field changed.
template <class T> std::vector<uint8_t> With(T HandMadeFile::*field, T value)
{
    HandMadeFile f;
    f.*field = value;
    return f.Build();
}

class SceneFileTest : public ::testing::Test {
  protected:
    SceneFileTest()
    {
        doc.AttachViewState(&view);
        doc.ResetScene();
    }

    LoadResult Load(const std::vector<uint8_t>& bytes) { return LoadScene(doc, bytes.data(), bytes.size(), "s.abd"); }

    RecordingMessages messages;
    SceneViewState view;
    CBodyDoc doc{messages};
};

// A scene with every stored field set saves to bytes that load and save
// again the same, but for the flag every load clears; the load derives the
// light's angles, the normals and the binding (from the stored rest pose).
TEST_F(SceneFileTest, RoundTripIsByteExactAndRestoresTheScene)
{
    view.cameraEye = Vec3(10, 20, 30);
    view.lightPosition = Vec3(0, 100, 0);
    view.modelScale = 1.5f;
    view.extraFlags[0] = 5;
    view.groupBinding = false;
    for (int i = 0; i < 6; ++i)
        AddVertex(doc, Vec3(float(i), float(i * i) * 0.1f, 1.0f - float(i)), i == 5 ? 300 : i % 3);
    AddPolygon(doc, 0, 1, 2, 3, 17);
    AddPolygon(doc, 2, 3, 4, 4, 999);  // a colour outside the table, saved and loaded as it stands
    doc.colourTable[200] = {0.1f, 0.2f, 0.3f};
    TranslateFigure(doc.FirstFigure(), 0.5, 0, 0);
    UpdateDerivedJoints(doc.FirstFigure(), false);  // as every load does
    doc.RecomputeNormals();
    doc.BindMeshToNodes();
    const std::vector<uint8_t> saved = SaveScene(doc);
    ASSERT_EQ(saved.size(), 84u + 720 + 12 + 16 * 6 + 20 * 2 + 3072);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 12), std::string("\x0bVURizu(006)"));

    SceneViewState view2;
    CBodyDoc doc2(messages);
    doc2.AttachViewState(&view2);
    ASSERT_EQ(LoadScene(doc2, saved.data(), saved.size(), "x"), LoadResult::Ok);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(view2.cameraEye == Vec3(10, 20, 30) && !view2.groupBinding);
    EXPECT_FLOAT_EQ(view2.lightAzimuth, float(M_PI / 2));
    EXPECT_EQ(doc2.faceNormals[0], doc.faceNormals[0]);
    for (int v = 0; v < doc.vertexCount; ++v)
        EXPECT_EQ(doc2.boundNode[size_t(v)], doc.boundNode[size_t(v)]) << "vertex " << v;
    std::vector<uint8_t> expected = saved;
    std::memset(expected.data() + 68, 0, 4);
    EXPECT_TRUE(SaveScene(doc2) == expected);
}

// Versions 4 and 5 lack the light, the scale or most of the colour table:
// those stay as they were. The header's length may come in longer forms.
TEST_F(SceneFileTest, OlderVersionsAndHeaderFormsLoad)
{
    const Vec3 light = view.lightPosition;
    doc.colourTable[100] = {0.9f, 0.8f, 0.7f};
    ASSERT_EQ(Load(With(&HandMadeFile::version, 4)), LoadResult::Ok);
    EXPECT_TRUE(view.cameraDistance == 42.0f && view.cameraTarget == Vec3(4, 5, 6) && view.extraFlags[1] == 8);
    EXPECT_EQ(view.lightPosition, light);
    EXPECT_TRUE(doc.colourTable[19].r == 0.5f && doc.restVertices[0] == Vec3(1, 2, 3));
    ASSERT_EQ(Load(With(&HandMadeFile::version, 5)), LoadResult::Ok);
    EXPECT_TRUE(view.lightPosition == Vec3(10, 0, 0) && view.modelScale == 2.0f);
    EXPECT_EQ(doc.colourTable[100], (Rgb{0.9f, 0.8f, 0.7f}));

    EXPECT_EQ(Load(With(&HandMadeFile::headerPrefix, std::string("\xff\x0b\x00", 3))), LoadResult::Ok);
    EXPECT_EQ(Load(With(&HandMadeFile::headerPrefix, std::string("\xff\xff\xff\x0b\x00\x00\x00", 7))), LoadResult::Ok);
    EXPECT_TRUE(messages.shown.empty());
}

// Every refusal leaves the scene and the view as they were, and says why.
TEST_F(SceneFileTest, RefusedFilesLeaveTheSceneAndTheView)
{
    const std::vector<uint8_t> good = HandMadeFile().Build();
    auto cut = [&](size_t keep) { return std::vector<uint8_t>(good.begin(), good.begin() + long(keep)); };
    auto poked = [&](size_t at, uint8_t value, float number = 0) {
        std::vector<uint8_t> b = good;
        if (value)
            b[at] = value;
        else
            std::memcpy(&b[at], &number, 4);
        return b;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        LoadResult result;
    } cases[] = {
        {"version 7", With(&HandMadeFile::version, 7), LoadResult::BadFormat},
        {"header of 7 characters", With(&HandMadeFile::headerPrefix, std::string("\x07")), LoadResult::BadFormat},
        {"negative vertex count", With(&HandMadeFile::vertices, -1), LoadResult::BadFormat},
        {"vertex count 0x7f000001, beyond any file", poked(84 + 720 + 3, 0x7f), LoadResult::BadFormat},
        {"polygon count 200 in a file holding one", poked(84 + 720 + 4, 200), LoadResult::Truncated},
        {"camera distance NaN", poked(36, 0, NAN), LoadResult::BadFormat},
        {"camera target infinite", poked(40, 0, INFINITY), LoadResult::BadFormat},
        {"model scale NaN", poked(64, 0, NAN), LoadResult::BadFormat},
        {"pose NaN", poked(84 + 8, 0, NAN), LoadResult::BadFormat},
        {"corner past the last vertex", With(&HandMadeFile::corner, 1), LoadResult::BadFormat},
        {"negative corner", With(&HandMadeFile::corner, -1), LoadResult::BadFormat},
        {"empty file", cut(0), LoadResult::Truncated},
        {"header string cut", cut(5), LoadResult::Truncated},
        {"pose block cut", cut(84 + 300), LoadResult::Truncated},
        {"colour table cut", cut(84 + 720 + 12 + 16 + 20 + 100), LoadResult::Truncated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        doc.ResetScene();
        AddVertex(doc, Vec3(1, 1, 1));
        messages.shown.clear();
        view.cameraDistance = 77.0f;
        view.extraFlags[0] = 3;

        EXPECT_EQ(Load(c.bytes), c.result);
        EXPECT_EQ(messages.shown, std::vector<std::string>{c.result == LoadResult::BadFormat
                                                               ? std::string(strings::kBadFormat)
                                                               : std::string("s.abd") + strings::kTruncated});
        EXPECT_EQ(doc.vertexCount, 1);
        EXPECT_EQ(doc.VertexCapacity(), kInitialVertexReserve + kArraySurplus); // nothing large allocated
        EXPECT_EQ(JointNode(doc.FirstFigure(), kWaist).position, Vec3(0, -0.54f, 2.1f));
        EXPECT_EQ(view.cameraDistance, 77.0f);
        EXPECT_EQ(view.extraFlags[0], 3);
    }
}

TEST_F(SceneFileTest, SavingReplacesFilesWholeOrNotAtAll)
{
    test::TempFolder dir;
    const std::string path = (dir / "scene.abd");
    test::SetFileText(path, std::string(5000, 'x'));
    ASSERT_TRUE(SaveSceneFile(doc, path));
    EXPECT_EQ(test::FileText(path).size(), 3888u) << "the empty scene's file";

    // A folder in the way cannot be replaced: reported, and the folder is still there.
    const std::string blocked = (dir / "blocked.abd");
    std::filesystem::create_directories(blocked + "/keep");
    EXPECT_FALSE(SaveSceneFile(doc, blocked) || !std::filesystem::is_directory(blocked + "/keep"));
    EXPECT_EQ(messages.shown, std::vector<std::string>{blocked + strings::kCannotWrite});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "a temporary was left";
}

TEST_F(SceneFileTest, NewDocumentReadsDefaultSceneFromCurrentFolder)
{
    test::TempFolder dir;
    test::CurrentFolder cwd(dir.Path());

    doc.colourTable[50] = {0.5f, 0.5f, 0.5f};
    AddVertex(doc, Vec3(1, 1, 1));
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(doc.colourTable[50], (Rgb{0.5f, 0.5f, 0.5f}));  // no default scene: colours stay

    const std::vector<uint8_t> file = HandMadeFile().Build();
    test::SetFileText(dir / "default.abd", std::string(file.begin(), file.end()));
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.vertexCount == 1 && view.cameraDistance == 42.0f);

    test::SetFileText(dir / "default.abd", std::string(file.begin(), file.begin() + 100));
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.vertexCount, 0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{(dir / "default.abd") + strings::kTruncated});
}

TEST(SampleTest, CommittedSampleIsWhatTheGeneratorMakes)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    ASSERT_TRUE(BuildSampleFigure(doc));
    const std::string path = std::string(QM_SOURCE_DIR) + "/samples/figure.abd";
    std::string committed;
    ASSERT_EQ(ReadWholeFile(path, committed), FileRead::Ok) << path;
    const std::vector<uint8_t> now = SaveScene(doc);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), committed.begin(), committed.end(), [](uint8_t a, char b) {
        return a == static_cast<uint8_t>(b);
    })) << "samples/figure.abd is out of date: run build/tools/make_sample samples/figure.abd";
}

class NodeEditingTest : public ViewTest {
  protected:
    int FreeNode(Vec3 rest)
    {
        const int n = AllocNode(doc.pools);
        node(n).restPosition = node(n).position = rest;
        return n;
    }
    SceneLink& link(int i) { return doc.pools.links[static_cast<size_t>(i)]; }
    void Select(std::initializer_list<int> nodes)
    {
        for (SceneNode& n : doc.pools.nodes)
            n.selected = 0;
        for (int n : nodes)
            node(n).selected = 1;
    }
    template <class Edit> void ExpectRefused(Edit edit)
    {
        const SkeletonPools before = doc.pools;
        edit();
        EXPECT_EQ(std::memcmp(&before, &doc.pools, sizeof before), 0);
    }
};

TEST_F(NodeEditingTest, MergeKeepsLowestIndexAndMovesLinkEnds)
{
    const int a = FreeNode(Vec3(0, 0, 0)), b = FreeNode(Vec3(3, 0, 0)), c = FreeNode(Vec3(0, 3, 0));
    const int other = FreeNode(Vec3(9, 9, 9));
    node(c).position = Vec3(0, 6, 0);
    Select({a, b});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    Select({b, other});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    const int ab = 25, bOther = 26;

    Select({c, b, a});
    doc.MergeSelectedNodes();
    EXPECT_EQ(node(a).inUse + node(b).inUse + node(c).inUse, 1);
    EXPECT_TRUE(node(a).restPosition == Vec3(1, 1, 0) && node(a).position == Vec3(1, 2, 0)) << "at the mean";
    EXPECT_TRUE(link(ab).inUse && link(ab).nodeA == a && link(ab).nodeB == a) << "a loop on the kept node";
    EXPECT_TRUE(link(bOther).nodeA == a && link(bOther).nodeB == other);
    Select({other});
    ExpectRefused([&] { doc.MergeSelectedNodes(); });
}

// Linking measures the rest length (none for a zero-length link); a second
// link between the same nodes and cutting a figure's own link are refused
// with a message; with three selected, or no free link, nothing happens.
TEST_F(NodeEditingTest, LinksAreMeasuredAndRefusedWithAReason)
{
    const int a = FreeNode(Vec3(1, 1, 1)), b = FreeNode(Vec3(4, 5, 1)), c = FreeNode(Vec3(4, 5, 1));
    Select({b, a});
    ASSERT_TRUE(doc.LinkSelectedNodes(false));
    EXPECT_TRUE(link(25).nodeA == a && link(25).nodeB == b && link(25).figureOwned == 0);
    EXPECT_FLOAT_EQ(link(25).restLength, 5.0f);
    EXPECT_FALSE(doc.LinkSelectedNodes(true));
    Select({a, c});
    ASSERT_TRUE(doc.LinkSelectedNodes(true));
    EXPECT_EQ(link(26).restLength, 0.0f);
    Select({kNeck, kWaist});  // figure link 0
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(link(0).inUse, 1);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{strings::kAlreadyLinked, strings::kCannotUnlink}));

    Select({a, b, c});
    ExpectRefused([&] { EXPECT_FALSE(doc.LinkSelectedNodes(false)); });
    Select({a, b});
    doc.UnlinkSelectedNodes();
    EXPECT_EQ(InUse(doc.pools.links), 26);
    for (SceneLink& any : doc.pools.links)
        any.inUse = 1;
    Select({b, c});
    ExpectRefused([&] { EXPECT_FALSE(doc.LinkSelectedNodes(false)); });
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(NodeEditingTest, FiguresAndSheetsAreRefusedWhenSlotsOrPoolsRunOut)
{
    for (int slot = 1; slot < 6; ++slot)
        ASSERT_EQ(doc.AddFigure(), slot);
    EXPECT_EQ(InUse(doc.pools.nodes), 180);
    ExpectRefused([&] { EXPECT_EQ(doc.AddFigure(), kNoIndex); });  // 20 nodes left, a figure needs 30

    doc.ResetScene();
    ASSERT_TRUE(doc.AddSheet(true) == 0 && doc.AddSheet(true) == 1);
    ExpectRefused([&] { EXPECT_EQ(doc.AddSheet(true), kNoIndex); });  // 108 links left, 196 needed
    EXPECT_EQ(doc.sheets[2].active, 0);

    doc.ResetScene();
    for (Figure& f : doc.figures)
        f.active = 1;
    for (NodeSheet& sheet : doc.sheets)
        sheet.active = 1;
    ExpectRefused([&] {
        EXPECT_EQ(doc.AddFigure(), kNoIndex);
        EXPECT_EQ(doc.AddSheet(false), kNoIndex);
    });
}

TEST_F(NodeEditingTest, GrowMeshOutOfMemoryDiscardsTheMeshAndSaysSo)
{
    test::AddVertex(doc, Vec3(1, 1, 1));
    doc.polygonCount = kMaxMeshEntries + 1;  // a count no memory could hold
    EXPECT_TRUE(doc.GrowMesh());
    EXPECT_TRUE(doc.vertexCount + doc.polygonCount == 0 && doc.PolygonCapacity() == 2010);
    EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kOutOfMemory});
}

} // namespace
} // namespace qm
