#include "tools/SampleFigure.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "scene/BodyDoc.h"
#include "tools/Tubes.h"

namespace qm {

namespace {

using namespace tubes;

// Entries of the default colour table.
constexpr int32_t kSkin = 32;       // orange, paler
constexpr int32_t kHair = 37;       // orange at 0.4
constexpr int32_t kEyes = 251;      // darkest grey
constexpr int32_t kShirt = 13;      // red at 0.8
constexpr int32_t kBelt = 39;       // orange at 0.2
constexpr int32_t kTrousers = 156;  // azure, paler, at 0.6
constexpr int32_t kShoe = 251;
constexpr int32_t kSole = 253;

// Positions are rounded to this grid, so that the last bit of the maths
// library's sines and cosines cannot change the file.
constexpr double kGrid = 1.0 / 1024.0;

// The camera frames the figure's height to this share of the 40 degree view.
constexpr double kFill = 0.85;
constexpr double kFieldOfView = 40.0 * kPi / 180.0;

class SampleBuilder {
public:
    explicit SampleBuilder(const Figure& figure) : figure_(figure) {}

    Mesh Build()
    {
        AddHead();
        AddNeck();
        AddTorso();
        for (int side : {-1, 1}) {
            AddArm(side);
            AddHand(side);
            AddLeg(side);
            AddShoe(side);
        }
        return std::move(mesh_);
    }

private:
    P3 J(int joint) const
    {
        const Vec3& v = JointNode(figure_, joint).restPosition;
        return {v.x, v.y, v.z};
    }

    static int32_t Skin(const P3&) { return kSkin; }

    void AddHead()
    {
        const P3 head = J(kHead);
        Part part;
        part.keys = {{head + P3{0, 0.05, -0.6}, 0.98, 1.08},
                     {head, 1.02, 1.15},
                     {head + P3{0, -0.08, 0.55}, 0.92, 1.05},
                     {head + P3{0, -0.2, 0.95}, 0.70, 0.85}};
        part.across = {1, 0, 0};
        part.grid = {28, 9, 5};
        part.caps = {0.7, 0.35};
        part.group = [](const P3&) { return kSampleHead; };
        part.colour = [head](const P3& c) {
            const bool eye = c.y < head.y - 0.7 && std::fabs(std::fabs(c.x) - 0.36) < 0.14 &&
                             std::fabs(c.z - (head.z + 0.02)) < 0.13;
            if (eye)
                return kEyes;
            // Down to the forehead in front, to the nape at the back.
            const bool hair = c.z < head.z - 0.45 || (c.y > head.y - 0.1 && c.z < head.z + 0.65);
            return hair ? kHair : kSkin;
        };
        AddPart(mesh_, part);
    }

    void AddNeck()
    {
        const P3 head = J(kHead);
        Part part;
        part.keys = {{head + P3{0, 0.14, 0.8}, 0.42, 0.42}, {P3{0, -0.15, J(kNeck).z - 0.17}, 0.48, 0.46}};
        part.across = {1, 0, 0};
        part.grid = {12, 6, 3};
        part.group = [](const P3&) { return kSampleNeck; };
        part.colour = Skin;
        AddPart(mesh_, part);
    }

    void AddTorso()
    {
        const double shoulder = J(kShoulderNeg).z, chest = J(kChestNeg).z, waist = J(kWaist).z, hip = J(kHipNeg).z;
        const double ribs = 0.5 * (chest + waist);
        const double belt = waist + 0.8;
        Part part;
        part.keys = {{{0, -0.28, shoulder - 0.2}, 1.25, 0.62}, {{0, -0.30, shoulder + 0.25}, 1.50, 0.76},
                     {{0, -0.35, chest}, 1.45, 0.85},          {{0, -0.33, ribs}, 1.25, 0.78},
                     {{0, -0.30, waist}, 1.10, 0.72},          {{0, -0.28, belt}, 1.22, 0.75},
                     {{0, -0.27, hip - 0.3}, 1.38, 0.80},      {{0, -0.27, hip + 0.45}, 1.30, 0.74}};
        part.across = {1, 0, 0};
        part.grid = {28, 22, 4};
        part.caps = {0.35, 0.45};
        part.group = [=](const P3& c) { return c.z < ribs ? kSampleChest : c.z < belt ? kSampleBelly : kSamplePelvis; };
        part.colour = [=](const P3& c) { return c.z < belt - 0.05 ? kShirt : c.z < belt + 0.25 ? kBelt : kTrousers; };
        AddPart(mesh_, part);
    }

