// Motion blur, anti-aliasing and depth of field, by both methods, drawn by
// OSMesa and read back.
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "RenderFixture.h"

namespace qm {
namespace {

using test::Image;
using test::kHeight;
using test::kWidth;
using test::RenderTest;
using Mix = std::vector<double>;  // an image unrounded

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

// A red square with a nearer green one over its corner, drawn first, so that
// only the depth test keeps the green in front. Both methods soften the edges
// alike.
// Without an accumulation buffer the texture copies stand in, rather than the
// switch being on and the image plain; they follow a new size at the next frame.
TEST_F(RenderTest, AntiAliasingShowsTheMeanOfEightJitteredPassesEitherWay)
{
    AddSquare(Vec3(1.5f, -2, 1), 1.2f, 3);
    AddSquare(Vec3(0, 0, 0), 2.0f, 1);
    const Image plain = Draw();
    Set("UseAntiEdge", "1");
    const Image fast = Draw();
    const Vec3 fastCorner = renderer->ProjectPoint(Vec3(2, 0, 2));

    Set("UseFastBlower", "0");
    const Image accumulated = Draw();
    EXPECT_LE(MaxDifference(accumulated, AsMix(fast)), 2.0);
    // Picking sees the last pass's camera, not the quads' projection.
    EXPECT_EQ(renderer->ProjectPoint(Vec3(2, 0, 2)), fastCorner);
    // The perimeters of both squares are a few hundred pixels.
    EXPECT_GT(NewColours(fast, plain), 100);
    EXPECT_GT(NewColours(accumulated, plain), 100);

    Start(0);  // no accumulation buffer
    EXPECT_EQ(Draw(), fast);

    renderer->OnSize(0, 0);  // minimised: nothing changes
    Draw();
    renderer->OnSize(100, 60);
    Draw();
    renderer->OnSize(kWidth, kHeight);
    EXPECT_LE(MaxDifference(Draw(1), AsMix(fast)), 1.0);
}

// The target plane, a nearer and a farther square, apart on screen: the
// pixels on either side of a left edge stay as they were only for the first.
TEST_F(RenderTest, DepthOfFieldKeepsTheTargetPlaneSharp)
{
    const std::pair<Vec3, float> squares[] = {{Vec3(0, 0, 0), 1.5f}, {Vec3(-3, -8, 0), 0.8f}, {Vec3(9, 15, 0), 2.0f}};
    for (const auto& [centre, h] : squares)
        AddSquare(centre, h, 1);
    auto edges = [&] {
        Draw();
        std::vector<int> sums;
        for (const auto& [centre, h] : squares) {
            const Vec3 w = renderer->ProjectPoint(centre - Vec3(h, 0, 0));
            for (int dx : {-1, 1})
                sums.push_back(At(int(std::lround(w.x)) + dx, int(std::lround(w.y))).Sum());
        }
        return sums;
    };
    const std::vector<int> sharp = edges();
    Set("UseDepth", "1");
    for (const char* fast : {"1", "0"}) {
        Set("UseFastBlower", fast);
        const std::vector<int> now = edges();
        for (size_t k = 0; k < now.size(); k += 2)
            EXPECT_EQ(std::abs(now[k] - sharp[k]) > 6 || std::abs(now[k + 1] - sharp[k + 1]) > 6, k > 0)
                << "fast " << fast << ", square " << k / 2;
    }
}

// A square moving right by a fifth of its width a frame.
class MotionBlurTest : public RenderTest {
protected:
    MotionBlurTest() { AddSquare(Vec3(0, 0, 0), 2.0f, 1); }

    void MoveTo(int step) { doc.pools.nodes[0].position = rest + Vec3(0.8f * step, 0, 0); }

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

    const Vec3 rest = doc.pools.nodes[0].position;
};

TEST_F(MotionBlurTest, EachFrameIsHalfThePreviousResultAndHalfTheCurrentImage)
{
    std::vector<Image> plain;
    for (int step = 0; step < 8; ++step) {
        MoveTo(step);
        plain.push_back(Draw());
    }
    ASSERT_TRUE(body->Execute(kCmdMotionBlur));
    ExpectBlur(plain, 0, 4, 1);
    // The accumulation buffer has only old images: it starts again, and
    // keeps the first two frames as they are.
    ASSERT_TRUE(body->Execute(kCmdFastEffects));
    ExpectBlur(plain, 4, 4, 2);
    // So do the textures, which still hold the blur of before.
    ASSERT_TRUE(body->Execute(kCmdFastEffects));
    ExpectBlur(plain, 0, 4, 1);
}

} // namespace
} // namespace qm
