#include "scene/FigureFitting.h"

#include <algorithm>
#include <cmath>

#include "resources/Strings.h"
#include "scene/RigMap.h"

namespace qm {

namespace {

bool Complete(const FigureFit& fit)
{
    for (int j : kFittedJoints) {
        const Vec3& p = fit.joint[size_t(j)];
        if (!fit.placed.test(size_t(j)) || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return false;
    }
    return std::isfinite(fit.turn);
}

// Turns p by angle about the vertical through (cx, cy).
Vec3 Turned(const Vec3& p, double angle, double cx, double cy)
{
    const double c = std::cos(angle), s = std::sin(angle), x = p.x - cx, y = p.y - cy;
    return Vec3::FromDouble(cx + x * c - y * s, cy + x * s + y * c, p.z);
}

void TurnModel(CBodyDoc& doc, FigureFit& fit)
{
    if (fit.turn == 0.0)
        return;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (int v = 0; v < doc.vertexCount; ++v) {
        const Vec3& p = doc.restVertices[size_t(v)];
        lo[0] = std::min(lo[0], double(p.x));
        hi[0] = std::max(hi[0], double(p.x));
        lo[1] = std::min(lo[1], double(p.y));
        hi[1] = std::max(hi[1], double(p.y));
    }
    const double cx = (lo[0] + hi[0]) / 2, cy = (lo[1] + hi[1]) / 2;
    for (int v = 0; v < doc.vertexCount; ++v)
        doc.restVertices[size_t(v)] = Turned(doc.restVertices[size_t(v)], fit.turn, cx, cy);
    for (RigBone& bone : doc.rig.bones)
        bone.head = Turned(bone.head, fit.turn, cx, cy);
    for (Vec3& joint : fit.joint)
        joint = Turned(joint, fit.turn, cx, cy);
    fit.turn = 0.0;
}

// A point given in the frame of three directions from an origin, as the
// default figure has it, put in the same place of another frame.
struct Frame {
    Vec3 origin, e[3];

    static double Det(const Vec3& a, const Vec3& b, const Vec3& c) { return Cross(a, b).Dot(c); }

    // p's coordinates in this frame (zero when the frame is flat).
    std::array<double, 3> Of(const Vec3& p) const
    {
        const double d = Det(e[0], e[1], e[2]);
        if (d == 0.0)
            return {0.0, 0.0, 0.0};
        const Vec3 q = p - origin;
        return {Det(q, e[1], e[2]) / d, Det(e[0], q, e[2]) / d, Det(e[0], e[1], q) / d};
    }
    Vec3 At(const std::array<double, 3>& k) const { return origin + e[0] * k[0] + e[1] * k[1] + e[2] * k[2]; }
};

const Vec3 kForward(0.0f, -1.0f, 0.0f);

// The face before the head, down its neck; a chest point between its shoulder,
// the neck and the waist, before them: both as in the default figure.
Frame FaceFrame(const Vec3& head, const Vec3& neck)
{
    const double size = Distance(head, neck);
    return {head, {neck - head, Vec3(1, 0, 0) * size, kForward * size}};
}
Frame ChestFrame(const Vec3& neck, const Vec3& shoulder, const Vec3& waist, double halfWidth)
{
    return {neck, {shoulder - neck, waist - neck, kForward * halfWidth}};
}

void PlaceJoints(Figure& figure, const FigureFit& fit)
{
    std::array<Vec3, kFigureJoints> rest;
    for (int j = 0; j < kFigureJoints; ++j)
        rest[size_t(j)] = DefaultRestPosition(j);
    for (int j : kFittedJoints)
        rest[size_t(j)] = fit.joint[size_t(j)];
    auto d = [](int j) { return DefaultRestPosition(j); };
    rest[kFace] = FaceFrame(rest[kHead], rest[kNeck]).At(FaceFrame(d(kHead), d(kNeck)).Of(d(kFace)));
    const double halfWidth = Distance(rest[kShoulderNeg], rest[kShoulderPos]) / 2;
    const double defaultHalfWidth = Distance(d(kShoulderNeg), d(kShoulderPos)) / 2;
    for (const auto& [chest, shoulder] : {std::pair<int, int>{kChestNeg, kShoulderNeg}, {kChestPos, kShoulderPos}})
        rest[size_t(chest)] = ChestFrame(rest[kNeck], rest[size_t(shoulder)], rest[kWaist], halfWidth)
                                  .At(ChestFrame(d(kNeck), d(shoulder), d(kWaist), defaultHalfWidth).Of(d(chest)));
    for (int j = 0; j < kFigureJoints; ++j) {
        SceneNode& node = JointNode(figure, j);
        node.restPosition = node.position = rest[size_t(j)];
    }
    UpdateDerivedJoints(figure, true);
}

// Group binding's choice for a point: the nearest of node 0 and the nodes 1
// to 29 in use by their rest positions, the first of equals.
class GroupBinding {
public:
    explicit GroupBinding(const CBodyDoc& doc)
    {
        for (int n = 0; n < kFigureJoints; ++n) {
            const SceneNode& node = doc.pools.nodes[size_t(n)];
            if (n == 0 || node.inUse)
                nodes_.push_back({node.restPosition, n});
        }
    }
    int Nearest(const Vec3& p) const
    {
        int best = nodes_[0].second;
        double bestSquared = Squared(p, nodes_[0].first);
        for (size_t i = 1; i < nodes_.size(); ++i) {
            const double d = Squared(p, nodes_[i].first);
            if (d < bestSquared) {
                bestSquared = d;
                best = nodes_[i].second;
            }
        }
        return best;
    }

private:
    static double Squared(const Vec3& a, const Vec3& b)
    {
        const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
        return dx * dx + dy * dy + dz * dz;
    }
    std::vector<std::pair<Vec3, int>> nodes_;
};

// Joints that share a segment of the body: a vertex bound to either is where
// the other would put it.
bool Accepts(int wanted, int bound)
{
    static constexpr int kAlike[][2] = {{kHipNeg, kThighNeg}, {kHipPos, kThighPos}, {kPelvis, kWaist},
                                        {kHead, kFace}, {kChestNeg, kChestPos}};
    if (wanted == bound)
        return true;
    for (const auto& pair : kAlike)
        if ((pair[0] == wanted && pair[1] == bound) || (pair[1] == wanted && pair[0] == bound))
            return true;
    return false;
}

// The point on segment a-b nearest p, as its squared distance.
double SegmentSquared(const Vec3& p, const Vec3& a, const Vec3& b)
{
    const Vec3 ab = b - a, ap = p - a;
    const double length = ab.Dot(ab);
    const double t = length > 0.0 ? std::clamp(ap.Dot(ab) / length, 0.0, 1.0) : 0.0;
    const Vec3 q = ap - ab * t;
    return q.Dot(q);
}

// Where each vertex belongs: with its skin's bone's joint, or, where the skin
// says nothing, with the joint heading the figure's segment nearest to it.
// The chest goes by side. Joints are figure joints (nodes 0 to 29 after a reset).
std::vector<int> Targets(const CBodyDoc& doc, const Figure& figure, const RigMap& map)
{
    auto at = [&](int j) { return JointNode(figure, j).restPosition; };
    const Vec3 handNeg = at(kHandNeg) + (at(kHandNeg) - at(kElbowNeg)) * 0.4;
    const Vec3 handPos = at(kHandPos) + (at(kHandPos) - at(kElbowPos)) * 0.4;
    const double foot = Distance(at(kKneeNeg), at(kFootNeg)) * 0.3;
    const Vec3 toeNeg = at(kFootNeg) + kForward * foot, toePos = at(kFootPos) + kForward * foot;
    const Vec3 top = at(kHead) + (at(kHead) - at(kNeck)) * 0.5;
    const struct {
        Vec3 a, b;
        int joint;
    } segments[] = {
        {at(kHipNeg), at(kKneeNeg), kHipNeg},       {at(kKneeNeg), at(kFootNeg), kKneeNeg},
        {at(kFootNeg), toeNeg, kFootNeg},           {at(kHipPos), at(kKneePos), kHipPos},
        {at(kKneePos), at(kFootPos), kKneePos},     {at(kFootPos), toePos, kFootPos},
        {at(kShoulderNeg), at(kElbowNeg), kShoulderNeg}, {at(kElbowNeg), at(kHandNeg), kElbowNeg},
        {at(kHandNeg), handNeg, kHandNeg},          {at(kShoulderPos), at(kElbowPos), kShoulderPos},
        {at(kElbowPos), at(kHandPos), kElbowPos},   {at(kHandPos), handPos, kHandPos},
        {at(kHipNeg), at(kHipPos), kPelvis},        {at(kPelvis), at(kWaist), kWaist},
        {at(kWaist), at(kNeck), kChestBySide},      {at(kNeck), at(kHead), kNeck},
        {at(kHead), top, kHead},
    };
    const double middle = at(kNeck).x;
    std::vector<int> target(size_t(doc.vertexCount));
    for (int v = 0; v < doc.vertexCount; ++v) {
        const Vec3& p = doc.restVertices[size_t(v)];
        int joint = kNoJoint;
        if (size_t(v) < doc.rig.vertexBone.size()) {
            const int32_t bone = doc.rig.vertexBone[size_t(v)];
            if (bone >= 0 && size_t(bone) < map.boneJoint.size())
                joint = map.boneJoint[size_t(bone)];
        }
        if (joint == kNoJoint) {
            double best = 1e300;
            for (const auto& s : segments) {
                const double d = SegmentSquared(p, s.a, s.b);
                if (d < best) {
                    best = d;
                    joint = s.joint;
                }
            }
        }
        if (joint == kChestBySide)
            joint = p.x < middle ? kChestNeg : kChestPos;
        target[size_t(v)] = figure.joint[size_t(joint)];
    }
    return target;
}

// Vertex groups under which group binding (each vertex taken at 0.3 of its
// own place and 0.7 of its group's centroid) puts as many vertices as it can
// on their targets. Per target, one group: the vertices nearest the target's
// joint, as many as keep each other there, since every member pulls the
// centroid its way. The others go in groups of the node nearest to them.
void DesignGroups(CBodyDoc& doc, const Figure& figure, const std::vector<int>& target)
{
    constexpr int kOthers = 32;
    const GroupBinding binding(doc);
    std::vector<std::vector<int>> byTarget(kFigureJoints);
    for (int v = 0; v < doc.vertexCount; ++v)
        byTarget[size_t(target[size_t(v)])].push_back(v);
    for (int t = 0; t < kFigureJoints; ++t) {
        std::vector<int>& members = byTarget[size_t(t)];
        if (members.empty())
            continue;
        // Nearest the joint first, along the way the members lie from it.
        const Vec3 joint = doc.pools.nodes[size_t(t)].restPosition;
        Vec3 mean;
        for (int v : members)
            mean += (doc.restVertices[size_t(v)] - joint) * (1.0 / double(members.size()));
        const double length = mean.Length();
        std::vector<std::pair<double, int>> order;
        for (int v : members) {
            const Vec3 d = doc.restVertices[size_t(v)] - joint;
            order.push_back({length > 0.0 ? d.Dot(mean) / length : d.Length(), v});
        }
        std::sort(order.begin(), order.end());
        // Running sums give each prefix's centroid at once.
        std::vector<std::array<double, 3>> sums(order.size() + 1, {0.0, 0.0, 0.0});
        for (size_t i = 0; i < order.size(); ++i) {
            const Vec3& p = doc.restVertices[size_t(order[i].second)];
            sums[i + 1] = {sums[i][0] + p.x, sums[i][1] + p.y, sums[i][2] + p.z};
        }
        // Whether the first k hold together; the furthest fail first.
        auto holds = [&](size_t k) {
            const Vec3 c = Vec3::FromDouble(sums[k][0] / double(k), sums[k][1] / double(k), sums[k][2] / double(k));
            for (size_t i = k; i-- > 0;)
                if (!Accepts(t, binding.Nearest(doc.restVertices[size_t(order[i].second)] * 0.3 + c * 0.7)))
                    return false;
            return true;
        };
        size_t good = 0, bad = order.size() + 1;
        for (size_t k = order.size(); k > 0; k = k * 7 / 8) {
            if (holds(k)) {
                good = k;
                break;
            }
            bad = k;
        }
        // To a half percent: the last few members are not worth a pass each.
        while (good > 0 && bad - good > std::max<size_t>(1, order.size() / 200) && bad <= order.size()) {
            const size_t k = (good + bad) / 2;
            (holds(k) ? good : bad) = k;
        }
        for (size_t i = 0; i < order.size(); ++i) {
            const int v = order[i].second;
            doc.vertexGroup[size_t(v)] =
                i < good ? figure.joint[size_t(t)] : kOthers + binding.Nearest(doc.restVertices[size_t(v)]);
        }
    }
}

} // namespace

FitOutcome FitFigureToModel(CBodyDoc& doc, bool tellUser)
{
    FitOutcome outcome;
    Figure& figure = doc.FirstFigure();
    FigureFit fit;
    RigMap map;
    if (doc.vertexCount > 0 && figure.active && figure.document) {
        outcome.fromRig = MapRig(doc, fit, map) && Complete(fit);
        if (!outcome.fromRig)
            map = RigMap{};
        outcome.fitted = outcome.fromRig || (FitFromShape(doc, fit = FigureFit{}) && Complete(fit));
    }
    if (!outcome.fitted) {
        if (tellUser)
            doc.Messages().ShowMessage(strings::kCannotFitSkeleton);
        return outcome;
    }
    TurnModel(doc, fit);
    PlaceJoints(figure, fit);
    const std::vector<int> target = Targets(doc, figure, map);
    DesignGroups(doc, figure, target);
    doc.ViewState().groupBinding = true;
    CommitPoseAndRebind(figure, true);
    int agreeing = 0;
    for (int v = 0; v < doc.vertexCount; ++v)
        agreeing += Accepts(target[size_t(v)], doc.boundNode[size_t(v)]) ? 1 : 0;
    outcome.bindingAgreement = double(agreeing) / doc.vertexCount;
    return outcome;
}

} // namespace qm
