// Loading and saving a scene of a million vertices and a million polygons,
// read against plain buffered I/O of the same bytes in the same run. A load
// also rebuilds normals and binding; BM_RebuildAfterLoad measures that part
// alone, so the ratio without it is the load's I/O part.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "bench/Ratio.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"

namespace {

using namespace qm;

constexpr int kCount = 1000000;

class NoMessages : public MessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

// Builds the large scene once and keeps its file for every benchmark.
struct LargeScene {
    NoMessages messages;
    SceneViewState view;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    std::string path;
    std::vector<uint8_t> bytes;

    LargeScene()
    {
        doc->AttachViewState(&view);
        doc->ResetScene();
        doc->vertexCount = kCount;
        doc->polygonCount = kCount;
        doc->GrowMesh();
        const int side = 1000;
        for (int v = 0; v < kCount; ++v) {
            doc->restVertices[size_t(v)] = Vec3(float(v % side) * 0.01f - 5, float(v / side) * 0.01f, 0.0f);
            doc->vertexGroup[size_t(v)] = (v % side) / 100;
        }
        for (int p = 0; p < kCount; ++p) {
            const int a = p % (kCount - side - 1);
            doc->polygonCorners[size_t(p)] = {a, a + 1, a + side + 1, a + side};
            doc->polygonColour[size_t(p)] = p % 256;
        }
        char name[] = "/tmp/quillo-bench-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path = name;
        bytes = SaveScene(*doc);
        SaveSceneFile(*doc, path);
    }
    ~LargeScene() { std::remove(path.c_str()); }
};

LargeScene& Scene()
{
    static LargeScene scene;
    return scene;
}

void BM_LoadSceneFile(benchmark::State& state)
{
    LargeScene& s = Scene();
    for (auto _ : state)
        LoadSceneFile(*s.doc, s.path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}
BENCHMARK(BM_LoadSceneFile)->Unit(benchmark::kMillisecond);

void BM_RebuildAfterLoad(benchmark::State& state)
{
    LargeScene& s = Scene();
    LoadSceneFile(*s.doc, s.path);
    for (auto _ : state) {
        s.doc->RecomputeNormals();
        s.doc->BindMeshToNodes();
    }
}
BENCHMARK(BM_RebuildAfterLoad)->Unit(benchmark::kMillisecond);

void BM_PlainRead(benchmark::State& state)
{
    LargeScene& s = Scene();
    for (auto _ : state) {
        std::vector<char> buffer(s.bytes.size());  // a loader has nowhere to keep it between files
        std::ifstream in(s.path, std::ios::binary);
        in.read(buffer.data(), std::streamsize(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_SaveSceneFile(benchmark::State& state)
{
    LargeScene& s = Scene();
    LoadSceneFile(*s.doc, s.path);
    const std::string out = s.path + ".out";
    for (auto _ : state)
        SaveSceneFile(*s.doc, out);
    std::remove(out.c_str());
}
BENCHMARK(BM_SaveSceneFile)->Unit(benchmark::kMillisecond);

void BM_PlainWrite(benchmark::State& state)
{
    LargeScene& s = Scene();
    const std::string out = s.path + ".plain";
    for (auto _ : state) {
        std::ofstream f(out, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(s.bytes.data()), std::streamsize(s.bytes.size()));
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);

const bench::DeclareRatio loadRatio("BM_LoadSceneFile", "BM_PlainRead");
const bench::DeclareRatio loadIoRatio("BM_LoadSceneFile", "BM_PlainRead", "BM_RebuildAfterLoad");
const bench::DeclareRatio saveRatio("BM_SaveSceneFile", "BM_PlainWrite");

} // namespace
