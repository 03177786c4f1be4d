#pragma once

// Frames drawn by OSMesa into a small surface and read back pixel by pixel.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "platform/Clock.h"
#include "platform/OsMesaSurface.h"
#include "platform/Settings.h"
#include "render/FrameRenderer.h"

namespace qm::test {

struct Pixel {
    int r, g, b;
    int Sum() const { return r + g + b; }
};

constexpr int kWidth = 200, kHeight = 150;

class RenderTest : public ::testing::Test {
protected:
    RenderTest()
    {
        doc.AttachViewState(&view);
        doc.ResetScene();
        view.cameraTarget = Vec3(0, 0, 0);
        view.cameraDistance = 20.0f;
        view.cameraElevation = 0.0f;
        view.cameraAzimuth = float(-M_PI / 2);  // eye on the -y side, where the figure faces
        view.lightPosition = Vec3(0, -1000, 0);
        view.groupBinding = false;
        // A light that saturates nothing and adds no highlights, so that
        // shading differences show in the pixels.
        for (const char* key : {"SpecularR", "SpecularG", "SpecularB"})
            Set(key, "0");
        for (const char* key : {"AmbientR", "AmbientG", "AmbientB"})
            Set(key, "0.1");
        for (const char* key : {"DiffuseR", "DiffuseG", "DiffuseB"})
            Set(key, "0.6");
        // The mesh alone on the background unless a test asks for more.
        Set("DrawGround", "0");
        Set("DrawShadow", "0");
    }

    void Set(const char* key, const char* value) { settings.Write(ViewOptions::SectionOf(key), key, value); }

    FrameRenderer& Renderer()
    {
        if (!renderer) {
            options = std::make_unique<ViewOptions>(settings);
            renderer = std::make_unique<FrameRenderer>(surface, clock, messages, doc, *options, view);
        }
        return *renderer;
    }

    // Two frames, so that the light stands where the previous frame's camera put it.
    void Draw(int frames = 2)
    {
        for (int i = 0; i < frames; ++i)
            ASSERT_EQ(Renderer().RenderFrame(), FrameRenderer::FrameResult::Drawn);
    }

    Pixel At(int x, int y) const
    {
        uint8_t rgb[3];
        surface.Pixel(x, y, rgb);
        return {rgb[0], rgb[1], rgb[2]};
    }
    Pixel AtScene(const Vec3& p)
    {
        const Vec3 w = Renderer().ProjectPoint(p);
        return At(int(std::lround(w.x)), int(std::lround(w.y)));
    }

    // A square of side 2h in the plane y = 0 facing -y (towards the eye).
    void AddSquare(float h, int colour, float x = 0, int group = 0)
    {
        const int a = AddVertex(doc, Vec3(x - h, 0, -h), group), b = AddVertex(doc, Vec3(x - h, 0, h), group);
        const int c = AddVertex(doc, Vec3(x + h, 0, h), group), d = AddVertex(doc, Vec3(x + h, 0, -h), group);
        AddPolygon(doc, a, b, c, d, colour);
    }

    MemorySettings settings;
    RecordingMessages messages;
    ManualClock clock;
    SceneViewState view;
    CBodyDoc doc{messages};
    OsMesaSurface surface{kWidth, kHeight};
    std::unique_ptr<ViewOptions> options;
    std::unique_ptr<FrameRenderer> renderer;
};

} // namespace qm::test
