// Exchange-format costs. BM_ImportDxf is the whole DXF import (parse, weld,
// bind, normals) of a generated grid of 3DFACEs, read against assimp's DXF
// importer reading the same file in the same run (its parse alone, no
// post-processing). BM_WeldVertices at two sizes shows the weld's growth: for
// n log n the 1M / 250k ratio is about 4 x log(1e6) / log(2.5e5) = 4.45,
// quadratic would be 16. BM_SortPeer is a plain std::sort of the same points,
// the floor a sorting weld can reach. BM_ImportRok reads the same grid as a
// ROK file. Each import benchmark also reports peak_MB, the memory it needs
// beyond what the process held before, measured once in a child process.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/Ratio.h"
#include "formats/DxfImport.h"
#include "formats/RokImport.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"

#ifdef QM_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

namespace {

using namespace qm;

// A grid of width x height quads over a gently rippled surface; every inner
// corner is shared by four faces, as in a real model.
struct Grid {
    int width;
    int height;
    int Point(int i, int j) const { return 1 + i + j * (width + 1); } // 1-based
    void Corner(int i, int j, double& x, double& y, double& z) const
    {
        x = i * 0.5;
        y = j * 0.5;
        z = ((i * 7 + j * 3) % 10) * 0.1;
    }
};

Grid GridOf(int faces)
{
    int width = 1;
    while (width * width < faces)
        ++width;
    return {width, faces / width};
}

class TempFiles {
  public:
    ~TempFiles()
    {
        for (const auto& entry : paths_)
            std::filesystem::remove(entry.second);
    }
    // The file for key, written by write on first use.
    const std::string& Get(const std::string& key, const std::function<void(std::FILE*)>& write)
    {
        auto it = paths_.find(key);
        if (it != paths_.end())
            return it->second;
        const std::string path =
            (std::filesystem::temp_directory_path() / ("qm_bench_" + std::to_string(::getpid()) + "_" + key)).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        write(f);
        std::fclose(f);
        return paths_.emplace(key, path).first->second;
    }

  private:
    std::map<std::string, std::string> paths_;
};

TempFiles& Files()
{
    static TempFiles files;
    return files;
}

const std::string& DxfFile(int faces)
{
    return Files().Get(std::to_string(faces) + ".dxf", [faces](std::FILE* f) {
        const Grid g = GridOf(faces);
        std::fputs("0\nSECTION\n2\nENTITIES\n999\ngenerated grid\n0\n", f);
        const int di[4] = {0, 1, 1, 0}, dj[4] = {0, 0, 1, 1};
        for (int j = 0; j < g.height; ++j)
            for (int i = 0; i < g.width; ++i) {
                std::fprintf(f, "3DFACE\n8\nbody2\n62\n%d\n", 11 + (i + j) % 240);
                for (int k = 0; k < 4; ++k) {
                    double x, y, z;
                    g.Corner(i + di[k], j + dj[k], x, y, z);
                    std::fprintf(f, "1%d\n%g\n2%d\n%g\n3%d\n%g\n", k, x, k, y, k, z);
                }
                std::fputs("0\n", f);
            }
        std::fputs("ENDSEC\n0\nEOF\n", f);
    });
}

const std::string& RokFile(int faces)
{
    return Files().Get(std::to_string(faces) + ".rok", [faces](std::FILE* f) {
        const Grid g = GridOf(faces);
        std::fputs("ROKU4\r generated grid\rPOINT\r", f);
        for (int j = 0; j <= g.height; ++j)
            for (int i = 0; i <= g.width; ++i) {
                double x, y, z;
                g.Corner(i, j, x, y, z);
                const int group = (i * 6 / (g.width + 1)) + 6 * (j * 5 / (g.height + 1));
                std::fprintf(f, "%d %d 0 0 0 %g %g %g\r", g.Point(i, j), group, x, z, y);
            }
        // Lines: horizontal ones first, then vertical ones; faces name both.
        std::fputs("LINE0\r", f);
        for (int j = 0; j <= g.height; ++j)
            for (int i = 0; i < g.width; ++i)
                std::fprintf(f, "%d %d 0 0\r", g.Point(i, j), g.Point(i + 1, j));
        for (int j = 0; j < g.height; ++j)
            for (int i = 0; i <= g.width; ++i)
                std::fprintf(f, "%d %d 0 0\r", g.Point(i, j), g.Point(i, j + 1));
        const int horizontal = g.width * (g.height + 1);
        auto h = [&](int i, int j) { return 1 + i + j * g.width; };
        auto v = [&](int i, int j) { return 1 + horizontal + i + j * (g.width + 1); };
        std::fputs("FACE0\r", f);
        for (int j = 0; j < g.height; ++j)
            for (int i = 0; i < g.width; ++i)
                std::fprintf(f, "4 %d 0 %d %d %d %d\r", (i + j) % 13, h(i, j), v(i + 1, j), h(i, j + 1), v(i, j));
        std::fputs("END00\rpalette 0 0\r", f);
        for (int e = 0; e < 13; ++e)
            std::fprintf(f, "%d %d %d 0 0 0 x\r", e * 19, 255 - e * 19, 128);
    });
}

long ResidentKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::string(field).size());
    return 0;
}

