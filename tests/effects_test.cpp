// Motion blur, anti-aliasing and depth of field, by both methods, drawn by
// OSMesa and read back.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "SceneFixtures.h"
#include "platform/Clock.h"
#include "platform/OsMesaSurface.h"
#include "platform/Settings.h"
#include "render/Effects.h"
#include "render/FrameRenderer.h"
#include "render/ViewFrames.h"
#include "view/BodyView.h"

namespace qm {
namespace {

using Image = std::vector<uint8_t>;  // RGB rows, top row first
using Mix = std::vector<double>;     // the same, unrounded

constexpr int kWidth = 200, kHeight = 150;

Mix Blend(const Mix& a, const Image& b, double weightOfB)
{
    Mix out(b.size());
    for (size_t i = 0; i < b.size(); ++i)
        out[i] = (1.0 - weightOfB) * a[i] + weightOfB * b[i];
    return out;
}

Mix AsMix(const Image& image)
{
    return Mix(image.begin(), image.end());
}

// The largest difference of any channel of any pixel.
double MaxDifference(const Image& image, const Mix& expected)
{
    double most = 0.0;
    for (size_t i = 0; i < image.size(); ++i)
        most = std::max(most, std::abs(image[i] - expected[i]));
    return most;
}

// Pixels of image whose colour appears nowhere in reference: the mixed
// colours of softened edges.
int NewColours(const Image& image, const Image& reference)
{
    std::set<std::tuple<int, int, int>> known;
    for (size_t i = 0; i < reference.size(); i += 3)
        known.insert({reference[i] / 8, reference[i + 1] / 8, reference[i + 2] / 8});
    int count = 0;
    for (size_t i = 0; i < image.size(); i += 3)
        count += known.count({image[i] / 8, image[i + 1] / 8, image[i + 2] / 8}) == 0;
    return count;
}

// A view and its renderer over a few squares in front of the camera. The
// background is not black, so that a clear to black left behind shows, and
// the light saturates nothing, so that every mix shows.
class EffectsTest : public ::testing::Test {
protected:
    EffectsTest()
    {
        doc.ResetScene();
        for (const auto& [key, value] : {std::pair{"DrawCount", "0"}, {"BackColorR", "0.2"}, {"BackColorG", "0.4"},
                                         {"BackColorB", "0.6"}, {"SpecularR", "0"}, {"SpecularG", "0"},
                                         {"SpecularB", "0"}, {"AmbientR", "0.1"}, {"AmbientG", "0.1"},
                                         {"AmbientB", "0.1"}, {"DiffuseR", "0.6"}, {"DiffuseG", "0.6"},
                                         {"DiffuseB", "0.6"}, {"DrawGround", "0"}, {"DrawShadow", "0"}})
            Set(key, value);
    }

    void Set(const char* key, const char* value) { settings.Write(ViewOptions::SectionOf(key), key, value); }

    // A square of side 2h facing the eye on the -y side.
    void AddSquare(const Vec3& c, float h, int colour)
    {
        using test::AddVertex;
        const int a = AddVertex(doc, c + Vec3(-h, 0, -h)), b = AddVertex(doc, c + Vec3(-h, 0, h));
        const int d = AddVertex(doc, c + Vec3(h, 0, h)), e = AddVertex(doc, c + Vec3(h, 0, -h));
        test::AddPolygon(doc, a, b, d, e, colour);
        doc.RecomputeNormals();
    }

    // A new view and renderer with the settings as they stand, as at a start.
    void Start(int accumBits = 16)
    {
        frames.reset();
        renderer.reset();
        view.reset();
        if (!surface || accumBits != surfaceAccumBits) {
            surface = std::make_unique<OsMesaSurface>(kWidth, kHeight, accumBits);
            surfaceAccumBits = accumBits;
        }
        view = std::make_unique<CBodyView>(doc, settings);
        SceneViewState& state = view->State();
        state.cameraTarget = Vec3(0, 0, 0);
        state.cameraDistance = 20.0f;
        state.cameraElevation = 0.0f;
        state.cameraAzimuth = float(-M_PI / 2);
        state.lightPosition = Vec3(0, -1000, 0);
        renderer = std::make_unique<FrameRenderer>(*surface, clock, messages, doc, view->Options(), state);
        frames = std::make_unique<ViewFrames>(*renderer);
        view->SetFrameSink(frames.get());
    }

    // The image after n frames. The first frame of a renderer lights the
    // scene from where no camera has been yet, hence two by default.
    Image Draw(int n = 2)
    {
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(renderer->RenderFrame(), FrameRenderer::FrameResult::Drawn);
        return surface->ReadRgb();
    }

    Image Capture(int k) const { return ReadCaptureTexture(renderer->CaptureTextures()[size_t(k)], kWidth, kHeight); }

