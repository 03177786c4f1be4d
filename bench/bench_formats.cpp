// Exchange-format costs. BM_ImportDxf is the whole DXF import (parse, weld,
// bind, normals) of a generated grid of 3DFACEs, read against assimp's DXF
// importer reading the same file in the same run (its parse alone, no
// post-processing). BM_WeldVertices at two sizes shows the weld's growth: for
// n log n the 1M / 250k ratio is about 4 x log(1e6) / log(2.5e5) = 4.45,
// quadratic would be 16. BM_ImportRok reads the same grid as a ROK file.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/Ratio.h"
#include "formats/DxfImport.h"
#include "formats/ModelFiles.h"
#include "formats/ModelRead.h"
#include "formats/PngFile.h"
#include "formats/RokImport.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"

#ifdef QM_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

namespace {

using namespace qm;

// A grid of quads, width across, over a gently rippled surface; every inner
// corner is shared by four faces, as in a real model.
int GridWidth(int faces)
{
    return static_cast<int>(std::ceil(std::sqrt(double(faces))));
}
std::array<double, 3> Corner(int i, int j)
{
    return {i * 0.5, j * 0.5, ((i * 7 + j * 3) % 10) * 0.1};
}
constexpr int kCornerI[4] = {0, 1, 1, 0}, kCornerJ[4] = {0, 0, 1, 1};

// The file called name, written by write on first use into a folder that goes at exit.
const std::string& GeneratedFile(const std::string& name, const std::function<void(std::FILE*)>& write)
{
    static struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() / ("qm_bench_" + std::to_string(getpid()));
        std::map<std::string, std::string> files;
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    const auto [it, added] = folder.files.emplace(name, (folder.path / name).string());
    if (added) {
        std::FILE* f = std::fopen(it->second.c_str(), "wb");
        write(f);
        std::fclose(f);
    }
    return it->second;
}

const std::string& DxfFile(int faces)
{
    return GeneratedFile(std::to_string(faces) + ".dxf", [faces](std::FILE* f) {
        const int width = GridWidth(faces);
        std::fputs("0\nSECTION\n2\nENTITIES\n999\ngenerated grid\n0\n", f);
        for (int q = 0; q < faces; ++q) {
            std::fprintf(f, "3DFACE\n8\nbody2\n62\n%d\n", 11 + q % 240);
            for (int k = 0; k < 4; ++k) {
                const auto [x, y, z] = Corner(q % width + kCornerI[k], q / width + kCornerJ[k]);
                std::fprintf(f, "1%d\n%g\n2%d\n%g\n3%d\n%g\n", k, x, k, y, k, z);
            }
            std::fputs("0\n", f);
        }
        std::fputs("ENDSEC\n0\nEOF\n", f);
    });
}

const std::string& RokFile(int faces)
{
    return GeneratedFile(std::to_string(faces) + ".rok", [faces](std::FILE* f) {
        const int width = GridWidth(faces), height = faces / width;
        auto point = [&](int i, int j) { return 1 + i + j * (width + 1); }; // 1-based
        std::fputs("ROKU4\r generated grid\rPOINT\r", f);
        for (int j = 0; j <= height; ++j)
            for (int i = 0; i <= width; ++i) {
                const auto [x, y, z] = Corner(i, j);
                const int group = (i * 6 / (width + 1)) + 6 * (j * 5 / (height + 1));
                std::fprintf(f, "%d %d 0 0 0 %g %g %g\r", point(i, j), group, x, z, y);
            }
        // Lines: horizontal ones first, then vertical ones; faces name both.
        std::fputs("LINE0\r", f);
        for (int j = 0; j <= height; ++j)
            for (int i = 0; i < width; ++i)
                std::fprintf(f, "%d %d 0 0\r", point(i, j), point(i + 1, j));
        for (int j = 0; j < height; ++j)
            for (int i = 0; i <= width; ++i)
                std::fprintf(f, "%d %d 0 0\r", point(i, j), point(i, j + 1));
        auto h = [&](int i, int j) { return 1 + i + j * width; };
        auto v = [&](int i, int j) { return 1 + width * (height + 1) + i + j * (width + 1); };
        std::fputs("FACE0\r", f);
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
                std::fprintf(f, "4 %d 0 %d %d %d %d\r", (i + j) % 13, h(i, j), v(i + 1, j), h(i, j + 1), v(i, j));
        std::fputs("END00\rpalette 0 0\r", f);
        for (int e = 0; e < 13; ++e)
            std::fprintf(f, "%d %d %d 0 0 0 x\r", e * 19, 255 - e * 19, 128);
    });
}

// Times import of path into a document that already holds the last
// iteration's scene, as the viewer's does.
void TimeImport(benchmark::State& state, ExchangeResult (*import)(CBodyDoc&, const std::string&),
                const std::string& path)
{
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    doc->ResetScene();
    // One import untimed first: the first of a run also pays for the heap
    // growing, and a large file gets only an iteration or two.
    import(*doc, path);
    for (auto _ : state)
        if (import(*doc, path) != ExchangeResult::kOk)
            state.SkipWithError("import failed");
    state.counters["vertices"] = doc->vertexCount;
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_ImportDxf(benchmark::State& state)
{
    TimeImport(state, ImportDxf, DxfFile(int(state.range(0))));
}
BENCHMARK(BM_ImportDxf)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

#ifdef QM_HAVE_ASSIMP
// assimp's own reading of path, without post-processing.
void TimeAssimpRead(benchmark::State& state, const std::string& path)
{
    Assimp::Importer().ReadFile(path, 0); // untimed, as the imports' first
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        if (scene == nullptr)
            state.SkipWithError(importer.GetErrorString());
        benchmark::DoNotOptimize(scene);
    }
}

void BM_AssimpDxf(benchmark::State& state)
{
    TimeAssimpRead(state, DxfFile(int(state.range(0))));
}
BENCHMARK(BM_AssimpDxf)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio dxfSmall("BM_ImportDxf/200000", "BM_AssimpDxf/200000");
const bench::DeclareRatio dxfLarge("BM_ImportDxf/1000000", "BM_AssimpDxf/1000000");
#endif

// n vertices, the corners of a grid's quads in file order, so that each inner
// point comes four times over as out of a DXF file.
void BM_WeldVertices(benchmark::State& state)
{
    const int n = int(state.range(0)), width = GridWidth(n / 4);
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    doc->vertexCount = n;
    doc->polygonCount = n / 4;
    doc->GrowMesh();
    for (int v = 0; v < n; ++v) {
        const auto [x, y, z] = Corner(v / 4 % width + kCornerI[v % 4], v / 4 / width + kCornerJ[v % 4]);
        doc->restVertices[size_t(v)] = Vec3::FromDouble(-x, y, -z);
        doc->polygonCorners[size_t(v / 4)][size_t(v % 4)] = v;
    }
    const std::vector<Vec3> points(doc->restVertices.begin(), doc->restVertices.begin() + n);
    const std::vector<PolygonCorners> corners(doc->polygonCorners.begin(), doc->polygonCorners.begin() + n / 4);
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

void BM_ImportRok(benchmark::State& state)
{
    TimeImport(state, ImportRok, RokFile(int(state.range(0))));
}
BENCHMARK(BM_ImportRok)->Arg(200000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio rokToDxf("BM_ImportRok/200000", "BM_ImportDxf/200000");


// The common model formats: BM_ImportModel reads a generated grid of
// triangles as OBJ or glTF; the ratio to assimp reading the same file in the
// same run (its parse alone, BM_AssimpModel) is the overhead of conversion,
// joining, binding and normals on top of the library: (ours - assimp) / assimp.
// BM_ImportTextured is a glTF grid under a 2048 x 2048 texture of many
// colours: decoding, sampling per polygon and quantising to the table.
void WriteGltf(std::FILE* f, const std::string& bin, int width, int height, bool textured)
{
    const int vertices = (width + 1) * (height + 1), triangles = 2 * width * height;
    std::FILE* b = std::fopen(bin.c_str(), "wb");
    std::vector<float> data;
    for (int j = 0; j <= height; ++j)
        for (int i = 0; i <= width; ++i) {
            const auto [x, y, z] = Corner(i, j);
            data.insert(data.end(), {float(x), float(z), float(y)});
        }
    for (int j = 0; j <= height && textured; ++j)
        for (int i = 0; i <= width; ++i)
            data.insert(data.end(), {float(i) / float(width), float(j) / float(height)});
    std::vector<uint32_t> indices;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const uint32_t a = uint32_t(i + j * (width + 1)), c = a + uint32_t(width) + 1;
            indices.insert(indices.end(), {a, c, a + 1, a + 1, c, c + 1});
        }
    std::fwrite(data.data(), 4, data.size(), b);
    std::fwrite(indices.data(), 4, indices.size(), b);
    std::fclose(b);
    const size_t positionBytes = size_t(vertices) * 12, uvBytes = textured ? size_t(vertices) * 8 : 0;
    const std::string name = std::filesystem::path(bin).filename().string();
    std::fprintf(f, R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
                    R"("buffers":[{"uri":"%s","byteLength":%zu}],"bufferViews":[)"
                    R"({"buffer":0,"byteLength":%zu},{"buffer":0,"byteOffset":%zu,"byteLength":%zu},)"
                    R"({"buffer":0,"byteOffset":%zu,"byteLength":%zu}],"accessors":[)"
                    R"({"bufferView":0,"componentType":5126,"count":%d,"type":"VEC3","min":[0,0,0],"max":[1e4,1e4,1e4]},)"
                    R"({"bufferView":1,"componentType":5126,"count":%d,"type":"VEC2"},)"
                    R"({"bufferView":2,"componentType":5125,"count":%d,"type":"SCALAR"}],)",
                 name.c_str(), positionBytes + uvBytes + size_t(triangles) * 12, positionBytes, positionBytes,
                 std::max<size_t>(uvBytes, 8), positionBytes + uvBytes, size_t(triangles) * 12, vertices, vertices,
                 triangles * 3);
    if (textured)
        std::fprintf(f, R"("images":[{"uri":"texture.png"}],"textures":[{"source":0}],)"
                        R"("materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],)"
                        R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"material":0}]}]})");
    else
        std::fprintf(f, R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":2}]}]})");
}

