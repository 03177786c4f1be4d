// Mesh filling and binding costs. The importers add one vertex or polygon at a
// time and call GrowMesh after each; BM_FillPeerVector is the same work on
// plain std::vector push_back, the peer the fill is read against.
#include "bench/Ratio.h"

#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "view/Framing.h"

namespace {

using namespace qm;

constexpr int kGrid = 200;  // 40 000 vertices, 39 601 quads

void FillGrid(CBodyDoc& doc)
{
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            const int v = doc.vertexCount++;
            doc.GrowMesh();
            doc.restVertices[size_t(v)] = Vec3(float(i) * 0.1f - 10, 0, float(j) * 0.1f - 5);
            doc.vertexGroup[size_t(v)] = (i / 20) % 256;
        }
    for (int j = 0; j + 1 < kGrid; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            const int p = doc.polygonCount++;
            doc.GrowMesh();
            const int a = j * kGrid + i;
            doc.polygonCorners[size_t(p)] = {a, a + 1, a + kGrid + 1, a + kGrid};
            doc.polygonColour[size_t(p)] = 1;
        }
}

void BM_FillDocument(benchmark::State& state)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    for (auto _ : state) {
        doc.ResetMesh(true);
        FillGrid(doc);
        benchmark::DoNotOptimize(doc.polygonCount);
    }
}
BENCHMARK(BM_FillDocument)->Unit(benchmark::kMillisecond);

void BM_FillPeerVector(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<Vec3> vertices;
        std::vector<int32_t> groups;
        std::vector<PolygonCorners> corners;
        std::vector<int32_t> colours;
        for (int j = 0; j < kGrid; ++j)
            for (int i = 0; i < kGrid; ++i) {
                vertices.push_back(Vec3(float(i) * 0.1f - 10, 0, float(j) * 0.1f - 5));
                groups.push_back((i / 20) % 256);
            }
        for (int j = 0; j + 1 < kGrid; ++j)
            for (int i = 0; i + 1 < kGrid; ++i) {
                const int a = j * kGrid + i;
                corners.push_back({a, a + 1, a + kGrid + 1, a + kGrid});
                colours.push_back(1);
            }
        benchmark::DoNotOptimize(corners.data());
    }
}
BENCHMARK(BM_FillPeerVector)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio fillRatio("BM_FillDocument", "BM_FillPeerVector");

void BM_RecomputeNormals(benchmark::State& state)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    FillGrid(doc);
    for (auto _ : state)
        doc.RecomputeNormals();
}
BENCHMARK(BM_RecomputeNormals)->Unit(benchmark::kMillisecond);

// Binding scans 30 joints with group binding, 200 nodes without; it includes
// one RecomputeNormals, so read it against BM_RecomputeNormals.
void BM_BindMeshToNodes(benchmark::State& state)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    doc.ViewState().groupBinding = state.range(0) != 0;
    FillGrid(doc);
    for (auto _ : state)
        doc.BindMeshToNodes();
}
BENCHMARK(BM_BindMeshToNodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio bindAll("BM_BindMeshToNodes/0", "BM_RecomputeNormals");
const bench::DeclareRatio bindGroups("BM_BindMeshToNodes/1", "BM_RecomputeNormals");

// "Cadrer le modèle" reads every vertex twice (the box, then the distance);
// read against BM_RecomputeNormals, which visits every vertex and polygon.
void BM_FrameMesh(benchmark::State& state)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    FillGrid(doc);
    SceneViewState view;
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameMesh(doc, view, 4.0 / 3.0));
}
BENCHMARK(BM_FrameMesh)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio frameRatio("BM_FrameMesh", "BM_RecomputeNormals");

} // namespace
