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

// The large scene, built once, and its file, kept for every benchmark.
struct LargeScene {
    static constexpr int kCount = 1000000, kSide = 1000;
    RecordingMessages messages;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    std::string path = "/tmp/quillo-bench-" + std::to_string(getpid()) + ".abd";
    std::vector<uint8_t> bytes;

    LargeScene()
    {
        doc->ResetScene();
        doc->vertexCount = doc->polygonCount = kCount;
        doc->GrowMesh();
        for (int i = 0; i < kCount; ++i) {
            doc->restVertices[size_t(i)] = Vec3(float(i % kSide) * 0.01f - 5, float(i / kSide) * 0.01f, 0.0f);
            doc->vertexGroup[size_t(i)] = (i % kSide) / 100;
            const int a = i % (kCount - kSide - 1);
            doc->polygonCorners[size_t(i)] = {a, a + 1, a + kSide + 1, a + kSide};
            doc->polygonColour[size_t(i)] = i % 256;
        }
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
    for (auto _ : state)
        LoadSceneFile(*Scene().doc, Scene().path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Scene().bytes.size()));
}
BENCHMARK(BM_LoadSceneFile)->Unit(benchmark::kMillisecond);

void BM_RebuildAfterLoad(benchmark::State& state)
{
    LoadSceneFile(*Scene().doc, Scene().path);
    for (auto _ : state) {
        Scene().doc->RecomputeNormals();
        Scene().doc->BindMeshToNodes();
    }
}
BENCHMARK(BM_RebuildAfterLoad)->Unit(benchmark::kMillisecond);

void BM_PlainRead(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<char> buffer(Scene().bytes.size()); // a loader has nowhere to keep it between files
        std::ifstream(Scene().path, std::ios::binary).read(buffer.data(), std::streamsize(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Scene().bytes.size()));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_SaveSceneFile(benchmark::State& state)
{
    LoadSceneFile(*Scene().doc, Scene().path);
    const std::string out = Scene().path + ".out";
    for (auto _ : state)
        SaveSceneFile(*Scene().doc, out);
    std::remove(out.c_str());
}
BENCHMARK(BM_SaveSceneFile)->Unit(benchmark::kMillisecond);

void BM_PlainWrite(benchmark::State& state)
{
    const std::string out = Scene().path + ".plain";
    for (auto _ : state)
        std::ofstream(out, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(Scene().bytes.data()), std::streamsize(Scene().bytes.size()));
    std::remove(out.c_str());
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);

const bench::DeclareRatio loadRatio("BM_LoadSceneFile", "BM_PlainRead");
const bench::DeclareRatio loadIoRatio("BM_LoadSceneFile", "BM_PlainRead", "BM_RebuildAfterLoad");
const bench::DeclareRatio saveRatio("BM_SaveSceneFile", "BM_PlainWrite");

} // namespace