const std::string& ModelFile(const std::string& extension, int triangles)
{
    const int width = GridWidth(triangles / 2), height = triangles / 2 / width;
    const std::string name = std::to_string(triangles) + "." + extension;
    return GeneratedFile(name, [&](std::FILE* f) {
        if (extension == "gltf") {
            WriteGltf(f, GeneratedFile(name + ".bin", [](std::FILE*) {}), width, height, false);
            return;
        }
        for (int j = 0; j <= height; ++j)
            for (int i = 0; i <= width; ++i) {
                const auto [x, y, z] = Corner(i, j);
                std::fprintf(f, "v %g %g %g\n", x, z, y);
            }
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                const int a = 1 + i + j * (width + 1), c = a + width + 1;
                std::fprintf(f, "f %d %d %d\nf %d %d %d\n", a, c, a + 1, a + 1, c, c + 1);
            }
    });
}

// The import with the reading in this process, as the fuzz targets make it.
ExchangeResult ImportInProcess(CBodyDoc& doc, const std::string& path)
{
    return ImportModelWith(doc, path, ReadModel);
}

void BM_ImportModel(benchmark::State& state, const char* extension)
{
    TimeImport(state, ImportInProcess, ModelFile(extension, int(state.range(0))));
}
BENCHMARK_CAPTURE(BM_ImportModel, obj, "obj")->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportModel, gltf, "gltf")->Arg(1000000)->Unit(benchmark::kMillisecond);

