// Frames per second of RenderFrame at 800 x 600 under OSMesa, next to the
// practical limit of this GL: the same quads, lit the same way, drawn with
// one glDrawArrays from a vertex buffer built once. Then each display style
// and each combination of the effects against the plain frame, and the band
// split on its own.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <memory>
#include <string>
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
using Switches = std::vector<std::pair<std::string, std::string>>;

constexpr int kWidth = 800, kHeight = 600;

class NoMessages : public MessageSink {
public:
    void ShowMessage(const Message&) override {}
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
            doc.restVertices[size_t(v)] =
                Vec3::FromDouble(8 * std::sin(th) * std::cos(ph), 8 * std::sin(th) * std::sin(ph), 8 * std::cos(th));
        }
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const int p = doc.polygonCount++;
            doc.GrowMesh();
            const int a = r * kSegments + s, b = r * kSegments + (s + 1) % kSegments;
            doc.polygonCorners[size_t(p)] = {a, b, b + kSegments, a + kSegments};  // normals outwards
            doc.polygonColour[size_t(p)] = 11 + (r / 10) % 240;
        }
    doc.RecomputeNormals();
}

// The sphere or the sample, after a first frame; the floor, the shadow and
// the counts are off unless switched on.
struct Scene {
    NoMessages messages;
    MemorySettings settings;
    ManualClock clock;
    SceneViewState view;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    OsMesaSurface surface{kWidth, kHeight};
    std::unique_ptr<ViewOptions> options;
    std::unique_ptr<FrameRenderer> renderer;

    Scene(bool sample, const Switches& switches)
    {
        doc->AttachViewState(&view);
        doc->ResetScene();
        if (sample) {
            LoadSceneFile(*doc, QM_SAMPLE_FIGURE);
        } else {
            FillSphere(*doc);
            doc->BindMeshToNodes();
            view.cameraTarget = Vec3(0, 0, 0);
            view.cameraDistance = 30.0f;
            view.cameraElevation = 0.3f;
        }
        for (const char* key : {"DrawCount", "DrawGround", "DrawShadow"})
            settings.Write("View", key, "0");
        for (const auto& [key, value] : switches)
            settings.Write("View", key, value);
        options = std::make_unique<ViewOptions>(settings);
        renderer = std::make_unique<FrameRenderer>(surface, clock, messages, *doc, *options, view);
        renderer->RenderFrame();
    }
};

void Frames(benchmark::State& state, bool sample, const Switches& switches)
{
    Scene scene(sample, switches);
    for (auto _ : state)
        scene.renderer->RenderFrame();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["quads"] = scene.doc->polygonCount;
}

// The same quads with per-corner positions, normals and colours in one buffer.
void VertexBufferReference(benchmark::State& state, bool sample)
{
    Scene scene(sample, {});
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
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// Counts the pieces instead of drawing them.
class CountedPieces final : public BandPieceSink {
public:
    void DrawBandPolygon(const Vec3*, int count, int, int) override { points += count; }
    long points = 0;
};

// The split alone over the sphere's quads lit from the side, where most quads
// lie in one band, or with every quad cut by all three thresholds.
void SplitQuadIntoBands(benchmark::State& state, bool allCut)
{
    NoMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    FillSphere(doc);
    CountedPieces pieces;
    BandSplitter splitter(AnimeShadeThresholds{0.0f, 0.1f, 0.8f}, Vec3(-1000, 0, 0), pieces);
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

// Registers run(state, args...) in real time; the name its results carry.
template <class Run, class... Args> std::string Register(const std::string& name, Run run, Args... args)
{
    benchmark::RegisterBenchmark(name.c_str(), run, args...)->Unit(benchmark::kMillisecond)->UseRealTime();
    return name + "/real_time";
}

void Ratio(const std::string& subject, const std::string& peer)
{
    bench::Ratios().push_back({subject, peer, ""});
}

// Smooth and flat frames against the vertex buffer, each style against the
// smooth frame, and each effects combination of the sample (texture copies
// or accumulation buffer, motion blur, eight anti-aliasing passes, which depth
// of field makes too) against the frame without effects.
const bool registered = [] {
    for (const bool sample : {false, true}) {
        const std::string model = sample ? "sample" : "sphere";
        const std::string reference = Register("VertexBufferReference/" + model, VertexBufferReference, sample);
        const std::string smooth = Register("RenderFrame/" + model + "/flat:0", Frames, sample, Switches{});
        Ratio(smooth, reference);
        Ratio(Register("RenderFrame/" + model + "/flat:1", Frames, sample, Switches{{"UseFlatShade", "1"}}), reference);
        for (const char* style : {"AnimeShade", "UseEdge", "DrawShadow", "DrawGround"})
            Ratio(Register("StyledFrame/" + model + "/" + style, Frames, sample, Switches{{style, "1"}}), smooth);
    }
    const std::string plain = "Effects/fast:1/blur:0/aa:0/real_time";
    for (const char* fast : {"1", "0"})
        for (const char* blur : {"0", "1"})
            for (const char* aa : {"0", "1"}) {
                const Switches on = {{"UseFastBlower", fast}, {"UseMotionBlower", blur}, {"UseAntiEdge", aa}};
                const std::string name =
                    Register(std::string("Effects/fast:") + fast + "/blur:" + blur + "/aa:" + aa, Frames, true, on);
                if (name != plain)
                    Ratio(name, plain);
            }
    for (const bool allCut : {false, true})
        Register(std::string("SplitQuadIntoBands/allCut:") + (allCut ? "1" : "0"), SplitQuadIntoBands, allCut);
    return true;
}();

} // namespace
