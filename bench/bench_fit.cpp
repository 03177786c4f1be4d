// The figure fit ("Ajuster le squelette au modèle") on characters of our own
// making whose joints are known: the humanoids of tools/Humanoid and the
// sample figure ("skins"), the same dressed, propped and put together from
// overlapping meshes as makers deliver them ("dressed"), and the bind-pose
// meshes of tools/RiggedFigure, a tube per limb ("tubes"). Each is written
// with assimp's exporter as OBJ, mesh alone in its own axes, and those with a
// skeleton as glTF too, skeleton and skin with it; both go through
// `quillo --convert FILE out.abd --command 32864` (in this process), and the
// saved figure's limb joints are compared with the character's own in the
// frame of its left, facing and up, in units of its height (JudgedJoints).
// BM_FitAccuracy prints each character's mean and worst error, and each
// group's and the set's, for the rig and for the shape alone.
//
// Speed: BM_ImportObj imports a character of about 100k vertices from OBJ,
// fitting it on the way, in wall time (the file is read in a process of its
// own, whose time the processor clock here would leave out); BM_FitFromShape
// is that fit alone on the imported scene. Its peer is BM_AssimpObj, the
// library reading the same file with nothing after, a part of any import: a
// ratio of at most 1 means the fit takes no longer than the import.
// BM_ConvertProcess runs the quillo program itself on a character of about
// 35k vertices, import and fit, in wall time (its "seconds" must stay under
// 1); BM_StartProcess (quillo --version) shows what of it is the program's
// start.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "app/CommandLine.h"
#include "bench/Ratio.h"
#include "formats/ModelFiles.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/FigureFit.h"
#include "scene/SceneFile.h"
#include "tools/Humanoid.h"
#include "tools/RiggedFigure.h"
#include "tools/SampleFigure.h"

extern char** environ;

namespace {

using namespace qm;

constexpr int kLimbJoints[] = {kShoulderNeg, kElbowNeg, kHandNeg, kShoulderPos, kElbowPos, kHandPos,
                               kHipNeg,      kKneeNeg,  kFootNeg, kHipPos,      kKneePos,  kFootPos};

struct Character {
    std::string name;
    Humanoid body;
    std::string group; // the part of the set it is counted in
};

// The sample figure as a rigged character: its body segments' groups skinned
// to bones at the default skeleton's joints, the wrist where the sleeve ends
// and the hand begins.
Humanoid SampleCharacter()
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    BuildSampleFigure(doc);
    auto joint = [&](int j) { return JointNode(doc.FirstFigure(), j).restPosition; };
    Humanoid h;
    auto bone = [&](const char* name, int32_t parent, Vec3 at, int figureJoint) {
        h.bones.push_back({name, parent, at, figureJoint});
        if (figureJoint >= 0)
            h.joints[size_t(figureJoint)] = at;
        return int32_t(h.bones.size() - 1);
    };
    const int32_t hips = bone("Hips", -1, Midpoint(joint(kHipNeg), joint(kHipPos)), kWaist);
    const int32_t spine = bone("Spine", hips, joint(kWaist), -1);
    const int32_t neck = bone("Neck", spine, joint(kNeck), kNeck);
    const int32_t head = bone("Head", neck, joint(kHead), kHead);
    std::map<int32_t, int32_t> ofGroup = {
        {kSampleHead, head}, {kSampleNeck, neck}, {kSampleChest, spine}, {kSampleBelly, spine}, {kSamplePelvis, hips}};
    for (int side = 0; side < 2; ++side) {
        const bool left = side == 0;
        const int shoulder = left ? kShoulderNeg : kShoulderPos, elbow = left ? kElbowNeg : kElbowPos;
        const int hand = left ? kHandNeg : kHandPos;
        const std::string s = left ? "Left" : "Right";
        const int32_t arm = bone((s + "Arm").c_str(), spine, joint(shoulder), shoulder);
        const int32_t forearm = bone((s + "ForeArm").c_str(), arm, joint(elbow), elbow);
        const Vec3 wrist = joint(elbow) + (joint(hand) - joint(elbow)) * 0.72;
        const int32_t wristBone = bone((s + "Hand").c_str(), forearm, wrist, hand);
        const int hip = left ? kHipNeg : kHipPos, knee = left ? kKneeNeg : kKneePos, foot = left ? kFootNeg : kFootPos;
        const int32_t thigh = bone((s + "UpLeg").c_str(), hips, joint(hip), hip);
        const int32_t shin = bone((s + "Leg").c_str(), thigh, joint(knee), knee);
        const int32_t ankle = bone((s + "Foot").c_str(), shin, joint(foot), foot);
        const int o = left ? 0 : 3, l = left ? 0 : 3;
        ofGroup[kSampleUpperArmNeg + o] = arm;
        ofGroup[kSampleForearmNeg + o] = forearm;
        ofGroup[kSampleHandNeg + o] = wristBone;
        ofGroup[kSampleThighNeg + l] = thigh;
        ofGroup[kSampleShinNeg + l] = shin;
        ofGroup[kSampleFootNeg + l] = ankle;
    }
    for (int v = 0; v < doc.vertexCount; ++v) {
        h.vertices.push_back(doc.restVertices[size_t(v)]);
        h.vertexBone.push_back(ofGroup[doc.vertexGroup[size_t(v)]]);
    }
    h.polygons.assign(doc.polygonCorners.begin(), doc.polygonCorners.begin() + doc.polygonCount);
    h.colours.assign(doc.polygonColour.begin(), doc.polygonColour.begin() + doc.polygonCount);
    return h;
}