// The import as the program makes it, the reading in a confined process of
// its own, against the same import read in this process; in wall-clock time,
// since the reading process's work is not this one's.
void BM_ImportModelApart(benchmark::State& state, const char* extension)
{
    TimeImport(state, [](CBodyDoc& doc, const std::string& path) { return ImportModel(doc, path); },
               ModelFile(extension, int(state.range(0))));
}
void BM_ImportModelHere(benchmark::State& state, const char* extension)
{
    BM_ImportModel(state, extension);
}
BENCHMARK_CAPTURE(BM_ImportModelApart, obj, "obj")->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ImportModelHere, obj, "obj")->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ImportModelApart, obj, "obj")->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ImportModelHere, obj, "obj")->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
const bench::DeclareRatio apartLarge("BM_ImportModelApart/obj/1000000/real_time",
                                     "BM_ImportModelHere/obj/1000000/real_time", "", true);
const bench::DeclareRatio apartSmall("BM_ImportModelApart/obj/10000/real_time",
                                     "BM_ImportModelHere/obj/10000/real_time", "", true);

#ifdef QM_HAVE_ASSIMP
void BM_AssimpModel(benchmark::State& state, const char* extension)
{
    TimeAssimpRead(state, ModelFile(extension, int(state.range(0))));
}
BENCHMARK_CAPTURE(BM_AssimpModel, obj, "obj")->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AssimpModel, gltf, "gltf")->Arg(1000000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio objOverhead("BM_ImportModel/obj/1000000", "BM_AssimpModel/obj/1000000",
                                      "BM_AssimpModel/obj/1000000");
const bench::DeclareRatio gltfOverhead("BM_ImportModel/gltf/1000000", "BM_AssimpModel/gltf/1000000",
                                       "BM_AssimpModel/gltf/1000000");
#endif

void BM_ImportTextured(benchmark::State& state)
{
    const int size = 2048, triangles = int(state.range(0));
    const std::string& png = GeneratedFile("texture.png", [](std::FILE*) {});
    std::vector<uint8_t> rgb(size_t(size) * size * 3);
    for (size_t p = 0; p < rgb.size() / 3; ++p) {
        const size_t x = p % size, y = p / size;
        rgb[p * 3] = uint8_t(x / 8), rgb[p * 3 + 1] = uint8_t(y / 8), rgb[p * 3 + 2] = uint8_t((x * y) >> 12);
    }
    if (!WritePngRgb(png, size, size, rgb))
        state.SkipWithError("cannot write the texture");
    const int width = GridWidth(triangles / 2), height = triangles / 2 / width;
    const std::string& gltf = GeneratedFile("textured.gltf", [&](std::FILE* f) {
        WriteGltf(f, GeneratedFile("textured.bin", [](std::FILE*) {}), width, height, true);
    });
    TimeImport(state, ImportInProcess, gltf);
}
BENCHMARK(BM_ImportTextured)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