    void AddArm(int side)
    {
        const P3 shoulder = J(side < 0 ? kShoulderNeg : kShoulderPos);
        const P3 elbow = J(side < 0 ? kElbowNeg : kElbowPos);
        const P3 wrist = elbow + (J(side < 0 ? kHandNeg : kHandPos) - elbow) * 0.72;
        const P3 out{double(side), 0, 0};
        Part part;
        part.keys = {{shoulder - out * 0.3 + P3{0, 0, -0.03}, 0.55, 0.55},
                     {shoulder + out * 0.5, 0.52, 0.50},
                     {elbow, 0.40, 0.42},
                     {elbow + (wrist - elbow) * 0.4, 0.41, 0.44},
                     {wrist, 0.28, 0.32}};
        part.across = {0, 0, 1};
        part.grid = {16, 20, 4};
        part.caps = {0.5, 0.12};
        const int32_t upper = side < 0 ? kSampleUpperArmNeg : kSampleUpperArmPos;
        const int32_t lower = side < 0 ? kSampleForearmNeg : kSampleForearmPos;
        const double elbowX = std::fabs(elbow.x), sleeveEnd = std::fabs(shoulder.x) + 1.3;
        part.group = [=](const P3& c) { return std::fabs(c.x) < elbowX ? upper : lower; };
        part.colour = [=](const P3& c) { return std::fabs(c.x) < sleeveEnd ? kShirt : kSkin; };
        AddPart(mesh_, part);
    }

    void AddHand(int side)
    {
        const P3 elbow = J(side < 0 ? kElbowNeg : kElbowPos);
        const P3 hand = J(side < 0 ? kHandNeg : kHandPos);
        const P3 wrist = elbow + (hand - elbow) * 0.72;
        const P3 along = Unit(hand - elbow);
        Part part;
        // Flat mittens, palms down.
        part.keys = {{wrist - along * 0.1, 0.16, 0.28},
                     {hand - along * 0.35, 0.19, 0.40},
                     {hand + along * 0.15, 0.17, 0.40},
                     {hand + along * 0.5, 0.13, 0.33}};
        part.across = {0, 0, 1};
        part.grid = {12, 7, 3};
        part.caps = {0.1, 0.25};
        part.squareness = 3.0;
        const int32_t group = side < 0 ? kSampleHandNeg : kSampleHandPos;
        part.group = [=](const P3&) { return group; };
        part.colour = Skin;
        AddPart(mesh_, part);
    }

    void AddLeg(int side)
    {
        const P3 hip = J(side < 0 ? kHipNeg : kHipPos);
        const P3 knee = J(side < 0 ? kKneeNeg : kKneePos);
        const P3 foot = J(side < 0 ? kFootNeg : kFootPos);
        Part part;
        part.keys = {{hip + P3{0, 0, -0.75}, 0.72, 0.72},
                     {hip, 0.76, 0.78},
                     {(hip + knee) * 0.5, 0.66, 0.68},
                     {knee, 0.50, 0.52},
                     {knee + (foot - knee) * 0.3, 0.56, 0.58},
                     {knee + (foot - knee) * 0.93, 0.31, 0.33}};
        part.across = {1, 0, 0};
        part.grid = {16, 26, 4};
        part.caps = {0.5, 0.2};
        const int32_t upper = side < 0 ? kSampleThighNeg : kSampleThighPos;
        const int32_t lower = side < 0 ? kSampleShinNeg : kSampleShinPos;
        const double kneeZ = knee.z;
        part.group = [=](const P3& c) { return c.z < kneeZ ? upper : lower; };
        part.colour = [](const P3&) { return kTrousers; };
        AddPart(mesh_, part);
    }