const std::vector<Character>& Characters()
{
    static const std::vector<Character> characters = [] {
        std::vector<Character> all{{"sample-figure", SampleCharacter(), "skins"}};
        for (const NamedHumanoid& entry : HumanoidSet())
            all.push_back({entry.name, MakeHumanoid(entry.spec), "skins"});
        for (const NamedHumanoid& entry : DressedSet())
            all.push_back({entry.name, MakeHumanoid(entry.spec), "dressed"});
        for (const NamedRiggedFigure& entry : RiggedFigureSet())
            all.push_back({"rigged-" + entry.name, BindPoseHumanoid(entry.shape), "tubes"});
        return all;
    }();
    return characters;
}

// A folder for the files written, removed at exit.
const std::filesystem::path& Folder()
{
    static struct Made {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("qm_fit_bench_" + std::to_string(getpid()));
        Made() { std::filesystem::create_directories(path); }
        ~Made() { std::filesystem::remove_all(path); }
    } folder;
    return folder.path;
}

// File axes are y up and z forwards, metres: the scene's 17 units are 1.7 m,
// the soles at y = 0.
aiVector3D FileAxes(const Vec3& v)
{
    return aiVector3D(float(-v.x / 10.0), float((13.6 - v.z) / 10.0), float(-v.y / 10.0));
}

// The character as assimp holds a scene: one mesh, skinned (each vertex
// wholly to its bone) to a skeleton of nodes with bones at the joints.
std::unique_ptr<aiScene> SceneOf(const Humanoid& h)
{
    auto scene = std::make_unique<aiScene>();
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { new aiMaterial() };
    auto* mesh = new aiMesh();
    mesh->mMaterialIndex = 0;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = unsigned(h.vertices.size());
    mesh->mVertices = new aiVector3D[mesh->mNumVertices];
    for (size_t v = 0; v < h.vertices.size(); ++v)
        mesh->mVertices[v] = FileAxes(h.vertices[v]);
    std::vector<std::array<unsigned, 3>> triangles;
    for (const PolygonCorners& c : h.polygons) {
        // The axes turn is a rotation: windings keep their sense.
        triangles.push_back({unsigned(c[0]), unsigned(c[1]), unsigned(c[2])});
        if (c[3] != c[2])
            triangles.push_back({unsigned(c[0]), unsigned(c[2]), unsigned(c[3])});
    }
    mesh->mNumFaces = unsigned(triangles.size());
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (size_t f = 0; f < triangles.size(); ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3]{triangles[f][0], triangles[f][1], triangles[f][2]};
    }
    mesh->mNumBones = unsigned(h.bones.size());
    mesh->mBones = new aiBone*[mesh->mNumBones];
    for (size_t b = 0; b < h.bones.size(); ++b) {
        auto* bone = new aiBone();
        bone->mName = h.bones[b].name;
        const aiVector3D head = FileAxes(h.bones[b].head);
        aiMatrix4x4::Translation(-head, bone->mOffsetMatrix);
        std::vector<unsigned> skinned;
        for (size_t v = 0; v < h.vertexBone.size(); ++v)
            if (h.vertexBone[v] == int32_t(b))
                skinned.push_back(unsigned(v));
        bone->mNumWeights = unsigned(skinned.size());
        bone->mWeights = new aiVertexWeight[std::max<size_t>(skinned.size(), 1)];
        for (size_t w = 0; w < skinned.size(); ++w)
            bone->mWeights[w] = aiVertexWeight(skinned[w], 1.0f);
        mesh->mBones[b] = bone;
    }
    scene->mNumMeshes = 1;
    scene->mMeshes = new aiMesh* [1] { mesh };

    scene->mRootNode = new aiNode("Scene");
    std::vector<aiNode*> nodes;
    for (const HumanoidBone& b : h.bones) {
        auto* node = new aiNode(b.name);
        const aiVector3D at = FileAxes(b.head);
        const aiVector3D from = b.parent >= 0 ? FileAxes(h.bones[size_t(b.parent)].head) : aiVector3D();
        aiMatrix4x4::Translation(at - from, node->mTransformation);
        nodes.push_back(node);
    }
    std::vector<std::vector<aiNode*>> children(nodes.size() + 1);
    for (size_t b = 0; b < nodes.size(); ++b)
        children[h.bones[b].parent >= 0 ? size_t(h.bones[b].parent) : nodes.size()].push_back(nodes[b]);
    auto* body = new aiNode("Body");
    body->mNumMeshes = 1;
    body->mMeshes = new unsigned[1]{0};
    children[nodes.size()].push_back(body);
    for (size_t n = 0; n <= nodes.size(); ++n) {
        aiNode* parent = n < nodes.size() ? nodes[n] : scene->mRootNode;
        if (!children[n].empty())
            parent->addChildren(unsigned(children[n].size()), children[n].data());
    }
    return scene;
}