    RecordingMessages messages;
    CBodyDoc doc{messages};
    MemorySettings settings;
    ManualClock clock;
    std::unique_ptr<OsMesaSurface> surface;
    int surfaceAccumBits = 0;
    std::unique_ptr<CBodyView> view;
    std::unique_ptr<FrameRenderer> renderer;
    std::unique_ptr<ViewFrames> frames;
};

// A red square with a nearer green one over its corner, drawn first, so that
// only the depth test keeps the green in front.
class AntiAliasingTest : public EffectsTest {
protected:
    AntiAliasingTest()
    {
        AddSquare(Vec3(1.5f, -2, 1), 1.2f, 3);
        AddSquare(Vec3(0, 0, 0), 2.0f, 1);
    }
};

TEST_F(AntiAliasingTest, TexturePathShowsTheMeanOfTheEightJitteredPasses)
{
    Set("UseAntiEdge", "1");
    Start();
    const Image shown = Draw();
    EXPECT_TRUE(renderer->TexturesAllocated());

    Mix mean(shown.size(), 0.0);
    std::set<Image> distinct;
    for (int k = 0; k < kMaxPasses; ++k) {
        const Image pass = Capture(k);
        distinct.insert(pass);
        mean = Blend(mean, pass, 1.0 / (k + 1));
    }
    EXPECT_EQ(distinct.size(), size_t(kMaxPasses));  // each pass jittered its own way
    EXPECT_LE(MaxDifference(shown, mean), 2.0);
}

TEST_F(AntiAliasingTest, BothMethodsSoftenTheEdgesAlike)
{
    Start();
    const Image plain = Draw();

    Set("UseAntiEdge", "1");
    Start();
    const Image fast = Draw();
    const Vec3 fastCorner = renderer->ProjectPoint(Vec3(2, 0, 2));

    Set("UseFastBlower", "0");
    Start();
    const Image accumulated = Draw();
    EXPECT_FALSE(renderer->TexturesAllocated());
    EXPECT_LE(MaxDifference(accumulated, AsMix(fast)), 2.0);
    // The quads' projection is gone again: picking sees the last pass's camera.
    const Vec3 corner = renderer->ProjectPoint(Vec3(2, 0, 2));
    EXPECT_FLOAT_EQ(corner.x, fastCorner.x);
    EXPECT_FLOAT_EQ(corner.y, fastCorner.y);

    // The perimeters of both squares are a few hundred pixels.
    EXPECT_GT(NewColours(fast, plain), 100);
    EXPECT_GT(NewColours(accumulated, plain), 100);
}

// Without an accumulation buffer the texture copies stand in, rather than
// the switch being on and the image plain.
TEST_F(AntiAliasingTest, TexturesStandInForAMissingAccumulationBuffer)
{
    Set("UseAntiEdge", "1");
    Start();
    const Image fast = Draw();

    Set("UseFastBlower", "0");
    Start(0);
    ASSERT_FALSE(surface->HasAccumBuffer());
    EXPECT_EQ(Draw(), fast);
    EXPECT_TRUE(renderer->TexturesAllocated());
}

TEST_F(AntiAliasingTest, TexturesAreAllocatedAgainAfterAResize)
{
    Set("UseAntiEdge", "1");
    Start();
    renderer->OnSize(100, 60);  // textures of 128 x 64
    Draw();
    ASSERT_TRUE(renderer->TexturesAllocated());

    renderer->OnSize(kWidth, kHeight);  // 256 x 256
    EXPECT_FALSE(renderer->TexturesAllocated());
    const Image resized = Draw(1);
    EXPECT_TRUE(renderer->TexturesAllocated());

    Start();
    EXPECT_LE(MaxDifference(resized, AsMix(Draw())), 1.0);
}

// The target plane, a nearer and a farther square, apart on screen.
TEST_F(EffectsTest, DepthOfFieldKeepsTheTargetPlaneSharp)
{
    struct Square {
        Vec3 centre;
        float h;
    };
    const Square focused{Vec3(0, 0, 0), 1.5f}, nearer{Vec3(-3, -8, 0), 0.8f}, farther{Vec3(9, 15, 0), 2.0f};
    for (const Square& s : {focused, nearer, farther})
        AddSquare(s.centre, s.h, 1);
    Start();
    const Image plain = Draw();

    // The part of image around a square, and the same part of the plain frame.
    auto around = [&](const Image& image, const Square& s) {
        const Vec3 a = renderer->ProjectPoint(s.centre + Vec3(-s.h, 0, s.h));
        const Vec3 b = renderer->ProjectPoint(s.centre + Vec3(s.h, 0, -s.h));
        Image part;
        for (int y = std::max(0, int(std::min(a.y, b.y)) - 8); y <= std::min(kHeight - 1, int(std::max(a.y, b.y)) + 8);
             ++y)
            for (int x = std::max(0, int(std::min(a.x, b.x)) - 8);
                 x <= std::min(kWidth - 1, int(std::max(a.x, b.x)) + 8); ++x)
                part.insert(part.end(), &image[(size_t(y) * kWidth + size_t(x)) * 3],
                            &image[(size_t(y) * kWidth + size_t(x)) * 3 + 3]);
        return part;
    };
    Set("UseDepth", "1");
    for (const char* fast : {"1", "0"}) {
        SCOPED_TRACE(fast);
        Set("UseFastBlower", fast);
        Start();
        const Image image = Draw();
        EXPECT_LE(MaxDifference(around(image, focused), AsMix(around(plain, focused))), 2.0);
        EXPECT_GT(NewColours(around(image, nearer), plain), 40);
        EXPECT_GT(NewColours(around(image, farther), plain), 40);
    }
}

// A square moving right by a fifth of its width a frame.
class MotionBlurTest : public EffectsTest {
protected:
    MotionBlurTest()
    {
        AddSquare(Vec3(0, 0, 0), 2.0f, 1);
        rest = doc.pools.nodes[0].position;
    }