    void AddShoe(int side)
    {
        const P3 foot = J(side < 0 ? kFootNeg : kFootPos);
        const P3 base = foot + P3{0.05 * side, 0, 0};
        Part part;
        // From the heel forwards (towards -y), the soles about 0.6 below the foot joint.
        part.keys = {{base + P3{0, 0.55, 0.15}, 0.42, 0.36},
                     {base + P3{0, -0.2, 0.15}, 0.45, 0.42},
                     {base + P3{0, -1.0, 0.25}, 0.34, 0.44},
                     {base + P3{0, -1.55, 0.32}, 0.25, 0.38}};
        part.across = {0, 0, 1};
        part.grid = {16, 8, 4};
        part.caps = {0.22, 0.35};
        part.squareness = 2.6;
        const int32_t group = side < 0 ? kSampleFootNeg : kSampleFootPos;
        const double soleZ = base.z + 0.5;
        part.group = [=](const P3&) { return group; };
        part.colour = [=](const P3& c) { return c.z > soleZ ? kSole : kShoe; };
        AddPart(mesh_, part);
    }

    const Figure& figure_;
    Mesh mesh_;
};

double OnGrid(double v) { return std::round(v / kGrid) * kGrid; }

void FrameFromFront(SceneViewState& view, const CBodyDoc& doc)
{
    Vec3 low = doc.restVertices[0], high = low;
    for (int v = 0; v < doc.vertexCount; ++v) {
        const Vec3& p = doc.restVertices[static_cast<size_t>(v)];
        low = Vec3(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high = Vec3(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    const double height = double(high.z) - low.z;
    const double distance = height / (kFill * 2.0 * std::tan(0.5 * kFieldOfView));

    view.cameraElevation = 0.05f;  // a little below the middle of the figure
    view.cameraTwist = 0.0f;
    view.cameraAzimuth = static_cast<float>(-0.5 * kPi);  // on the -y side, which the figure faces
    view.cameraTarget = Midpoint(low, high);
    view.cameraDistance = static_cast<float>(OnGrid(distance));
    const double el = view.cameraElevation, az = view.cameraAzimuth;
    view.cameraEye = view.cameraTarget + Vec3::FromDouble(std::cos(az) * std::cos(el), std::sin(az) * std::cos(el),
                                                          std::sin(el)) *
                                             view.cameraDistance;

    // From the front, above and the viewer's left (+x), on the sphere of radius
    // 1000 that the keyboard's light control keeps it on.
    const double lightAzimuth = -1.1, lightElevation = -0.9;
    view.lightPosition = Vec3::FromDouble(OnGrid(1000.0 * std::cos(lightElevation) * std::cos(lightAzimuth)),
                                          OnGrid(1000.0 * std::cos(lightElevation) * std::sin(lightAzimuth)),
                                          OnGrid(1000.0 * std::sin(lightElevation)));
    view.LightAnglesFromPosition();
    view.modelScale = 1.0f;
    view.extraFlags[0] = 0;
    view.extraFlags[1] = view.extraFlags[2] = view.extraFlags[3] = 1;
}

} // namespace

bool BuildSampleFigure(CBodyDoc& doc)
{
    doc.ResetScene();
    doc.SetDefaultColours();
    const Mesh mesh = SampleBuilder(doc.FirstFigure()).Build();

    doc.vertexCount = static_cast<int32_t>(mesh.vertices.size());
    doc.polygonCount = static_cast<int32_t>(mesh.polygons.size());
    if (doc.GrowMesh())
        return false;
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
        const P3& p = mesh.vertices[v];
        doc.restVertices[v] = Vec3::FromDouble(OnGrid(p.x), OnGrid(p.y), OnGrid(p.z));
        doc.vertexGroup[v] = mesh.groups[v];
    }
    std::copy(mesh.polygons.begin(), mesh.polygons.end(), doc.polygonCorners.begin());
    std::copy(mesh.colours.begin(), mesh.colours.end(), doc.polygonColour.begin());

    SceneViewState& view = doc.ViewState();
    FrameFromFront(view, doc);
    view.groupBinding = true;
    doc.BindMeshToNodes();
    return true;
}

} // namespace qm
