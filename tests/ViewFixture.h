#pragma once

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Keyboard.h"
#include "platform/Messages.h"
#include "platform/Settings.h"
#include "view/BodyView.h"

namespace qm::test {

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