// Writes the character once as NAME.glb (rigged) or NAME.obj (mesh alone).
std::string Written(const Character& c, const std::string& extension)
{
    const std::string path = (Folder() / (c.name + "." + extension)).string();
    if (!std::filesystem::exists(path)) {
        const std::unique_ptr<aiScene> scene = SceneOf(c.body);
        if (Assimp::Exporter().Export(scene.get(), extension == "glb" ? "glb2" : "obj", path) != AI_SUCCESS)
            return "";
    }
    return path;
}

// The program's own path: quillo --convert FILE OUT.abd --command 32864.
bool ConvertAndFit(const std::string& in, const std::string& out)
{
    const char* argv[] = {"quillo", "--convert", in.c_str(), out.c_str(), "--command", "32864"};
    const auto none = [](const auto&) { return 2; };
    return RunCommandLine(6, argv, none, none) == 0;
}

struct Score {
    double mean = 0.0, worst = 0.0;
};

Score Judge(const std::array<Vec3, kFigureJoints>& truth, const std::array<Vec3, kFigureJoints>& fitted)
{
    Score score;
    for (int j : kLimbJoints) {
        const double e = Distance(truth[size_t(j)], fitted[size_t(j)]);
        score.mean += e / 12.0;
        score.worst = std::max(score.worst, e);
    }
    return score;
}

// Sums of the errors over a part of the set.
struct Tally {
    double sum = 0.0, worstMean = 0.0, worst = 0.0;
    int fitted = 0, failed = 0;

    void Add(const Score& score)
    {
        sum += score.mean;
        worstMean = std::max(worstMean, score.mean);
        worst = std::max(worst, score.worst);
        ++fitted;
    }
    double Mean() const { return fitted ? sum / fitted : 0.0; }
    void Print(const std::string& label) const
    {
        std::printf("%-14s %3d fitted, %2d not; mean %5.2f %%, worst character's mean %5.2f %%, worst joint %5.2f %% "
                    "of the height\n",
                    label.c_str(), fitted, failed, Mean() * 100, worstMean * 100, worst * 100);
    }
};

