#pragma once

#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "formats/DxfImport.h"
#include "formats/RokImport.h"
#include "platform/Keyboard.h"
#include "platform/Messages.h"
#include "platform/Settings.h"
#include "scene/BodyDoc.h"
#include "view/BodyView.h"

namespace qm::test {

// Appends vertices and polygons the way the importers do: raise the count,
// grow, store.
inline int AddVertex(CBodyDoc& doc, Vec3 p, int group = 0)
{
    const int v = doc.vertexCount++;
    doc.GrowMesh();
    doc.restVertices[static_cast<size_t>(v)] = p;
    doc.vertexGroup[static_cast<size_t>(v)] = group;
    return v;
}

inline int AddPolygon(CBodyDoc& doc, int a, int b, int c, int d, int colour = 0)
{
    const int p = doc.polygonCount++;
    doc.GrowMesh();
    doc.polygonCorners[static_cast<size_t>(p)] = {a, b, c, d};
    doc.polygonColour[static_cast<size_t>(p)] = colour;
    return p;
}

inline void ExpectNear(const Vec3& v, double x, double y, double z, double tolerance = 1e-5)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

template <class Pool> int InUse(const Pool& pool)
{
    int n = 0;
    for (const auto& entry : pool)
        n += entry.inUse ? 1 : 0;
    return n;
}

inline ExchangeResult ImportDxfText(CBodyDoc& doc, const std::string& text)
{
    std::istringstream in(text);
    return ImportDxf(doc, in);
}

inline ExchangeResult ImportRokText(CBodyDoc& doc, const std::string& text)
{
    std::istringstream in(text);
    return ImportRok(doc, in);
}

// Figure slot 0 stands as a freshly reset scene has it.
inline void ExpectDefaultRestPose(CBodyDoc& doc)
{
    RecordingMessages quiet;
    CBodyDoc fresh(quiet);
    fresh.ResetScene();
    for (int j = 0; j < kFigureJoints; ++j) {
        EXPECT_EQ(JointNode(doc.figures[0], j).restPosition, JointNode(fresh.figures[0], j).restPosition) << j;
        EXPECT_EQ(JointNode(doc.figures[0], j).position, JointNode(fresh.figures[0], j).position) << j;
    }
}

// Every polygon corner names a vertex of the mesh and every vertex a node.
inline void ExpectIndicesInside(const CBodyDoc& doc)
{
    for (int p = 0; p < doc.polygonCount; ++p)
        for (int32_t c : doc.polygonCorners[static_cast<size_t>(p)])
            ASSERT_TRUE(c >= 0 && c < doc.vertexCount) << "polygon " << p << " corner " << c;
    for (int v = 0; v < doc.vertexCount; ++v)
        ASSERT_TRUE(doc.boundNode[static_cast<size_t>(v)] >= 0 &&
                    doc.boundNode[static_cast<size_t>(v)] < kNodePoolSize);
}

// Stands in for the renderer: records what the view hands it.
class RecordingFrames final : public FrameSink {
public:
    void RenderFrame() override { edgeWidthAtFrame.push_back(edgeWidth); }
    void ResetFrameCounter() override { ++counterResets; }
    void SetEdgeWidthInWorld(float width) override { edgeWidth = width; }

    std::vector<float> edgeWidthAtFrame;
    float edgeWidth = -1.0f;
    int counterResets = 0;
};

// A reset scene under a view whose settings live in memory, with a keyboard
// and a frame recorder.
class ViewTest : public ::testing::Test {
protected:
    ViewTest()
    {
        doc.ResetScene();
        Start();
    }

    // A new view over the same scene, as a new start would make it, with the
    // settings as they stand.
    void Start()
    {
        view.reset();
        view = std::make_unique<CBodyView>(doc, settings);
        view->SetFrameSink(&frames);
    }

    void Step(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(view->AnimateStep(true, keys));
    }
    SceneViewState& state() { return view->State(); }
    CameraMotion& motion() { return view->Motion(); }
    SceneNode& node(int i) { return doc.pools.nodes[static_cast<size_t>(i)]; }

    RecordingMessages messages;
    CBodyDoc doc{messages};
    MemorySettings settings;
    RecordingFrames frames;
    std::unique_ptr<CBodyView> view;
    LatchedKeyboard keys;
};

} // namespace qm::test
