#include "skeleton/Figure.h"

#include <cassert>

namespace qm {

const std::array<std::array<int, 2>, kFigureLinks> kFigureLinkJoints = {{
    {0, 1}, {10, 15}, {0, 15}, {1, 10}, {1, 15}, {1, 2}, {0, 2}, {2, 3}, {1, 3},
    {0, 10}, {10, 11}, {11, 12}, {15, 20}, {10, 25}, {15, 16}, {16, 17}, {0, 20},
    {20, 21}, {21, 22}, {0, 25}, {25, 26}, {26, 27}, {20, 25}, {10, 20}, {15, 25},
}};

const std::array<std::array<int, 2>, 8> kMirrorPairs = {{
    {4, 5}, {10, 15}, {11, 16}, {12, 17}, {20, 25}, {21, 26}, {22, 27}, {24, 29},
}};

namespace {

struct RestJoint {
    int joint;
    Vec3 rest;
};

const RestJoint kDefaultRestPose[] = {
    {0, {0.0f, -0.54f, 2.1f}},      {1, {0.0f, 0.0f, -0.3f}},      {2, {0.0f, -0.34f, -3.0f}},
    {3, {0.0f, -1.15f, -1.85f}},    {4, {-0.71f, -0.84f, 0.6f}},   {5, {0.71f, -0.85f, 0.6f}},
    {10, {-1.16f, 0.05f, -0.42f}},  {11, {-3.48f, 0.15f, -0.44f}}, {12, {-6.0f, 0.137f, -0.54f}},
    {15, {1.16f, 0.05f, -0.42f}},   {16, {3.48f, 0.15f, -0.44f}},  {17, {6.0f, 0.137f, -0.54f}},
    {20, {-0.68f, -0.27f, 4.0f}},   {21, {-1.2f, 0.354f, 8.14f}},  {22, {-2.0f, 0.5f, 13.0f}},
    {25, {0.68f, -0.27f, 4.0f}},    {26, {1.2f, 0.354f, 8.14f}},   {27, {2.0f, 0.5f, 13.0f}},
};

// Joints the mouse may not pick after a pose reset.
constexpr int kUnpickableJoints[] = {4, 5, 6, 7, 8, 9, 13, 14, 18, 19, 23, 24, 28, 29};

constexpr int kCentreLineJoints[] = {0, 1, 2, 3};

// Spare joints are parked here, far from any mesh, so that nothing binds to them.
constexpr float kParkedX = -1000.0f;

SkeletonPools& PoolsOf(const Figure& figure)
{
    assert(figure.document != nullptr);
    return figure.document->Pools();
}

} // namespace

SceneNode& JointNode(Figure& figure, int i)
{
    assert(i >= 0 && i < kFigureJoints);
    return PoolsOf(figure).nodes[static_cast<size_t>(figure.joint[static_cast<size_t>(i)])];
}

const SceneNode& JointNode(const Figure& figure, int i)
{
    assert(i >= 0 && i < kFigureJoints);
    return PoolsOf(figure).nodes[static_cast<size_t>(figure.joint[static_cast<size_t>(i)])];
}

SceneLink& FigureLink(Figure& figure, int i)
{
    assert(i >= 0 && i < kFigureLinks);
    return PoolsOf(figure).links[static_cast<size_t>(figure.link[static_cast<size_t>(i)])];
}

void TranslateFigure(Figure& figure, double dx, double dy, double dz)
{
    const Vec3 delta = Vec3::FromDouble(dx, dy, dz);
    for (int i = 0; i < kFigureJoints; ++i) {
        SceneNode& n = JointNode(figure, i);
        if (!n.inUse)
            continue;
        n.position += delta;
        n.velocity = Vec3();
    }
}

void SettleFigure(Figure& figure)
{
    for (int i = 0; i < kFigureJoints; ++i) {
        SceneNode& n = JointNode(figure, i);
        if (!n.pinned)
            n.previousPosition = n.position;
        n.velocity = Vec3();
    }
}

void ClearJointSelection(Figure& figure)
{
    for (int i = 0; i < kFigureJoints; ++i)
        JointNode(figure, i).selected = 0;
}

bool BuildFigure(Figure& figure, FigureHost& host)
{
    SkeletonPools& pools = host.Pools();
    if (pools.FreeNodeCount() < kFigureJoints || pools.FreeLinkCount() < kFigureLinks)
        return false;

    figure.document = &host;
    figure.active = 1;
    for (int i = 0; i < kFigureJoints; ++i)
        figure.joint[static_cast<size_t>(i)] = AllocNode(pools);
    for (int i = 0; i < kFigureLinks; ++i) {
        const auto& ends = kFigureLinkJoints[static_cast<size_t>(i)];
        const int l = AllocLink(pools);
        figure.link[static_cast<size_t>(i)] = l;
        SetLinkEnds(pools, l, figure.joint[static_cast<size_t>(ends[0])], figure.joint[static_cast<size_t>(ends[1])]);
        pools.links[static_cast<size_t>(l)].figureOwned = 1;
    }
    SetDefaultRestPose(figure);
    ClearJointSelection(figure);
    return true;
}

void SetDefaultRestPose(Figure& figure)
{
    for (int i = 0; i < kFigureJoints; ++i)
        JointNode(figure, i).restPosition.x = kParkedX;
    for (const RestJoint& r : kDefaultRestPose)
        JointNode(figure, r.joint).restPosition = r.rest;
    for (int foot : {kFootNeg, kFootPos}) {
        JointNode(figure, foot).paramB = 0.2f;
        JointNode(figure, foot).paramC = 0.1f;
    }
    UpdateDerivedJoints(figure, true);
    for (int i = 0; i < kFigureJoints; ++i) {
        SceneNode& n = JointNode(figure, i);
        n.position = n.restPosition;
    }
    SettleFigure(figure);
    CommitPoseAndRebind(figure, true);
}

Vec3 DefaultRestPosition(int joint)
{
    for (const RestJoint& r : kDefaultRestPose)
        if (r.joint == joint)
            return r.rest;
    return Vec3(kParkedX, 0.0f, 0.0f);
}

void UpdateDerivedJoints(Figure& figure, bool alsoRest)
{
    struct Derived {
        int joint, a, b;
    };
    static constexpr Derived kDerived[] = {{kPelvis, kHipNeg, kHipPos},
                                           {kThighNeg, kHipNeg, kKneeNeg},
                                           {kThighPos, kHipPos, kKneePos}};
    for (const Derived& d : kDerived) {
        if (alsoRest)
            JointNode(figure, d.joint).restPosition =
                Midpoint(JointNode(figure, d.a).restPosition, JointNode(figure, d.b).restPosition);
        JointNode(figure, d.joint).position =
            Midpoint(JointNode(figure, d.a).position, JointNode(figure, d.b).position);
    }
    const int32_t editing = figure.document->SkeletonEditMode() ? 1 : 0;
    JointNode(figure, kChestNeg).pickable = editing;
    JointNode(figure, kChestPos).pickable = editing;
}

void ResetFigurePose(Figure& figure, bool toRest)
{
    for (int i = 0; i < kFigureJoints; ++i) {
        SceneNode& n = JointNode(figure, i);
        n.stateFlag = 0;
        n.velocity = Vec3();
        if (toRest)
            n.position = n.restPosition;
        n.previousPosition = n.position;
        n.pinned = 0;
        n.pickable = 1;
    }
    for (int j : kUnpickableJoints)
        JointNode(figure, j).pickable = 0;
    SettleFigure(figure);
}

void CommitPoseAndRebind(Figure& figure, bool commit)
{
    UpdateDerivedJoints(figure, true);
    bool changed = !commit;  // a binding of another kind
    if (commit) {
        for (int i = 0; i < kFigureJoints; ++i) {
            SceneNode& n = JointNode(figure, i);
            changed = changed || (n.inUse && n.restPosition != n.position);
            if (n.inUse)
                n.restPosition = n.position;
        }
    }
    figure.document->BindMeshToNodes();
    if (changed)
        figure.document->MarkModified();
    if (commit) {
        ResetFigurePose(figure, true);
        UpdateDerivedJoints(figure, false);
    }
    UpdateLinkRestLengths(figure.document->Pools());
}

void MirrorPose(Figure& figure, bool fromNegativeSide)
{
    for (int j : kCentreLineJoints)
        JointNode(figure, j).position.x = 0.0f;
    for (const auto& pair : kMirrorPairs) {
        const int from = fromNegativeSide ? pair[0] : pair[1];
        const int to = fromNegativeSide ? pair[1] : pair[0];
        const Vec3 p = JointNode(figure, from).position;
        JointNode(figure, to).position = Vec3(-p.x, p.y, p.z);
    }
}

void SaveFigurePose(const Figure& figure, BinaryWriter& out)
{
    for (int i = 0; i < kFigureJoints; ++i) {
        const SceneNode& n = JointNode(figure, i);
        for (const Vec3* v : {&n.position, &n.restPosition}) {
            out.WriteFloat(v->x);
            out.WriteFloat(v->y);
            out.WriteFloat(v->z);
        }
    }
}

bool LoadFigurePose(Figure& figure, BinaryReader& in)
{
    std::array<Vec3, kFigureJoints * 2> block;
    for (Vec3& v : block) {
        v.x = in.ReadFloat();
        v.y = in.ReadFloat();
        v.z = in.ReadFloat();
    }
    if (in.Failed())
        return false;
    for (int i = 0; i < kFigureJoints; ++i) {
        SceneNode& n = JointNode(figure, i);
        n.position = block[static_cast<size_t>(2 * i)];
        n.restPosition = block[static_cast<size_t>(2 * i + 1)];
    }
    ClearJointSelection(figure);
    CommitPoseAndRebind(figure, false);
    ResetFigurePose(figure, false);
    return true;
}

} // namespace qm