void BM_FitAccuracy(benchmark::State& state)
{
    for (auto _ : state) {
        std::printf("%-26s %-6s %8s %8s\n", "character", "from", "mean %", "worst %");
        for (const char* from : {"rig", "shape"}) {
            const bool rig = from == std::string("rig");
            Tally all;
            std::map<std::string, Tally> groups;
            for (const Character& c : Characters()) {
                // Characters made without bones are measured by their shape alone.
                if (rig && c.body.bones.empty())
                    continue;
                Tally& group = groups[c.group];
                const std::string in = Written(c, rig ? "glb" : "obj");
                const std::string out = (Folder() / (c.name + "-" + from + ".abd")).string();
                RecordingMessages messages;
                CBodyDoc doc(messages);
                if (in.empty() || !ConvertAndFit(in, out) || LoadSceneFile(doc, out) != LoadResult::Ok) {
                    std::printf("%-26s %-6s  not fitted\n", c.name.c_str(), from);
                    ++all.failed;
                    ++group.failed;
                    continue;
                }
                const Score score = Judge(JudgedTruth(c.body), JudgedJoints(doc));
                std::printf("%-26s %-6s %8.2f %8.2f\n", c.name.c_str(), from, score.mean * 100, score.worst * 100);
                all.Add(score);
                group.Add(score);
            }
            for (const auto& [name, group] : groups)
                group.Print(std::string(from) + " " + name);
            all.Print(std::string(from) + " all");
            state.counters[std::string(from) + " mean%"] = all.Mean() * 100;
            state.counters[std::string(from) + " worst%"] = all.worst * 100;
            state.counters[std::string(from) + " failed"] = all.failed;
        }
        // Things that are no character: the command must refuse each.
        int refused = 0, objects = 0;
        for (const NamedObject& object : NonHumanoidSet()) {
            const Character c{object.name, object.shape, "objects"};
            const bool fitted = ConvertAndFit(Written(c, "obj"), (Folder() / (c.name + ".abd")).string());
            std::printf("%-26s %-6s %s\n", c.name.c_str(), "shape", fitted ? "FITTED, wrongly" : "refused");
            refused += fitted ? 0 : 1;
            ++objects;
        }
        std::printf("%d of %d shapes that are no character refused\n", refused, objects);
        state.counters["refused"] = refused;
    }
}
BENCHMARK(BM_FitAccuracy)->Iterations(1)->Unit(benchmark::kSecond);

// The characters the speed is measured on, by vertex count.
const Character& Sized(int vertices)
{
    static std::map<int, Character> made;
    auto [it, added] = made.try_emplace(vertices);
    if (added) {
        HumanoidSpec spec;
        spec.fingers = vertices > 60000;
        spec.facing = 0.5;
        // Vertices grow as the square of the grid's cells over the height.
        spec.cells = 110;
        for (int round = 0; round < 3; ++round) {
            const size_t got = MakeHumanoid(spec).vertices.size();
            spec.cells = int(spec.cells * std::sqrt(double(vertices) / double(got)));
        }
        it->second = {"sized-" + std::to_string(vertices), MakeHumanoid(spec), "sized"};
    }
    return it->second;
}

void BM_ImportObj(benchmark::State& state)
{
    const Character& c = Sized(int(state.range(0)));
    const std::string path = Written(c, "obj");
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    doc->ResetScene();
    for (auto _ : state)
        if (ImportModel(*doc, path) != ExchangeResult::kOk)
            state.SkipWithError("import failed");
    state.counters["vertices"] = doc->vertexCount;
}
BENCHMARK(BM_ImportObj)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_AssimpObj(benchmark::State& state)
{
    const std::string path = Written(Sized(int(state.range(0))), "obj");
    for (auto _ : state) {
        Assimp::Importer importer;
        if (importer.ReadFile(path, 0) == nullptr)
            state.SkipWithError(importer.GetErrorString());
    }
}
BENCHMARK(BM_AssimpObj)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FitFromShape(benchmark::State& state)
{
    const Character& c = Sized(int(state.range(0)));
    RecordingMessages messages;
    auto doc = std::make_unique<CBodyDoc>(messages);
    doc->ResetScene();
    ImportModel(*doc, Written(c, "obj"));
    for (auto _ : state) {
        FigureFit fit;
        if (!FitFromShape(*doc, fit))
            state.SkipWithError("not fitted");
    }
    state.counters["vertices"] = doc->vertexCount;
}
BENCHMARK(BM_FitFromShape)->Arg(100000)->Unit(benchmark::kMillisecond);
const bench::DeclareRatio fitOverRead("BM_FitFromShape/100000", "BM_AssimpObj/100000");

// Runs quillo with these arguments and waits for it.
bool RunQuillo(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), QM_QUILLO_BIN);
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // What it prints (the version) would go into the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, QM_QUILLO_BIN, &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    if (!started)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_ConvertProcess(benchmark::State& state)
{
    const Character& c = Sized(int(state.range(0)));
    const std::string in = Written(c, "obj"), out = (Folder() / "process.abd").string();
    for (auto _ : state) {
        std::filesystem::remove(out);
        if (!RunQuillo({"--convert", in, out, "--command", "32864"}))
            state.SkipWithError("quillo failed");
    }
    state.counters["vertices"] = double(c.body.vertices.size());
    state.counters["seconds"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ConvertProcess)->Arg(35000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_StartProcess(benchmark::State& state)
{
    for (auto _ : state)
        if (!RunQuillo({"--version"}))
            state.SkipWithError("quillo failed");
}
BENCHMARK(BM_StartProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
