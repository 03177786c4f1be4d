// Frames per second of RenderFrame at 800 x 600 under OSMesa, next to the
// practical limit of this GL: the same quads, lit the same way, drawn with
// one glDrawArrays from a vertex buffer built once. Then each display style
// against the plain frame, and the band split on its own.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "bench/Ratio.h"
#include "platform/Clock.h"
#include "platform/OsMesaSurface.h"
#include "platform/Settings.h"
#include "render/AnimeShading.h"
#include "render/FrameRenderer.h"
#include "scene/SceneFile.h"

namespace {

using namespace qm;

constexpr int kWidth = 800, kHeight = 600;

class NoMessages : public MessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

// A sphere of about 100 000 quads in front of the camera.
void FillSphere(CBodyDoc& doc)
{
    constexpr int kRings = 250, kSegments = 400;
    for (int r = 0; r <= kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const double th = M_PI * r / kRings, ph = 2 * M_PI * s / kSegments;
            const int v = doc.vertexCount++;
            doc.GrowMesh();
            doc.restVertices[size_t(v)] = Vec3::FromDouble(8 * std::sin(th) * std::cos(ph),
                                                           8 * std::sin(th) * std::sin(ph), 8 * std::cos(th));
        }
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const int p = doc.polygonCount++;
            doc.GrowMesh();
            const int a = r * kSegments + s, b = r * kSegments + (s + 1) % kSegments;
            doc.polygonCorners[size_t(p)] = {a, b, b + kSegments, a + kSegments};  // normals outwards
            doc.polygonColour[size_t(p)] = 11 + (r / 10) % 240;
        }
}

struct Scene {
    enum Model { kSphere, kSample };
    NoMessages messages;
    MemorySettings settings;
    ManualClock clock;
    SceneViewState view;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    OsMesaSurface surface{kWidth, kHeight};
    std::unique_ptr<ViewOptions> options;
    std::unique_ptr<FrameRenderer> renderer;

    // Switches by their keys; the floor and the shadow are off unless named.
    Scene(Model model, bool flat, std::initializer_list<std::pair<const char*, const char*>> switches = {})
    {
        doc->AttachViewState(&view);
        doc->ResetScene();
        if (model == kSample) {
            LoadSceneFile(*doc, QM_SAMPLE_FIGURE);
        } else {
            FillSphere(*doc);
            doc->RecomputeNormals();
            doc->BindMeshToNodes();
            view.cameraTarget = Vec3(0, 0, 0);
            view.cameraDistance = 30.0f;
            view.cameraElevation = 0.3f;
        }
        settings.Write("View", "DrawCount", "0");
        settings.Write("View", "UseFlatShade", flat ? "1" : "0");
        settings.Write("View", "DrawGround", "0");
        settings.Write("View", "DrawShadow", "0");
        for (const auto& [key, value] : switches)
            settings.Write("View", key, value);
        options = std::make_unique<ViewOptions>(settings);
        renderer = std::make_unique<FrameRenderer>(surface, clock, messages, *doc, *options, view);
        renderer->RenderFrame();
    }
};

void BM_RenderFrame(benchmark::State& state)
{
    Scene scene(Scene::Model(state.range(0)), state.range(1) != 0);
    for (auto _ : state)
        scene.renderer->RenderFrame();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["quads"] = scene.doc->polygonCount;
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"sample", "flat"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same quads with per-corner positions, normals and colours in one buffer.
void BM_VertexBufferReference(benchmark::State& state)
{
    Scene scene(Scene::Model(state.range(0)), false);
    const CBodyDoc& doc = *scene.doc;
    std::vector<float> data;
    data.reserve(size_t(doc.polygonCount) * 4 * 9);
    for (int p = 0; p < doc.polygonCount; ++p) {
        const Rgb c = doc.GetColour(doc.polygonColour[size_t(p)]);
        for (int32_t v : doc.polygonCorners[size_t(p)]) {
            const Vec3 &x = doc.restVertices[size_t(v)], &n = doc.vertexNormals[size_t(v)];
            data.insert(data.end(), {x.x, x.y, x.z, n.x, n.y, n.z, c.r, c.g, c.b});
        }
    }
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.size() * sizeof(float)), data.data(), GL_STATIC_DRAW);
    const GLsizei stride = 9 * sizeof(float);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, nullptr);
    glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(3 * sizeof(float)));
    glColorPointer(3, GL_FLOAT, stride, reinterpret_cast<const void*>(6 * sizeof(float)));
    glDisable(GL_CULL_FACE);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawArrays(GL_QUADS, 0, GLsizei(data.size() / 9));
        glFinish();
        scene.surface.Present();
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VertexBufferReference)->ArgName("sample")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

const bench::DeclareRatio sphereSmooth("BM_RenderFrame/sample:0/flat:0/real_time", "BM_VertexBufferReference/sample:0/real_time");
const bench::DeclareRatio sphereFlat("BM_RenderFrame/sample:0/flat:1/real_time", "BM_VertexBufferReference/sample:0/real_time");
const bench::DeclareRatio sampleSmooth("BM_RenderFrame/sample:1/flat:0/real_time", "BM_VertexBufferReference/sample:1/real_time");
const bench::DeclareRatio sampleFlat("BM_RenderFrame/sample:1/flat:1/real_time", "BM_VertexBufferReference/sample:1/real_time");