// Runs work once in a child process and returns how far its peak resident
// memory rose above what it started with, in MB.
double PeakMegabytes(const std::function<void()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // The child starts with its parent's free heap and high-water mark:
        // give the one back and start the other afresh.
        ::malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = ResidentKilobytes("VmRSS:");
        work();
        const long growth = ResidentKilobytes("VmHWM:") - before;
        (void)!::write(fds[1], &growth, sizeof growth);
        ::_exit(0);
    }
    ::close(fds[1]);
    long growth = -1024;
    if (pid < 0 || ::read(fds[0], &growth, sizeof growth) != sizeof growth)
        growth = -1024;
    ::close(fds[0]);
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
    return growth / 1024.0;
}

using Importer = ExchangeResult (*)(CBodyDoc&, const std::string&);
constexpr Importer kDxf = ImportDxf;
constexpr Importer kRok = ImportRok;

// Times import of path into a document that already holds the last
// iteration's scene, as the viewer's does; peak memory is taken once from a
// fresh document.
void TimeImport(benchmark::State& state, Importer import, const std::string& path)
{
    state.counters["peak_MB"] = PeakMegabytes([&] {
        RecordingMessages messages;
        auto doc = std::make_unique<CBodyDoc>(messages);
        doc->ResetScene();
        benchmark::DoNotOptimize(import(*doc, path));
    });
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    doc->ResetScene();
    for (auto _ : state)
        if (import(*doc, path) != ExchangeResult::kOk)
            state.SkipWithError("import failed");
    state.counters["vertices"] = doc->vertexCount;
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_ImportDxf(benchmark::State& state)
{
    TimeImport(state, kDxf, DxfFile(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ImportDxf)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

#ifdef QM_HAVE_ASSIMP
void AssimpOnce(const std::string& path, benchmark::State* state)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene == nullptr && state != nullptr)
        state->SkipWithError(importer.GetErrorString());
    benchmark::DoNotOptimize(scene);
}

void BM_AssimpDxf(benchmark::State& state)
{
    const std::string& path = DxfFile(static_cast<int>(state.range(0)));
    state.counters["peak_MB"] = PeakMegabytes([&] { AssimpOnce(path, nullptr); });
    for (auto _ : state)
        AssimpOnce(path, &state);
}
BENCHMARK(BM_AssimpDxf)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio dxfSmall("BM_ImportDxf/200000", "BM_AssimpDxf/200000");
const bench::DeclareRatio dxfLarge("BM_ImportDxf/1000000", "BM_AssimpDxf/1000000");
#endif

// n vertices, each point four times over (as the corners of a grid's quads
// come out of a DXF file), in file order.
std::vector<Vec3> WeldInput(int n)
{
    const Grid g = GridOf(n / 4);
    std::vector<Vec3> points;
    points.reserve(static_cast<size_t>(n));
    const int di[4] = {0, 1, 1, 0}, dj[4] = {0, 0, 1, 1};
    for (int j = 0; j < g.height && int(points.size()) < n; ++j)
        for (int i = 0; i < g.width && int(points.size()) < n; ++i)
            for (int k = 0; k < 4; ++k) {
                double x, y, z;
                g.Corner(i + di[k], j + dj[k], x, y, z);
                points.push_back(Vec3::FromDouble(-x, y, -z));
            }
    while (int(points.size()) < n)
        points.push_back(points.back());
    return points;
}

void BM_WeldVertices(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<Vec3> points = WeldInput(n);
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    for (const Vec3& p : points) {
        const int v = doc->vertexCount++;
        doc->GrowMesh();
        doc->restVertices[size_t(v)] = p;
    }
    for (int p = 0; p + 4 <= n; p += 4) {
        const int q = doc->polygonCount++;
        doc->GrowMesh();
        doc->polygonCorners[size_t(q)] = {p, p + 1, p + 2, p + 3};
    }
    const std::vector<PolygonCorners> corners(doc->polygonCorners.begin(),
                                              doc->polygonCorners.begin() + doc->polygonCount);
    for (auto _ : state) {
        state.PauseTiming();
        doc->vertexCount = n;
        std::copy(points.begin(), points.end(), doc->restVertices.begin());
        std::copy(corners.begin(), corners.end(), doc->polygonCorners.begin());
        state.ResumeTiming();
        WeldVertices(*doc);
    }
    state.counters["welded"] = doc->vertexCount;
}
BENCHMARK(BM_WeldVertices)->Arg(250000)->Arg(1000000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio weldGrowth("BM_WeldVertices/1000000", "BM_WeldVertices/250000");

void BM_SortPeer(benchmark::State& state)
{
    const std::vector<Vec3> points = WeldInput(static_cast<int>(state.range(0)));
    std::vector<Vec3> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = points;
        state.ResumeTiming();
        std::sort(work.begin(), work.end(), [](const Vec3& a, const Vec3& b) {
            if (a.x != b.x)
                return a.x > b.x;
            if (a.y != b.y)
                return a.y > b.y;
            return a.z > b.z;
        });
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_SortPeer)->Arg(1000000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio weldPeer("BM_WeldVertices/1000000", "BM_SortPeer/1000000");

void BM_ImportRok(benchmark::State& state)
{
    TimeImport(state, kRok, RokFile(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ImportRok)->Arg(200000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio rokToDxf("BM_ImportRok/200000", "BM_ImportDxf/200000");

} // namespace
