#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"
#include "tools/SampleFigure.h"

namespace qm {
namespace {

class SampleTest : public ::testing::Test {
  protected:
    SampleTest() { EXPECT_TRUE(BuildSampleFigure(doc)); }

    const Vec3& At(int32_t v) const { return doc.restVertices[static_cast<size_t>(v)]; }

    RecordingMessages messages;
    CBodyDoc doc{messages};
};

TEST_F(SampleTest, CommittedSampleIsWhatTheGeneratorMakes)
{
    const std::string path = std::string(QM_SOURCE_DIR) + "/samples/figure.abd";
    std::string committed;
    ASSERT_EQ(ReadWholeFile(path, committed), FileRead::Ok) << path;
    const std::vector<uint8_t> now = SaveScene(doc);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), committed.begin(), committed.end(), [](uint8_t a, char b) {
        return a == static_cast<uint8_t>(b);
    })) << "samples/figure.abd is out of date: run build/tools/make_sample samples/figure.abd";
}

// Every part is a closed surface whose polygons run the same way round (each
// edge met once in each direction) and enclose a positive volume with the
// renderer's face orientation, (p2 - p0) x (p1 - p0): no face shows its back.
// In the skeleton edit mode 21 joints of the figure each show a piece of it.
TEST_F(SampleTest, PartsAreClosedFaceOutwardsAndShowOnTheirJoints)
{
    EXPECT_TRUE(messages.shown.empty());
    std::map<std::pair<int32_t, int32_t>, int> edges;
    std::vector<int32_t> parent(static_cast<size_t>(doc.vertexCount));
    for (size_t v = 0; v < parent.size(); ++v)
        parent[v] = int32_t(v);
    auto root = [&](int32_t v) {
        while (parent[size_t(v)] != v)
            v = parent[size_t(v)] = parent[size_t(parent[size_t(v)])];
        return v;
    };
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[0] != c[2]) << "polygon " << p;
        for (size_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(c[i] >= 0 && c[i] < doc.vertexCount) << "polygon " << p;
            if (c[i] != c[(i + 1) % 4])
                ++edges[{c[i], c[(i + 1) % 4]}];
            parent[size_t(root(c[i]))] = root(c[0]);
        }
    }
    for (const auto& [edge, count] : edges) {
        ASSERT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second << " is run the same way twice";
        ASSERT_EQ(edges.count({edge.second, edge.first}), 1u) << "edge " << edge.first << "-" << edge.second;
    }
    std::map<int32_t, double> volume;
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        const Vec3 &p0 = At(c[0]), &p1 = At(c[1]), &p2 = At(c[2]), &p3 = At(c[3]);
        volume[root(c[0])] += (p0.Dot(Cross(p2 - p0, p1 - p0)) + p0.Dot(Cross(p3 - p0, p2 - p0))) / 6.0;
    }
    EXPECT_GE(volume.size(), 11u);  // head, neck, torso and two of each limb part
    for (const auto& [part, v] : volume)
        EXPECT_GT(v, 0.01) << "the part holding vertex " << part << " is turned inside out";

    const Figure& figure = doc.figures[0];
    std::set<int> carried;
    for (int v = 0; v < doc.vertexCount; ++v)
        carried.insert(int(std::find(figure.joint.begin(), figure.joint.end(), doc.boundNode[size_t(v)]) -
                           figure.joint.begin()));
    EXPECT_EQ(carried.size(), 21u);
    EXPECT_EQ(carried.count(kFigureJoints), 0u) << "a vertex bound outside the figure";
}

} // namespace
} // namespace qm
