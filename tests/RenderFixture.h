#pragma once

#include <cmath>

#include "Fixtures.h"
#include "platform/Clock.h"
#include "platform/OsMesaSurface.h"
#include "render/Effects.h"
#include "render/FrameRenderer.h"
#include "render/ViewFrames.h"

namespace qm::test {

struct Pixel {
    int r, g, b;
    int Sum() const { return r + g + b; }
    bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b; }
};
using Image = std::vector<uint8_t>;  // RGB rows, top row first

constexpr int kWidth = 200, kHeight = 150;

// A view, its renderer and the commands' way to it, over a reset scene seen
// from the -y side, where the figure faces. The light saturates nothing and
// adds no highlights, so that shading differences show in the pixels; the
// mesh is alone on the background unless a test asks for more.
class RenderTest : public ::testing::Test {
protected:
    RenderTest()
    {
        doc.ResetScene();
        for (const char* key : {"SpecularR", "SpecularG", "SpecularB", "DrawGround", "DrawShadow", "DrawCount"})
            Set(key, "0");
        for (const char* c : {"R", "G", "B"}) {
            Set((std::string("Ambient") + c).c_str(), "0.1");
            Set((std::string("Diffuse") + c).c_str(), "0.6");
        }
        view().cameraTarget = Vec3(0, 0, 0);
        view().cameraDistance = 20.0f;
        view().cameraElevation = 0.0f;
        view().cameraAzimuth = float(-M_PI / 2);
        view().lightPosition = Vec3(0, -1000, 0);
        view().groupBinding = false;
    }

    // Writes a setting, which the next frame reads from a new start.
    void Set(const char* key, const char* value)
    {
        settings.Write(ViewOptions::SectionOf(key), key, value);
        started = false;
    }
    SceneViewState& view() { return body->State(); }

    // A new view and renderer with the settings as they stand, as at a start;
    // the camera and the light stay where they were.
    void Start(int accumBits = 16)
    {
        frames.reset();
        renderer.reset();
        const SceneViewState state = view();
        body.reset();  // before the next view attaches itself to the scene
        body = std::make_unique<CBodyView>(doc, settings);
        view() = state;
        surface = std::make_unique<OsMesaSurface>(kWidth, kHeight, accumBits);
        renderer = std::make_unique<FrameRenderer>(*surface, clock, messages, doc, body->Options(), view());
        frames = std::make_unique<ViewFrames>(*renderer);
        body->SetFrameSink(frames.get());
        started = true;
    }
    FrameRenderer& Renderer()
    {
        if (!started)
            Start();
        return *renderer;
    }

    // The image after n frames. The first frame of a renderer lights the
    // scene from where no camera has been yet, hence two by default.
    Image Draw(int n = 2)
    {
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(Renderer().RenderFrame(), FrameRenderer::FrameResult::Drawn);
        return surface->ReadRgb();
    }

    Pixel At(int x, int y) const
    {
        uint8_t rgb[3];
        surface->Pixel(x, y, rgb);
        return {rgb[0], rgb[1], rgb[2]};
    }
    int BlackPixels(int x0 = 0, int y0 = 0, int x1 = kWidth, int y1 = kHeight) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += At(x, y).Sum() == 0;
        return n;
    }
    Pixel AtScene(const Vec3& p) { return At(Renderer().ProjectPoint(p)); }
    Pixel At(const Vec3& w) const { return At(int(std::lround(w.x)), int(std::lround(w.y))); }

    // A square of side 2h facing -y, towards the eye.
    void AddSquare(const Vec3& c, float h, int colour)
    {
        const int a = AddVertex(doc, c + Vec3(-h, 0, -h)), b = AddVertex(doc, c + Vec3(-h, 0, h));
        const int d = AddVertex(doc, c + Vec3(h, 0, h)), e = AddVertex(doc, c + Vec3(h, 0, -h));
        AddPolygon(doc, a, b, d, e, colour);
        doc.RecomputeNormals();
    }

    MemorySettings settings;
    RecordingMessages messages;
    ManualClock clock;
    CBodyDoc doc{messages};
    std::unique_ptr<CBodyView> body = std::make_unique<CBodyView>(doc, settings);
    std::unique_ptr<OsMesaSurface> surface;
    std::unique_ptr<FrameRenderer> renderer;
    std::unique_ptr<ViewFrames> frames;
    bool started = false;
};

} // namespace qm::test