// The sample at 800 x 600 with each combination of the effects: texture
// copies or accumulation buffer, motion blur, eight anti-aliasing passes
// (depth of field makes the same passes). Read against the plain frame.
void BM_Effects(benchmark::State& state)
{
    const auto on = [&](int arg) { return state.range(arg) != 0 ? "1" : "0"; };
    Scene scene(Scene::kSample, false,
                {{"UseFastBlower", on(0)}, {"UseMotionBlower", on(1)}, {"UseAntiEdge", on(2)}, {"UseDepth", "0"}});
    for (auto _ : state)
        scene.renderer->RenderFrame();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Effects)
    ->ArgNames({"fast", "blur", "aa"})
    ->ArgsProduct({{1, 0}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

const bench::DeclareRatio effects[] = {
    {"BM_Effects/fast:1/blur:1/aa:0/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:1/blur:0/aa:1/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:1/blur:1/aa:1/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:0/blur:0/aa:0/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:0/blur:1/aa:0/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:0/blur:0/aa:1/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
    {"BM_Effects/fast:0/blur:1/aa:1/real_time", "BM_Effects/fast:1/blur:0/aa:0/real_time"},
};

// One display style on at a time, against the plain smooth frame.
constexpr const char* kStyles[] = {"AnimeShade", "UseEdge", "DrawShadow", "DrawGround"};

void BM_StyledFrame(benchmark::State& state)
{
    Scene scene(Scene::Model(state.range(0)), false, {{kStyles[state.range(1)], "1"}});
    for (auto _ : state)
        scene.renderer->RenderFrame();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(kStyles[state.range(1)]);
}
BENCHMARK(BM_StyledFrame)
    ->ArgNames({"sample", "style"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

const bench::DeclareRatio sphereAnime("BM_StyledFrame/sample:0/style:0/real_time", "BM_RenderFrame/sample:0/flat:0/real_time");
const bench::DeclareRatio sphereEdge("BM_StyledFrame/sample:0/style:1/real_time", "BM_RenderFrame/sample:0/flat:0/real_time");
const bench::DeclareRatio sphereShadow("BM_StyledFrame/sample:0/style:2/real_time", "BM_RenderFrame/sample:0/flat:0/real_time");
const bench::DeclareRatio sphereGround("BM_StyledFrame/sample:0/style:3/real_time", "BM_RenderFrame/sample:0/flat:0/real_time");
const bench::DeclareRatio sampleAnime("BM_StyledFrame/sample:1/style:0/real_time", "BM_RenderFrame/sample:1/flat:0/real_time");
const bench::DeclareRatio sampleEdge("BM_StyledFrame/sample:1/style:1/real_time", "BM_RenderFrame/sample:1/flat:0/real_time");
const bench::DeclareRatio sampleShadow("BM_StyledFrame/sample:1/style:2/real_time", "BM_RenderFrame/sample:1/flat:0/real_time");
const bench::DeclareRatio sampleGround("BM_StyledFrame/sample:1/style:3/real_time", "BM_RenderFrame/sample:1/flat:0/real_time");

// Counts the pieces instead of drawing them.
class CountedPieces final : public BandPieceSink {
public:
    void DrawBandPolygon(const Vec3*, int count, int, int) override { points += count; }
    long points = 0;
};

// The split alone over the sphere's quads lit from the side, where most quads
// lie in one band, and with every quad cut by all three thresholds.
void BM_SplitQuadIntoBands(benchmark::State& state)
{
    NoMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    FillSphere(doc);
    doc.RecomputeNormals();
    const bool allCut = state.range(0) != 0;
    const AnimeShadeThresholds thresholds{0.0f, 0.1f, 0.8f};
    CountedPieces pieces;
    BandSplitter splitter(thresholds, Vec3(-1000, 0, 0), pieces);
    const Vec3 cutNormals[4] = {Vec3(-1, 0, 0), Vec3(1, 0, 0), Vec3(1, 0, 0), Vec3(-1, 0, 0)};
    for (auto _ : state)
        for (int p = 0; p < doc.polygonCount; ++p) {
            const PolygonCorners& c = doc.polygonCorners[size_t(p)];
            Vec3 points[4], normals[4];
            for (size_t k = 0; k < 4; ++k) {
                points[k] = doc.restVertices[size_t(c[k])];
                normals[k] = allCut ? cutNormals[k] : doc.vertexNormals[size_t(c[k])];
            }
            splitter.SplitQuadIntoBands(points, normals, doc.polygonColour[size_t(p)]);
        }
    benchmark::DoNotOptimize(pieces.points);
    state.counters["quads/s"] =
        benchmark::Counter(double(state.iterations()) * doc.polygonCount, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SplitQuadIntoBands)->ArgName("allCut")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
