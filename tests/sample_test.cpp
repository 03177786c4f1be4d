#include <algorithm>
#include <set>
#include <string>
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

// In the skeleton edit mode 21 joints of the figure each show a piece of the mesh.
TEST_F(SampleTest, TheMeshShowsOnTwentyOneJoints)
{
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