    void MoveTo(int step) { doc.pools.nodes[0].position = rest + Vec3(0.8f * step, 0, 0); }

    // The plain image of each step.
    std::vector<Image> PlainSteps(int count)
    {
        std::vector<Image> images;
        for (int step = 0; step < count; ++step) {
            MoveTo(step);
            images.push_back(Draw());
        }
        return images;
    }

    // Frames at steps first.. of a blur that starts now: the current image
    // for warmUp frames, then half the last result and half the current image.
    void ExpectBlur(const std::vector<Image>& plain, int first, int count, int warmUp)
    {
        Mix result;
        for (int n = 0; n < count; ++n) {
            MoveTo(first + n);
            const Image& current = plain[size_t(first + n)];
            result = n < warmUp ? AsMix(current) : Blend(result, current, 0.5);
            EXPECT_LE(MaxDifference(Draw(1), result), 2.0) << "frame " << n << " at step " << first + n;
        }
    }

    Vec3 rest;
};

TEST_F(MotionBlurTest, EachFrameIsHalfThePreviousResultAndHalfTheCurrentImage)
{
    Start();
    const std::vector<Image> plain = PlainSteps(8);

    ASSERT_TRUE(view->Execute(kCmdMotionBlur));
    ExpectBlur(plain, 0, 4, 1);
    // The accumulation buffer has only old images: it starts again, and
    // keeps the first two frames as they are.
    ASSERT_TRUE(view->Execute(kCmdFastEffects));
    ExpectBlur(plain, 4, 4, 2);
    // So do the textures, which still hold the blur of before.
    ASSERT_TRUE(view->Execute(kCmdFastEffects));
    ExpectBlur(plain, 0, 4, 1);
}

// Switched on together (the menu keeps them apart, the settings file need
// not), both methods blur within the frame rather than across frames.
TEST_F(MotionBlurTest, WithAntiAliasingEachMethodMixesPassesOfTheSameFrame)
{
    Set("UseAntiEdge", "1");
    Start();
    MoveTo(0);
    Draw();
    const Image pass0 = Capture(0), pass1 = Capture(1), pass7 = Capture(kMaxPasses - 1);
    Set("UseFastBlower", "0");
    Start();
    const Image accumulatedMean = Draw();

    Set("UseMotionBlower", "1");
    for (const char* fast : {"1", "0"}) {
        SCOPED_TRACE(fast);
        Set("UseFastBlower", fast);
        Start();
        Draw(1);
        frames->ResetFrameCounter();  // as switching the blur on does
        MoveTo(0);
        if (*fast == '1') {
            // Texture 1 holds pass 1 of this frame, not the last result.
            EXPECT_EQ(Draw(1), pass0);
            EXPECT_LE(MaxDifference(Draw(1), Blend(AsMix(pass0), pass1, 0.5)), 2.0);
            EXPECT_LE(MaxDifference(Draw(1), Blend(AsMix(pass0), pass1, 0.5)), 2.0);
        } else {
            // The last pass is left in the colour buffer to be mixed in.
            EXPECT_LE(MaxDifference(Draw(1), AsMix(pass7)), 1.0);
            EXPECT_LE(MaxDifference(Draw(1), AsMix(pass7)), 1.0);
            EXPECT_LE(MaxDifference(Draw(1), Blend(AsMix(accumulatedMean), pass7, 0.5)), 2.0);
            EXPECT_LE(MaxDifference(Draw(1), Blend(AsMix(accumulatedMean), pass7, 0.5)), 2.0);
        }
    }
}

} // namespace
} // namespace qm
