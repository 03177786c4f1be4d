#include "tools/Humanoid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <unordered_map>

#include "platform/Messages.h"
#include "scene/FigureFit.h"
#include "tools/RiggedFigure.h"
#include "tools/Tubes.h"

namespace qm {

namespace {

using namespace tubes;

// The character is built one unit tall, its soles at the origin, and then
// scaled and lowered to where the sample figure stands.
constexpr double kScale = 17.0;
constexpr double kSoleZ = 13.6;

// Entries of the default colour table.
constexpr int32_t kSkin = 32;
constexpr int32_t kShirt = 13;
constexpr int32_t kTrousers = 156;
constexpr int32_t kShoe = 251;
constexpr int32_t kHairColour = 37;
constexpr int32_t kCloth = 100;

enum Bone : int32_t {
    kHips,
    kSpine,
    kChest,
    kNeckBone,
    kHeadBone,
    kLeftArm,
    kLeftForeArm,
    kLeftHand,
    kRightArm,
    kRightForeArm,
    kRightHand,
    kLeftUpLeg,
    kLeftLeg,
    kLeftFoot,
    kLeftToe,
    kRightUpLeg,
    kRightLeg,
    kRightFoot,
    kRightToe,
    kBoneCount
};

struct BoneInfo {
    const char* name;
    int32_t parent;
    int joint;
};

constexpr BoneInfo kBones[kBoneCount] = {
    {"Hips", -1, kWaist},
    {"Spine", kHips, -1},
    {"Chest", kSpine, -1},
    {"Neck", kChest, kNeck},
    {"Head", kNeckBone, kHead},
    {"LeftArm", kChest, kShoulderNeg},
    {"LeftForeArm", kLeftArm, kElbowNeg},
    {"LeftHand", kLeftForeArm, kHandNeg},
    {"RightArm", kChest, kShoulderPos},
    {"RightForeArm", kRightArm, kElbowPos},
    {"RightHand", kRightForeArm, kHandPos},
    {"LeftUpLeg", kHips, kHipNeg},
    {"LeftLeg", kLeftUpLeg, kKneeNeg},
    {"LeftFoot", kLeftLeg, kFootNeg},
    {"LeftToeBase", kLeftFoot, -1},
    {"RightUpLeg", kHips, kHipPos},
    {"RightLeg", kRightUpLeg, kKneePos},
    {"RightFoot", kRightLeg, kFootPos},
    {"RightToeBase", kRightFoot, -1},
};

// A point from its distance to the character's right (the figure's +x; the
// left side is negative), forwards and up.
constexpr P3 At(double right, double forwards, double up)
{
    return {right, -forwards, -up};
}

P3 Mix(P3 a, P3 b, double t)
{
    return a + (b - a) * t;
}

double Length(P3 a)
{
    return std::sqrt(Dot(a, a));
}

// Where the skeleton stands, and the sizes the body is built with, all in
// units of the height.
struct Skeleton {
    HumanoidSpec spec;
    double head = 0.0, chin = 0.0, body = 0.0, shoulders = 0.0, crotch = 0.0;
    std::array<P3, kBoneCount> bone{};
    std::array<P3, 2> handTip{}, heel{}, toeTip{};
    P3 headCentre;

    explicit Skeleton(const HumanoidSpec& s) : spec(s)
    {
        head = 1.0 / s.heads;
        chin = 1.0 - head;
        body = chin;
        const double b = body, w = s.width;
        shoulders = chin - 0.075 * b;
        crotch = s.legs * b;
        const double hipHeight = crotch + 0.03 * b, ankle = (s.heels ? 0.09 : 0.05) * b;
        const double kneeHeight = 0.5 * (hipHeight + ankle) + 0.01 * b;
        headCentre = At(0, 0.01 * head, chin + 0.52 * head);

        bone[kHips] = At(0, 0, hipHeight + 0.03 * b);
        bone[kSpine] = At(0, -0.005 * b, crotch + 0.45 * (shoulders - crotch));
        bone[kChest] = At(0, -0.01, shoulders - 0.12 * b);
        bone[kNeckBone] = At(0, -0.015 * b, shoulders + 0.01 * b);
        bone[kHeadBone] = At(0, -0.005 * b, chin + 0.2 * head);

        const double armAngle =
            s.drop >= 0.0 ? s.drop : s.pose == ArmPose::kT ? 0.03 : s.pose == ArmPose::kA ? 0.7 : 1.38;
        const double upper = 0.22 * b, forearm = upper * s.forearm, hand = 0.13 * b * s.hands;
        for (int k = 0; k < 2; ++k) {
            const double side = k == 0 ? -1.0 : 1.0;
            // A block figure's arms hang beside its trunk, a skin's start inside it.
            const double out = s.blocks ? 0.155 * w + 0.045 * s.girth : 0.125 * w;
            const P3 shoulder = At(side * out * b, -0.005 * b, shoulders - (s.blocks ? 0.05 : 0.02) * b);
            const P3 along = At(side * std::cos(armAngle), std::sin(armAngle) * std::sin(s.swing),
                                -std::sin(armAngle) * std::cos(s.swing));
            bone[k == 0 ? kLeftArm : kRightArm] = shoulder;
            bone[k == 0 ? kLeftForeArm : kRightForeArm] = shoulder + along * upper;
            const P3 wrist = shoulder + along * (upper + forearm);
            bone[k == 0 ? kLeftHand : kRightHand] = wrist;
            handTip[size_t(k)] = wrist + along * hand;

            // Fused thighs meet down to the knees.
            const double hipOut = s.fused ? 0.055 : 0.068, kneeOut = s.fused ? 0.042 : 0.067;
            const P3 hip = At(side * hipOut * b * w, 0.0, hipHeight);
            const P3 anklePoint = At(side * 0.072 * b * w, -0.01 * b, ankle);
            bone[k == 0 ? kLeftUpLeg : kRightUpLeg] = hip;
            bone[k == 0 ? kLeftLeg : kRightLeg] = At(side * kneeOut * b * w, 0.005 * b, kneeHeight);
            bone[k == 0 ? kLeftFoot : kRightFoot] = anklePoint;
            const double foot = (s.boots ? 0.2 : 0.17) * b;
            bone[k == 0 ? kLeftToe : kRightToe] = anklePoint + At(side * 0.012 * b, 0.62 * foot, -0.03 * b);
            heel[size_t(k)] = anklePoint + At(0, -0.22 * foot, -0.02 * b);
            toeTip[size_t(k)] = anklePoint + At(side * 0.02 * b, 0.78 * foot, -0.035 * b);
        }
    }
};

// One piece of the skin's implicit surface: a capsule whose radius runs from
// ra to rb, or an ellipsoid on three axes.
struct Blob {
    bool ellipsoid = false;
    P3 a, b;
    double ra = 0.0, rb = 0.0;
    std::array<P3, 3> axis{};
    std::array<double, 3> radius{};
    int32_t bone = 0;

    double Distance(P3 p) const
    {
        if (ellipsoid) {
            const P3 d = p - a;
            double k0 = 0.0, k1 = 0.0;
            for (int i = 0; i < 3; ++i) {
                const double q = Dot(d, axis[size_t(i)]), r = radius[size_t(i)];
                k0 += (q / r) * (q / r);
                k1 += (q / (r * r)) * (q / (r * r));
            }
            k0 = std::sqrt(k0);
            k1 = std::sqrt(k1);
            return k1 > 0.0 ? k0 * (k0 - 1.0) / k1 : -radius[0];
        }
        const P3 ab = b - a;
        const double t = std::clamp(Dot(p - a, ab) / std::max(Dot(ab, ab), 1e-12), 0.0, 1.0);
        return Length(p - (a + ab * t)) - (ra + (rb - ra) * t);
    }

    // A box holding the whole blob.
    void Bounds(P3& low, P3& high) const
    {
        if (ellipsoid) {
            P3 extent;
            for (int i = 0; i < 3; ++i) {
                const P3 e = axis[size_t(i)] * radius[size_t(i)];
                extent = extent + P3{std::fabs(e.x), std::fabs(e.y), std::fabs(e.z)};
            }
            low = a - extent;
            high = a + extent;
            return;
        }
        const double r = std::max(ra, rb);
        low = {std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::min(a.z, b.z) - r};
        high = {std::max(a.x, b.x) + r, std::max(a.y, b.y) + r, std::max(a.z, b.z) + r};
    }
};

Blob Capsule(P3 a, P3 b, double ra, double rb, int32_t bone)
{
    Blob blob;
    blob.a = a;
    blob.b = b;
    blob.ra = ra;
    blob.rb = rb;
    blob.bone = bone;
    return blob;
}

// An ellipsoid with its first axis along `along` and its second as near
// `towards` as square to it allows.
Blob Ellipsoid(P3 centre, P3 along, P3 towards, std::array<double, 3> radius, int32_t bone)
{
    Blob blob;
    blob.ellipsoid = true;
    blob.a = centre;
    const P3 e0 = Unit(along);
    const P3 e1 = Unit(towards - e0 * Dot(towards, e0));
    blob.axis = {e0, e1, CrossOf(e0, e1)};
    blob.radius = radius;
    blob.bone = bone;
    return blob;
}

constexpr P3 kUp = At(0, 0, 1), kForwards = At(0, 1, 0), kRight = At(1, 0, 0);

std::vector<Blob> SkinBlobs(const Skeleton& s)
{
    const HumanoidSpec& spec = s.spec;
    const double b = s.body, g = spec.girth, w = spec.width, h = s.head;
    std::vector<Blob> blobs;
    // Trunk, neck and head.
    // The chest's side is the armpit's: the arm's head sits just outside it.
    blobs.push_back(Ellipsoid(At(0, -0.005 * b, s.shoulders - 0.1 * b), kRight, kForwards,
                              {0.12 * b * w * std::sqrt(g), 0.09 * b * g, 0.13 * b}, kChest));
    blobs.push_back(Capsule(s.bone[kLeftArm] + At(0.02 * b, 0, 0.01 * b),
                            s.bone[kRightArm] + At(-0.02 * b, 0, 0.01 * b), 0.05 * b * g, 0.05 * b * g, kChest));
    blobs.push_back(Ellipsoid(At(0, 0, 0.5 * (s.crotch + s.shoulders) - 0.02 * b), kRight, kForwards,
                              {0.125 * b * w * g, 0.085 * b * g, 0.15 * b}, kSpine));
    blobs.push_back(Ellipsoid(At(0, -0.005 * b, s.crotch + 0.085 * b), kRight, kForwards,
                              {0.145 * b * w * std::sqrt(g), 0.095 * b * g, 0.1 * b}, kHips));
    blobs.push_back(Capsule(At(0, -0.01 * b, s.shoulders - 0.03 * b), At(0, -0.005 * b, s.chin + 0.1 * h),
                            0.045 * b * g, 0.04 * b * g, kNeckBone));
    blobs.push_back(Ellipsoid(s.headCentre, kRight, kForwards, {0.4 * h, 0.46 * h, 0.54 * h}, kHeadBone));
    blobs.push_back(
        Ellipsoid(At(0, 0.12 * h, s.chin + 0.26 * h), kRight, kForwards, {0.28 * h, 0.3 * h, 0.28 * h}, kHeadBone));
    blobs.push_back(
        Ellipsoid(At(0, 0.46 * h, s.chin + 0.42 * h), kRight, kForwards, {0.06 * h, 0.08 * h, 0.1 * h}, kHeadBone));
    if (spec.bust)
        for (double side : {-1.0, 1.0})
            blobs.push_back(Ellipsoid(At(side * 0.065 * b * w, 0.06 * b * g, s.shoulders - 0.14 * b), kRight, kForwards,
                                      {0.055 * b, 0.055 * b, 0.05 * b}, kChest));
    // Limbs.
    for (int k = 0; k < 2; ++k) {
        const int32_t o = k == 0 ? 0 : 3; // right arm bones follow the left's
        const P3 shoulder = s.bone[size_t(kLeftArm + o)], elbow = s.bone[size_t(kLeftForeArm + o)];
        const P3 wrist = s.bone[size_t(kLeftHand + o)], tip = s.handTip[size_t(k)];
        blobs.push_back(Capsule(shoulder, elbow, 0.05 * b * g, 0.038 * b * g, kLeftArm + o));
        blobs.push_back(Capsule(elbow, wrist, 0.038 * b * g, 0.026 * b * g, kLeftForeArm + o));
        // The palm faces the floor in a T pose and the thigh with the arms down;
        // it is widest at the knuckles, the fingers narrower.
        const double hand = Length(tip - wrist);
        blobs.push_back(Ellipsoid(Mix(wrist, tip, 0.3), tip - wrist, kForwards,
                                  {0.3 * hand, 0.036 * b * spec.hands, 0.014 * b * spec.hands}, kLeftHand + o));
        if (!spec.fingers) {
            blobs.push_back(Ellipsoid(Mix(wrist, tip, 0.72), tip - wrist, kForwards,
                                      {0.28 * hand, 0.03 * b * spec.hands, 0.009 * b * spec.hands}, kLeftHand + o));
        } else {
            // Four fingers spread from the knuckles, the thumb forwards from the palm's root.
            const P3 along = Unit(tip - wrist), breadth = Unit(kForwards - along * Dot(kForwards, along));
            const P3 knuckles = Mix(wrist, tip, 0.5);
            for (int f = 0; f < 4; ++f) {
                const double across = (1.5 - f) * 0.016 * b * spec.hands;
                const P3 root = knuckles + breadth * across;
                const P3 end = root + Unit(along + breadth * (across / (0.12 * b))) * (hand * (f == 1 ? 0.5 : 0.44));
                blobs.push_back(Capsule(root, end, 0.008 * b * spec.hands, 0.006 * b * spec.hands, kLeftHand + o));
            }
            const P3 root = Mix(wrist, tip, 0.2) + breadth * (0.03 * b * spec.hands);
            blobs.push_back(Capsule(root, root + Unit(along + breadth * 1.2) * (0.35 * hand), 0.01 * b * spec.hands,
                                    0.007 * b * spec.hands, kLeftHand + o));
        }

        const int32_t l = k == 0 ? 0 : 4;
        const P3 hip = s.bone[size_t(kLeftUpLeg + l)], knee = s.bone[size_t(kLeftLeg + l)];
        const P3 ankle = s.bone[size_t(kLeftFoot + l)];
        blobs.push_back(Capsule(hip, knee, 0.072 * b * g, 0.05 * b * g, kLeftUpLeg + l));
        blobs.push_back(Capsule(knee, ankle, 0.05 * b * g, 0.03 * b * g, kLeftLeg + l));
        blobs.push_back(Ellipsoid(Mix(knee, ankle, 0.3) + At(0, -0.012 * b, 0), kUp, kForwards,
                                  {0.11 * b, 0.05 * b * g, 0.052 * b * g}, kLeftLeg + l));
        const double footRadius = (spec.boots ? 0.042 : 0.03) * b;
        if (spec.boots)
            blobs.push_back(Capsule(Mix(knee, ankle, 0.35), ankle, 0.06 * b, 0.055 * b, kLeftLeg + l));
        // The foot: from the heel to the toes along the floor, the ankle joined to its back half.
        const P3 heel = s.heel[size_t(k)], toe = s.toeTip[size_t(k)];
        const double lift = spec.heels ? 0.06 * b : 0.0;
        const P3 heelBall{heel.x, heel.y, -footRadius - lift}, toeBall{toe.x, toe.y, -footRadius * 0.8};
        if (spec.heels)
            blobs.push_back(Capsule(heelBall, P3{heel.x, heel.y, -0.008 * b}, 0.012 * b, 0.008 * b, kLeftToe + l));
        blobs.push_back(
            Capsule(heelBall + kForwards * footRadius, toeBall, footRadius, footRadius * 0.75, kLeftToe + l));
        blobs.push_back(
            Capsule(ankle, heelBall + kForwards * (2 * footRadius), 0.035 * b * g, footRadius, kLeftFoot + l));
    }
    return blobs;
}

// The blobs' blended field at p: negative inside.
double Field(const std::vector<Blob>& blobs, P3 p, double smooth)
{
    double v = 1e9;
    for (const Blob& blob : blobs) {
        const double d = blob.Distance(p);
        const double m = std::max(smooth - std::fabs(v - d), 0.0) / smooth;
        v = std::min(v, d) - m * m * smooth * 0.25;
    }
    return v;
}

// The implicit surface of the blobs' smooth union, sampled on a grid and cut
// into polygons by marching tetrahedra; every vertex belongs to the bone of
// the nearest blob at the grid point inside it.
class Skin {
  public:
    Skin(const std::vector<Blob>& blobs, double cell, double smooth) : blobs_(blobs), cell_(cell), smooth_(smooth) {}

    void Build(Mesh& mesh, std::vector<int32_t>& bones)
    {
        Sample();
        Polygonise(mesh, bones);
    }

  private:
    size_t Index(int i, int j, int k) const { return (size_t(k) * size_t(ny_) + size_t(j)) * size_t(nx_) + size_t(i); }
    P3 Point(int i, int j, int k) const { return origin_ + P3{i * cell_, j * cell_, k * cell_}; }

    void Sample()
    {
        P3 low{1e9, 1e9, 1e9}, high{-1e9, -1e9, -1e9};
        for (const Blob& blob : blobs_) {
            P3 l, h;
            blob.Bounds(l, h);
            low = {std::min(low.x, l.x), std::min(low.y, l.y), std::min(low.z, l.z)};
            high = {std::max(high.x, h.x), std::max(high.y, h.y), std::max(high.z, h.z)};
        }
        const double margin = 2.0 * cell_;
        origin_ = low - P3{margin, margin, margin};
        nx_ = int((high.x - low.x + 2 * margin) / cell_) + 2;
        ny_ = int((high.y - low.y + 2 * margin) / cell_) + 2;
        nz_ = int((high.z - low.z + 2 * margin) / cell_) + 2;
        value_.assign(size_t(nx_) * size_t(ny_) * size_t(nz_), 1e9f);
        nearest_.assign(value_.size(), 1e9f);
        bone_.assign(value_.size(), 0);
        // Each blob reaches only the grid points near it.
        for (const Blob& blob : blobs_) {
            P3 l, h;
            blob.Bounds(l, h);
            const double reach = smooth_ + 2.0 * cell_;
            const int i0 = std::max(0, int((l.x - reach - origin_.x) / cell_));
            const int j0 = std::max(0, int((l.y - reach - origin_.y) / cell_));
            const int k0 = std::max(0, int((l.z - reach - origin_.z) / cell_));
            const int i1 = std::min(nx_ - 1, int((h.x + reach - origin_.x) / cell_) + 1);
            const int j1 = std::min(ny_ - 1, int((h.y + reach - origin_.y) / cell_) + 1);
            const int k1 = std::min(nz_ - 1, int((h.z + reach - origin_.z) / cell_) + 1);
            for (int k = k0; k <= k1; ++k)
                for (int j = j0; j <= j1; ++j)
                    for (int i = i0; i <= i1; ++i) {
                        const size_t at = Index(i, j, k);
                        const double d = blob.Distance(Point(i, j, k));
                        const double v = value_[at];
                        // Polynomial smooth minimum: blends within smooth_ of
                        // both, between the pieces of one bone or of joined bones
                        // (two legs side by side stay apart).
                        const double k = Joined(bone_[at], blob.bone) ? smooth_ : 1e-9;
                        const double m = std::max(k - std::fabs(v - d), 0.0) / k;
                        value_[at] = float(std::min(v, d) - m * m * k * 0.25);
                        if (d < nearest_[at]) {
                            nearest_[at] = float(d);
                            bone_[at] = blob.bone;
                        }
                    }
        }
    }

    static bool Joined(int32_t a, int32_t b) { return a == b || kBones[a].parent == b || kBones[b].parent == a; }

    void Polygonise(Mesh& mesh, std::vector<int32_t>& bones)
    {
        // Each cube in six tetrahedra round its main diagonal (corner bits x, y, z).
        static constexpr int kTets[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7},
                                            {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};
        std::unordered_map<uint64_t, int32_t> edgeVertex;
        auto cross = [&](size_t a, size_t b, P3 pa, P3 pb) {
            if (a > b) {
                std::swap(a, b);
                std::swap(pa, pb);
            }
            const uint64_t key = (uint64_t(a) << 32) | uint64_t(b);
            const auto [it, added] = edgeVertex.emplace(key, int32_t(mesh.vertices.size()));
            if (added) {
                const double va = value_[a], vb = value_[b];
                mesh.vertices.push_back(Mix(pa, pb, va / (va - vb)));
                mesh.groups.push_back(0);
                bones.push_back(va < 0 ? bone_[a] : bone_[b]);
            }
            return it->second;
        };
        for (int k = 0; k + 1 < nz_; ++k)
            for (int j = 0; j + 1 < ny_; ++j)
                for (int i = 0; i + 1 < nx_; ++i) {
                    size_t at[8];
                    P3 p[8];
                    int inside = 0;
                    for (int c = 0; c < 8; ++c) {
                        const int ci = i + (c & 1), cj = j + ((c >> 1) & 1), ck = k + ((c >> 2) & 1);
                        at[c] = Index(ci, cj, ck);
                        p[c] = Point(ci, cj, ck);
                        inside += value_[at[c]] < 0 ? 1 : 0;
                    }
                    if (inside == 0 || inside == 8)
                        continue;
                    for (const auto& tet : kTets) {
                        int in[4], out[4], nIn = 0, nOut = 0;
                        for (int c : tet)
                            (value_[at[c]] < 0 ? in[nIn++] : out[nOut++]) = c;
                        if (nIn == 0 || nOut == 0)
                            continue;
                        P3 outwards;
                        for (int o = 0; o < nOut; ++o)
                            outwards = outwards + p[out[o]] * (1.0 / nOut);
                        for (int n = 0; n < nIn; ++n)
                            outwards = outwards - p[in[n]] * (1.0 / nIn);
                        std::vector<int32_t> corners;
                        if (nIn == 1 || nOut == 1) {
                            const int apex = nIn == 1 ? in[0] : out[0];
                            const int* rest = nIn == 1 ? out : in;
                            for (int r = 0; r < 3; ++r)
                                corners.push_back(cross(at[apex], at[rest[r]], p[apex], p[rest[r]]));
                        } else {
                            corners = {cross(at[in[0]], at[out[0]], p[in[0]], p[out[0]]),
                                       cross(at[in[0]], at[out[1]], p[in[0]], p[out[1]]),
                                       cross(at[in[1]], at[out[1]], p[in[1]], p[out[1]]),
                                       cross(at[in[1]], at[out[0]], p[in[1]], p[out[0]])};
                        }
                        AddPolygon(mesh, corners, outwards);
                    }
                }
    }

    // The document's face normal is (c2 - c0) x (c1 - c0): outwards.
    static void AddPolygon(Mesh& mesh, std::vector<int32_t> c, P3 outwards)
    {
        const P3 p0 = mesh.vertices[size_t(c[0])];
        const P3 n = CrossOf(mesh.vertices[size_t(c[2])] - p0, mesh.vertices[size_t(c[1])] - p0);
        if (Dot(n, outwards) < 0)
            std::reverse(c.begin(), c.end());
        if (c.size() == 3)
            c.push_back(c[2]);
        mesh.polygons.push_back({c[0], c[1], c[2], c[3]});
        mesh.colours.push_back(0);
    }

    const std::vector<Blob>& blobs_;
    double cell_, smooth_;
    P3 origin_;
    int nx_ = 0, ny_ = 0, nz_ = 0;
    std::vector<float> value_, nearest_;
    std::vector<int32_t> bone_;
};

// The piece of a character made of several meshes that a bone's skin is in:
// the body (with the neck), the head, each hand, each foot.
int PieceOf(int32_t bone)
{
    switch (bone) {
    case kHeadBone:
        return 1;
    case kLeftHand:
        return 2;
    case kRightHand:
        return 3;
    case kLeftFoot:
    case kLeftToe:
        return 4;
    case kRightFoot:
    case kRightToe:
        return 5;
    default:
        return 0;
    }
}

// Each piece's skin on its own, overlapping its neighbours where they meet,
// with the faces inside another piece taken away as modellers do.
void BuildPieces(const std::vector<Blob>& blobs, double cell, double smooth, Mesh& mesh, std::vector<int32_t>& bones)
{
    constexpr int kPieces = 6;
    std::array<std::vector<Blob>, kPieces> piece;
    for (const Blob& blob : blobs)
        piece[size_t(PieceOf(blob.bone))].push_back(blob);
    for (auto& own : piece) {
        Mesh part;
        std::vector<int32_t> partBones;
        if (own.empty())
            continue;
        Skin(own, cell, smooth).Build(part, partBones);
        const int piece_ = PieceOf(partBones.empty() ? 0 : partBones[0]);
        const int32_t first = int32_t(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), part.vertices.begin(), part.vertices.end());
        mesh.groups.insert(mesh.groups.end(), part.groups.begin(), part.groups.end());
        bones.insert(bones.end(), partBones.begin(), partBones.end());
        for (size_t p = 0; p < part.polygons.size(); ++p) {
            PolygonCorners c = part.polygons[p];
            P3 centre;
            for (int32_t v : c)
                centre = centre + part.vertices[size_t(v)] * 0.25;
            bool hidden = false;
            for (int other = 0; other < kPieces && !hidden; ++other)
                if (other != piece_ && !piece[size_t(other)].empty())
                    hidden = Field(piece[size_t(other)], centre, smooth) < -0.5 * cell;
            if (hidden)
                continue;
            for (int32_t& v : c)
                v += first;
            mesh.polygons.push_back(c);
            mesh.colours.push_back(0);
        }
    }
}

// A box from a to b (its length along them, plus `beyond` at each end),
// `half` wide along `across` and `thick` along the third direction.
void AddBox(Mesh& mesh, std::vector<int32_t>& bones, P3 a, P3 b, P3 across, double half, double thick, double beyond,
            int32_t bone)
{
    const P3 t = Unit(b - a);
    // An across along the box's length would leave no width: the floor's normal serves.
    if (std::fabs(Dot(Unit(across), t)) > 0.99)
        across = kUp;
    const P3 u = Unit(across - t * Dot(across, t));
    const P3 v = CrossOf(t, u);
    const P3 start = a - t * beyond, end = b + t * beyond;
    const int32_t first = int32_t(mesh.vertices.size());
    for (int c = 0; c < 8; ++c) {
        const P3 base = (c & 4) ? end : start;
        mesh.vertices.push_back(base + u * (c & 1 ? half : -half) + v * (c & 2 ? thick : -thick));
        mesh.groups.push_back(0);
        bones.push_back(bone);
    }
    // Faces by their corner bits, each turned so that its normal points out.
    static constexpr int kFaces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                                         {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    const P3 centre = Mix(start, end, 0.5);
    for (const auto& f : kFaces) {
        PolygonCorners c{first + f[0], first + f[1], first + f[2], first + f[3]};
        const P3 p0 = mesh.vertices[size_t(c[0])];
        const P3 n = CrossOf(mesh.vertices[size_t(c[2])] - p0, mesh.vertices[size_t(c[1])] - p0);
        if (Dot(n, p0 - centre) < 0)
            std::swap(c[1], c[3]);
        mesh.polygons.push_back(c);
        mesh.colours.push_back(0);
    }
}

void AddBlocks(const Skeleton& s, Mesh& mesh, std::vector<int32_t>& bones)
{
    const double b = s.body, h = s.head, w = s.spec.width, g = s.spec.girth;
    // Hung apart, a robot's pelvis is a block of its own under the trunk, its
    // head sits on the trunk with no neck, and its arms start a little out
    // from their joints.
    const bool hung = s.spec.hung;
    const double neck = hung ? s.shoulders + 0.02 * b : s.chin;
    AddBox(mesh, bones, At(0, 0, neck), At(0, 0, 1.0), kRight, 0.4 * h, 0.45 * h, 0.0, kHeadBone);
    if (!hung)
        AddBox(mesh, bones, At(0, 0, s.shoulders), At(0, 0, s.chin + 0.1 * h), kRight, 0.05 * b, 0.05 * b, 0.0,
               kNeckBone);
    const double trunk = s.crotch + (hung ? 0.09 * b : 0.0);
    AddBox(mesh, bones, At(0, 0, trunk), At(0, 0, s.shoulders + 0.02 * b), kRight, 0.155 * b * w, 0.09 * b * g, 0.0,
           kChest);
    if (hung)
        AddBox(mesh, bones, At(0, 0, s.crotch), At(0, 0, s.crotch + 0.06 * b), kRight, 0.14 * b * w, 0.08 * b * g, 0.0,
               kHips);
    for (int k = 0; k < 2; ++k) {
        const int32_t o = k == 0 ? 0 : 3, l = k == 0 ? 0 : 4;
        const P3 shoulder = s.bone[size_t(kLeftArm + o)], elbow = s.bone[size_t(kLeftForeArm + o)];
        const P3 wrist = s.bone[size_t(kLeftHand + o)];
        if (hung)
            AddBox(mesh, bones, shoulder + Unit(elbow - shoulder) * (0.03 * b), elbow, kForwards, 0.045 * b * g,
                   0.045 * b * g, 0.0, kLeftArm + o);
        else
            AddBox(mesh, bones, shoulder, elbow, kForwards, 0.045 * b * g, 0.045 * b * g, 0.045 * b * g, kLeftArm + o);
        // A robot's forearm, hand, thigh and shin stand a little apart from the parts they hang from.
        const double gap = s.spec.gaps ? -0.012 : 0.0;
        AddBox(mesh, bones, elbow, wrist, kForwards, 0.038 * b * g, 0.038 * b * g, gap, kLeftForeArm + o);
        AddBox(mesh, bones, wrist, s.handTip[size_t(k)], kForwards, 0.03 * b, 0.015 * b, gap, kLeftHand + o);
        const P3 hip = s.bone[size_t(kLeftUpLeg + l)], knee = s.bone[size_t(kLeftLeg + l)];
        const P3 ankle = s.bone[size_t(kLeftFoot + l)];
        const double thighTop = s.crotch - (s.spec.hung ? 0.03 * b : 0.0);
        AddBox(mesh, bones, P3{hip.x, hip.y, -thighTop}, knee, kRight, 0.06 * b * g, 0.065 * b * g, gap,
               kLeftUpLeg + l);
        AddBox(mesh, bones, knee, ankle, kRight, 0.05 * b * g, 0.05 * b * g, gap, kLeftLeg + l);
        const P3 heel = s.heel[size_t(k)], toe = s.toeTip[size_t(k)];
        AddBox(mesh, bones, P3{heel.x, heel.y, -0.03 * b}, P3{toe.x, toe.y, -0.03 * b}, kRight, 0.045 * b, 0.03 * b,
               0.0, kLeftFoot + l);
    }
}

// A part of one colour, every vertex of it belonging to bone.
void AddPiece(Mesh& mesh, std::vector<int32_t>& bones, Part part, int32_t bone, int32_t colour)
{
    part.group = [](const P3&) { return 0; };
    part.colour = [colour](const P3&) { return colour; };
    const size_t before = mesh.vertices.size();
    AddPart(mesh, part);
    bones.resize(bones.size() + (mesh.vertices.size() - before), bone);
}

// Clothes and hair: separate pieces over the skin, as characters wear them.
// A thin square sheet hanging down the back through its keys.
Part Cape(std::vector<Key> keys, int rows, double b)
{
    Part cape;
    cape.keys = std::move(keys);
    cape.across = kRight;
    cape.grid = {16, rows, 2};
    cape.caps = {0.01 * b, 0.01 * b};
    cape.squareness = 6.0;
    return cape;
}

void AddClothes(const Skeleton& s, Mesh& mesh, std::vector<int32_t>& bones)
{
    const HumanoidSpec& spec = s.spec;
    const double b = s.body, g = spec.girth, w = spec.width, h = s.head;
    auto add = [&](Part part, int32_t bone, int32_t colour) { AddPiece(mesh, bones, std::move(part), bone, colour); };
    if (spec.skirt) {
        Part skirt;
        const double top = s.crotch + 0.14 * b, hem = 0.5 * (s.crotch + 0.05 * b) + 0.02 * b;
        skirt.keys = {{At(0, -0.005 * b, top), 0.155 * b * w * g, 0.1 * b * g},
                      {At(0, -0.01 * b, hem), 0.26 * b * w, 0.19 * b}};
        skirt.across = kRight;
        skirt.grid = {40, 10, 0};
        skirt.open = true;
        add(skirt, kHips, kCloth);
    }
    if (spec.cape) {
        const double back = -0.1 * b * g;
        add(Cape({{At(0, back - 0.01 * b, s.shoulders + 0.02 * b), 0.16 * b * w, 0.006 * b},
                  {At(0, back - 0.04 * b, s.crotch), 0.24 * b * w, 0.006 * b},
                  {At(0, back - 0.08 * b, 0.18 * b), 0.3 * b * w, 0.006 * b}},
                 16, b),
            kChest, kCloth);
    }
    if (spec.hair) {
        Part mass;
        // Round the back and top of the head, the face left open.
        mass.keys = {{At(0, -0.22 * h, s.chin + 0.3 * h), 0.44 * h, 0.38 * h},
                     {At(0, -0.16 * h, s.chin + 0.62 * h), 0.5 * h, 0.5 * h},
                     {At(0, -0.06 * h, s.chin + 0.98 * h), 0.34 * h, 0.4 * h}};
        mass.across = kRight;
        mass.grid = {24, 10, 4};
        mass.caps = {0.05 * h, 0.15 * h};
        add(mass, kHeadBone, kHairColour);
        Part back;
        back.keys = {{At(0, -0.45 * h, s.chin + 0.5 * h), 0.32 * h, 0.08 * h},
                     {At(0, -0.11 * b * g - 0.03 * b, s.shoulders - 0.05 * b), 0.13 * b * w, 0.03 * b},
                     {At(0, -0.1 * b * g - 0.03 * b, s.shoulders - 0.2 * b), 0.11 * b * w, 0.02 * b}};
        back.across = kRight;
        back.grid = {16, 10, 3};
        back.caps = {0.02 * b, 0.04 * b};
        add(back, kHeadBone, kHairColour);
        for (double side : {-1.0, 1.0}) {
            Part tail;
            tail.keys = {{At(side * 0.42 * h, -0.1 * h, s.chin + 0.7 * h), 0.06 * h, 0.06 * h},
                         {At(side * 0.55 * h, -0.25 * h, s.chin + 0.3 * h), 0.1 * h, 0.09 * h},
                         {At(side * 0.6 * h, -0.12 * b * g - 0.05 * b, spec.tails > 0.0 ? spec.tails : s.crotch + 0.15 * b),
                          0.04 * b, 0.04 * b}};
            tail.across = kRight;
            tail.grid = {12, 12, 3};
            tail.caps = {0.05 * h, 0.03 * b};
            add(tail, kHeadBone, kHairColour);
        }
    }
}

Blob Inflated(Blob blob, double by)
{
    if (blob.ellipsoid) {
        for (double& r : blob.radius)
            r += by;
    } else {
        blob.ra += by;
        blob.rb += by;
    }
    return blob;
}

// Adds part's polygons for which keep(centre, bone) holds, and only the
// vertices they use.
void AddKept(Mesh& mesh, std::vector<int32_t>& bones, const Mesh& part, const std::vector<int32_t>& partBones,
             const std::function<bool(P3, int32_t)>& keep, int32_t colour)
{
    std::vector<int32_t> index(part.vertices.size(), -1);
    for (const PolygonCorners& c : part.polygons) {
        P3 centre;
        for (int32_t v : c)
            centre = centre + part.vertices[size_t(v)] * 0.25;
        if (!keep(centre, partBones[size_t(c[0])]))
            continue;
        PolygonCorners kept = c;
        for (int32_t& v : kept) {
            if (index[size_t(v)] < 0) {
                index[size_t(v)] = int32_t(mesh.vertices.size());
                mesh.vertices.push_back(part.vertices[size_t(v)]);
                mesh.groups.push_back(0);
                bones.push_back(partBones[size_t(v)]);
            }
            v = index[size_t(v)];
        }
        mesh.polygons.push_back(kept);
        mesh.colours.push_back(colour);
    }
}

double UpOf(P3 p)
{
    return -p.z;
}

// A shirt, trousers and shoes: the skin of the pieces they cover, made
// larger, open where clothes are (neck, sleeves, waist, cuffs, shoe tops);
// eyes standing out of the face and teeth inside it.
void AddOutfit(const Skeleton& s, const std::vector<Blob>& body, double cell, Mesh& mesh, std::vector<int32_t>& bones)
{
    const double b = s.body, h = s.head;
    auto garment = [&](std::initializer_list<int32_t> covered, double by,
                       const std::function<bool(P3, int32_t)>& keep, int32_t colour) {
        std::vector<Blob> own;
        for (const Blob& blob : body)
            if (std::find(covered.begin(), covered.end(), blob.bone) != covered.end())
                own.push_back(Inflated(blob, by));
        Mesh part;
        std::vector<int32_t> partBones;
        Skin(own, cell, 0.03 * b).Build(part, partBones);
        AddKept(mesh, bones, part, partBones, keep, colour);
    };
    const P3 neck = s.bone[kNeckBone];
    garment({kChest, kSpine, kHips, kLeftArm, kRightArm}, 0.012 * b,
            [&](P3 c, int32_t bone) {
                // Short sleeves, a neck hole, the hem over the hips.
                if (bone == kLeftArm || bone == kRightArm) {
                    const P3 shoulder = s.bone[size_t(bone)], elbow = s.bone[size_t(bone + 1)];
                    return Dot(c - shoulder, Unit(elbow - shoulder)) < 0.75 * Length(elbow - shoulder);
                }
                const double fromNeck = std::hypot(c.x - neck.x, c.y - neck.y);
                return UpOf(c) > s.crotch + 0.08 * b && !(UpOf(c) > s.shoulders - 0.03 * b && fromNeck < 0.06 * b);
            },
            kShirt);
    garment({kHips, kLeftUpLeg, kRightUpLeg, kLeftLeg, kRightLeg}, 0.01 * b,
            [&](P3 c, int32_t) { return UpOf(c) < s.crotch + 0.14 * b && UpOf(c) > 0.1 * b; }, kTrousers);
    garment({kLeftFoot, kLeftToe, kRightFoot, kRightToe}, 0.012 * b, [&](P3 c, int32_t) { return UpOf(c) < 0.08 * b; },
            kShoe);
    auto ball = [&](P3 centre, double radius, int32_t colour) {
        Part part;
        part.keys = {{centre - kRight * (0.2 * radius), radius, radius}, {centre + kRight * (0.2 * radius), radius, radius}};
        part.across = kUp;
        part.grid = {12, 3, 4};
        part.caps = {0.8 * radius, 0.8 * radius};
        AddPiece(mesh, bones, part, kHeadBone, colour);
    };
    for (double side : {-1.0, 1.0})
        ball(s.headCentre + At(side * 0.15 * h, 0.4 * h, 0.06 * h), 0.08 * h, kShirt);
    AddBox(mesh, bones, s.headCentre + At(-0.1 * h, 0.36 * h, -0.25 * h), s.headCentre + At(0.1 * h, 0.36 * h, -0.25 * h),
           kUp, 0.03 * h, 0.03 * h, 0.0, kHeadBone);
}

// Each of polygons with corners of the given bones split in four, again and
// again; the neighbours keep their edges whole (cracks, as in models put
// together from parts of several densities).
void Densify(Mesh& mesh, std::vector<int32_t>& bones, std::initializer_list<int32_t> which, int times)
{
    for (int round = 0; round < times; ++round) {
        std::map<std::pair<int32_t, int32_t>, int32_t> middle;
        auto mid = [&](int32_t a, int32_t b) {
            const auto key = std::minmax(a, b);
            const auto [it, added] = middle.emplace(key, int32_t(mesh.vertices.size()));
            if (added) {
                mesh.vertices.push_back(Mix(mesh.vertices[size_t(a)], mesh.vertices[size_t(b)], 0.5));
                mesh.groups.push_back(0);
                bones.push_back(bones[size_t(a)]);
            }
            return it->second;
        };
        const size_t count = mesh.polygons.size();
        for (size_t p = 0; p < count; ++p) {
            const PolygonCorners c = mesh.polygons[p];
            if (std::find(which.begin(), which.end(), bones[size_t(c[0])]) == which.end())
                continue;
            const int32_t colour = mesh.colours[p];
            auto add = [&](PolygonCorners q, bool first) {
                if (first) {
                    mesh.polygons[p] = q;
                } else {
                    mesh.polygons.push_back(q);
                    mesh.colours.push_back(colour);
                }
            };
            if (c[3] == c[2]) {
                const int32_t ab = mid(c[0], c[1]), bc = mid(c[1], c[2]), ca = mid(c[2], c[0]);
                add({c[0], ab, ca, ca}, true);
                add({ab, c[1], bc, bc}, false);
                add({ca, bc, c[2], c[2]}, false);
                add({ab, bc, ca, ca}, false);
            } else {
                const int32_t ab = mid(c[0], c[1]), bc = mid(c[1], c[2]), cd = mid(c[2], c[3]), da = mid(c[3], c[0]);
                const int32_t centre = int32_t(mesh.vertices.size());
                mesh.vertices.push_back((mesh.vertices[size_t(c[0])] + mesh.vertices[size_t(c[1])] +
                                         mesh.vertices[size_t(c[2])] + mesh.vertices[size_t(c[3])]) *
                                        0.25);
                mesh.groups.push_back(0);
                bones.push_back(bones[size_t(c[0])]);
                add({c[0], ab, centre, da}, true);
                add({ab, c[1], bc, centre}, false);
                add({centre, bc, c[2], cd}, false);
                add({da, centre, cd, c[3]}, false);
            }
        }
    }
}

// What characters carry and stand on, each its own mesh.
void AddProps(const Skeleton& s, Mesh& mesh, std::vector<int32_t>& bones)
{
    const HumanoidSpec& spec = s.spec;
    const double b = s.body, g = spec.girth, w = spec.width, h = s.head;
    auto add = [&](Part part, int32_t bone, int32_t colour) { AddPiece(mesh, bones, std::move(part), bone, colour); };
    // A ring of a tube round the vertical at a height, of half sizes a across and d deep.
    auto ring = [&](double up, double forwards, double a, double d, double tube, int32_t bone, int32_t colour) {
        Part part;
        for (int k = 0; k <= 16; ++k) {
            const double angle = 2.0 * kPi * k / 16.0;
            part.keys.push_back({At(a * std::cos(angle), forwards + d * std::sin(angle), up), tube, 0.5 * tube});
        }
        part.across = kUp;
        part.grid = {8, 48, 2};
        part.caps = {0.5 * tube, 0.5 * tube};
        add(part, bone, colour);
    };
    if (spec.trinkets) {
        ring(s.crotch + 0.13 * b, 0.0, 0.15 * b * w * std::sqrt(g) + 0.01 * b, 0.1 * b * g + 0.01 * b, 0.014 * b, kHips,
             kShoe);
        ring(s.shoulders + 0.005 * b, -0.01 * b, 0.06 * b * g, 0.055 * b * g, 0.006 * b, kChest, kShoe);
        AddBox(mesh, bones, At(0, -0.09 * b * g - 0.07 * b, s.shoulders - 0.05 * b),
               At(0, -0.09 * b * g - 0.07 * b, s.shoulders - 0.28 * b), kRight, 0.1 * b * w, 0.05 * b, 0.0, kChest);
        Part brim;
        brim.keys = {{s.headCentre + At(0, 0, 0.4 * h), 0.75 * h, 0.8 * h},
                     {s.headCentre + At(0, 0, 0.43 * h), 0.75 * h, 0.8 * h}};
        brim.across = kRight;
        brim.grid = {32, 2, 2};
        brim.caps = {0.01 * h, 0.01 * h};
        add(brim, kHeadBone, kShoe);
        Part crown = brim;
        crown.keys = {{s.headCentre + At(0, 0, 0.3 * h), 0.42 * h, 0.48 * h},
                      {s.headCentre + At(0, 0, 0.75 * h), 0.38 * h, 0.42 * h}};
        crown.grid = {24, 4, 2};
        add(crown, kHeadBone, kShoe);
        for (double side : {-1.0, 1.0})
            AddBox(mesh, bones, s.headCentre + At(side * 0.42 * h, 0, -0.3 * h),
                   s.headCentre + At(side * 0.42 * h, 0, -0.45 * h), kRight, 0.03 * h, 0.03 * h, 0.0, kHeadBone);
    }
    if (spec.hood) {
        // Open in front of the face; round the neck and over the shoulders it
        // is as wide as the head.
        Part hood;
        hood.keys = {{s.headCentre + At(0, -0.05 * h, 0.5 * h), 0.5 * h, 0.55 * h},
                     {s.headCentre + At(0, -0.1 * h, 0.0), 0.56 * h, 0.58 * h},
                     {At(0, -0.03 * b, s.chin - 0.01 * b), 0.1 * b * w, 0.09 * b},
                     {At(0, -0.04 * b, s.shoulders - 0.02 * b), 0.17 * b * w, 0.11 * b * g},
                     {At(0, -0.06 * b, s.shoulders - 0.12 * b), 0.15 * b * w, 0.11 * b * g}};
        hood.across = kRight;
        hood.grid = {28, 24, 3};
        hood.caps = {0.15 * h, 0.01 * b};
        hood.open = true;
        add(hood, kChest, kCloth);
        const double back = -0.1 * b * g - 0.02 * b;
        add(Cape({{At(0, back, s.shoulders - 0.05 * b), 0.17 * b * w, 0.008 * b},
                  {At(0, back - 0.06 * b, 0.15 * b), 0.28 * b * w, 0.008 * b}},
                 12, b),
            kChest, kCloth);
    }
    if (spec.armour) {
        for (int k = 0; k < 2; ++k) {
            const int32_t o = k == 0 ? 0 : 3, l = k == 0 ? 0 : 4;
            const P3 shoulder = s.bone[size_t(kLeftArm + o)], elbow = s.bone[size_t(kLeftForeArm + o)];
            const P3 wrist = s.bone[size_t(kLeftHand + o)];
            const P3 along = Unit(elbow - shoulder);
            // A plate over the shoulder, reaching down the arm and over the chest's side.
            Part plate;
            plate.keys = {{shoulder - along * (0.05 * b) + kUp * (0.03 * b), 0.07 * b * g, 0.075 * b * g},
                          {shoulder + along * (0.06 * b) + kUp * (0.02 * b), 0.075 * b * g, 0.07 * b * g}};
            plate.across = kForwards;
            plate.grid = {16, 4, 3};
            plate.caps = {0.02 * b, 0.02 * b};
            add(plate, kLeftArm + o, kShoe);
            Part bracer;
            bracer.keys = {{Mix(elbow, wrist, 0.25), 0.042 * b * g, 0.042 * b * g},
                           {Mix(elbow, wrist, 0.9), 0.034 * b * g, 0.034 * b * g}};
            bracer.across = kForwards;
            bracer.grid = {12, 4, 0};
            bracer.open = true;
            add(bracer, kLeftForeArm + o, kShoe);
            const P3 knee = s.bone[size_t(kLeftLeg + l)], ankle = s.bone[size_t(kLeftFoot + l)];
            Part greave;
            greave.keys = {{Mix(knee, ankle, 0.05), 0.062 * b * g, 0.062 * b * g},
                           {Mix(knee, ankle, 0.85), 0.045 * b * g, 0.045 * b * g}};
            greave.across = kRight;
            greave.grid = {12, 4, 0};
            greave.open = true;
            add(greave, kLeftLeg + l, kShoe);
        }
        Part plate;
        plate.keys = {{At(0, 0.005 * b, s.crotch + 0.2 * b), 0.14 * b * w * g, 0.1 * b * g},
                      {At(0, 0.0, s.shoulders - 0.1 * b), 0.14 * b * w * std::sqrt(g), 0.105 * b * g},
                      {At(0, -0.005 * b, s.shoulders - 0.01 * b), 0.1 * b * w, 0.08 * b * g}};
        plate.across = kRight;
        plate.grid = {24, 8, 0};
        plate.open = true;
        add(plate, kChest, kShoe);
    }
    if (spec.gown) {
        Part gown;
        gown.keys = {{At(0, 0.0, s.shoulders - 0.1 * b), 0.135 * b * w * g, 0.1 * b * g},
                     {At(0, -0.005 * b, s.crotch + 0.15 * b), 0.15 * b * w * g, 0.105 * b * g},
                     {At(0, -0.01 * b, s.crotch - 0.1 * b), 0.22 * b * w, 0.17 * b},
                     {At(0, -0.02 * b, 0.002), 0.3 * b * w, 0.26 * b}};
        gown.across = kRight;
        gown.grid = {48, 30, 0};
        gown.open = true;
        add(gown, kHips, kCloth);
    }
    if (spec.base) {
        Part base;
        base.keys = {{At(0, 0, -0.035), 0.32, 0.32}, {At(0, 0, 0.002), 0.32, 0.32}};
        base.across = kRight;
        base.grid = {40, 3, 2};
        base.caps = {0.001, 0.001};
        base.squareness = spec.base == 2 ? 8.0 : 2.0;
        add(base, kHips, kShoe);
    }
    const P3 hand = Mix(s.bone[kRightHand], s.handTip[1], 0.4);
    if (spec.held == 3) {
        // Its face square to the forearm's side, held out from it.
        const P3 elbow = s.bone[kLeftForeArm], wrist = s.bone[kLeftHand];
        const P3 along = Unit(wrist - elbow), out = Unit(CrossOf(along, kForwards));
        const P3 centre = Mix(elbow, wrist, 0.5) + out * (0.05 * b);
        Part shield;
        shield.keys = {{centre - out * (0.01 * b), 0.2 * b, 0.2 * b}, {centre + out * (0.01 * b), 0.2 * b, 0.2 * b}};
        shield.across = along;
        shield.grid = {32, 2, 2};
        shield.caps = {0.01 * b, 0.02 * b};
        add(shield, kLeftForeArm, kShoe);
    }
    if (spec.held == 1 || spec.held == 3) {
        AddBox(mesh, bones, hand - kForwards * (0.06 * b), hand + kForwards * (0.62 * b), kUp, 0.018 * b, 0.004 * b, 0.0,
               kRightHand);
        AddBox(mesh, bones, hand + kForwards * (0.03 * b) - kUp * (0.06 * b), hand + kForwards * (0.03 * b) + kUp * (0.06 * b),
               kRight, 0.01 * b, 0.01 * b, 0.0, kRightHand);
    } else if (spec.held == 2) {
        Part staff;
        staff.keys = {{P3{hand.x, hand.y, 0.0}, 0.014, 0.014}, {P3{hand.x, hand.y, -1.05}, 0.012, 0.012}};
        staff.across = kRight;
        staff.grid = {10, 20, 2};
        staff.caps = {0.005, 0.03};
        add(staff, kRightHand, kShoe);
    }
    if (spec.tail) {
        Part tail;
        tail.keys = {{At(0, -0.08 * b * g, s.crotch + 0.1 * b), 0.05 * b * g, 0.05 * b * g},
                     {At(0, -0.2 * b, s.crotch - 0.1 * b), 0.045 * b * g, 0.045 * b * g},
                     {At(0.02, -0.35 * b, 0.035), 0.035 * b * g, 0.035 * b * g},
                     {At(0.06, -0.55 * b, 0.025), 0.022 * b, 0.022 * b},
                     {At(0.15, -0.68 * b, 0.02), 0.012 * b, 0.012 * b}};
        tail.across = kRight;
        tail.grid = {14, 30, 3};
        tail.caps = {0.03 * b, 0.012 * b};
        add(tail, kHips, kHairColour);
    }
    if (spec.wings)
        for (double side : {-1.0, 1.0}) {
            Part wing;
            wing.keys = {{At(side * 0.04 * b, -0.1 * b * g, s.shoulders - 0.08 * b), 0.05 * b, 0.015 * b},
                         {At(side * 0.3 * b, -0.22 * b, s.shoulders + 0.08 * b), 0.16 * b, 0.012 * b},
                         {At(side * 0.62 * b, -0.28 * b, s.shoulders - 0.02 * b), 0.12 * b, 0.008 * b},
                         {At(side * 0.8 * b, -0.3 * b, s.shoulders - 0.2 * b), 0.04 * b, 0.005 * b}};
            wing.across = kUp;
            wing.grid = {16, 24, 3};
            wing.caps = {0.02 * b, 0.04 * b};
            add(wing, kChest, kCloth);
        }
}

int32_t ColourOf(int32_t bone, const HumanoidSpec& spec)
{
    switch (bone) {
    case kHeadBone:
    case kNeckBone:
    case kLeftHand:
    case kRightHand:
        return kSkin;
    case kChest:
    case kSpine:
    case kLeftArm:
    case kRightArm:
        return kShirt;
    case kLeftFoot:
    case kRightFoot:
    case kLeftToe:
    case kRightToe:
        return kShoe;
    case kLeftForeArm:
    case kRightForeArm:
        return spec.blocks ? kShirt : kSkin;
    default:
        return kTrousers;
    }
}

} // namespace

Humanoid MakeHumanoid(const HumanoidSpec& spec)
{
    const Skeleton skeleton(spec);
    Mesh mesh;
    std::vector<int32_t> bones;
    if (spec.blocks) {
        AddBlocks(skeleton, mesh, bones);
    } else {
        const std::vector<Blob> blobs = SkinBlobs(skeleton);
        const double cell = 1.0 / std::max(spec.cells, 20), smooth = 0.03 * skeleton.body;
        if (!spec.pieces) {
            Skin(blobs, cell, smooth).Build(mesh, bones);
        } else {
            BuildPieces(blobs, cell, smooth, mesh, bones);
        }
    }
    for (size_t p = 0; p < mesh.polygons.size(); ++p)
        mesh.colours[p] = ColourOf(bones[size_t(mesh.polygons[p][0])], spec);
    if (spec.uneven)
        Densify(mesh, bones, {kHeadBone, kNeckBone}, 2);
    if (spec.cut) {
        // The trunk's skin between the shirt's hem and its collar, and the
        // upper arms' under the sleeves, as game characters have it.
        size_t kept = 0;
        for (size_t p = 0; p < mesh.polygons.size(); ++p) {
            const int32_t bone = bones[size_t(mesh.polygons[p][0])];
            P3 centre;
            for (int32_t v : mesh.polygons[p])
                centre = centre + mesh.vertices[size_t(v)] * 0.25;
            const double up = -centre.z;
            bool hidden = (bone == kChest || bone == kSpine || bone == kHips) && up > skeleton.crotch + 0.12 * skeleton.body &&
                          up < skeleton.shoulders - 0.04 * skeleton.body;
            if (bone == kLeftArm || bone == kRightArm) {
                const P3 shoulder = skeleton.bone[size_t(bone)], elbow = skeleton.bone[size_t(bone + 1)];
                hidden = Dot(centre - shoulder, Unit(elbow - shoulder)) < 0.5 * Length(elbow - shoulder);
            }
            if (!hidden) {
                mesh.polygons[kept] = mesh.polygons[p];
                mesh.colours[kept++] = mesh.colours[p];
            }
        }
        mesh.polygons.resize(kept);
        mesh.colours.resize(kept);
    }
    if (spec.doubled) {
        // The same surface again, a hair's breadth out along the skin's normals.
        const Mesh skin = mesh;
        const std::vector<int32_t> skinBones = bones;
        std::vector<P3> normal(skin.vertices.size());
        for (const PolygonCorners& c : skin.polygons) {
            const P3 n = CrossOf(skin.vertices[size_t(c[2])] - skin.vertices[size_t(c[0])],
                                 skin.vertices[size_t(c[1])] - skin.vertices[size_t(c[0])]);
            for (int32_t v : c)
                normal[size_t(v)] = normal[size_t(v)] + n;
        }
        Mesh shell = skin;
        for (size_t v = 0; v < shell.vertices.size(); ++v)
            if (Dot(normal[v], normal[v]) > 0.0)
                shell.vertices[v] = shell.vertices[v] + Unit(normal[v]) * 0.002;
        AddKept(mesh, bones, shell, skinBones, [](P3, int32_t) { return true; }, kShirt);
    }
    if (!spec.blocks)
        AddClothes(skeleton, mesh, bones);
    if (spec.dressed && !spec.blocks)
        AddOutfit(skeleton, SkinBlobs(skeleton), 1.0 / std::max(spec.cells, 20), mesh, bones);
    AddProps(skeleton, mesh, bones);

    // Turned by the facing about the vertical through the origin, then
    // scaled and stood where the sample figure stands.
    const double c = std::cos(spec.facing), s = std::sin(spec.facing);
    auto place = [&](P3 p) {
        return Vec3::FromDouble((p.x * c - p.y * s) * kScale, (p.x * s + p.y * c) * kScale, p.z * kScale + kSoleZ);
    };
    Humanoid out;
    out.turn = -spec.facing;
    for (const P3& p : mesh.vertices)
        out.vertices.push_back(place(p));
    out.vertexBone = std::move(bones);
    out.polygons = std::move(mesh.polygons);
    out.colours = std::move(mesh.colours);
    for (int i = 0; i < kBoneCount; ++i) {
        const BoneInfo& info = kBones[i];
        out.bones.push_back({info.name, info.parent, place(skeleton.bone[size_t(i)]), info.joint});
        if (info.joint >= 0)
            out.joints[size_t(info.joint)] = place(skeleton.bone[size_t(i)]);
    }
    return out;
}

Humanoid BindPoseHumanoid(const RiggedFigureShape& shape)
{
    const RiggedFigureMesh mesh = BindPoseMesh(shape);
    // The file turns the character about its up axis from its front towards
    // its left: about the scene's vertical the other way.
    const double c = std::cos(shape.facing * kPi / 180.0), s = std::sin(shape.facing * kPi / 180.0);
    auto place = [&](const std::array<double, 3>& p) {
        const double x = -p[0], y = -p[2];
        return Vec3::FromDouble((x * c + y * s) * kScale, (y * c - x * s) * kScale, -p[1] * kScale + kSoleZ);
    };
    Humanoid out;
    out.turn = shape.facing * kPi / 180.0;
    for (const auto& p : mesh.points)
        out.vertices.push_back(place(p));
    out.vertexBone.assign(out.vertices.size(), 0);
    for (const auto& t : mesh.triangles) {
        // Counter-clockwise from outside; the document's normal is (c2 - c0) x (c1 - c0).
        out.polygons.push_back({int32_t(t[0]), int32_t(t[2]), int32_t(t[1]), int32_t(t[1])});
        out.colours.push_back(kShirt);
    }
    for (int j : kFittedJoints)
        out.joints[size_t(j)] = place(mesh.joint[size_t(j)]);
    return out;
}

std::vector<NamedObject> NonHumanoidSet()
{
    // Sizes in units of about a character's height, z down from the floor at 0.
    auto meshOf = [](const std::vector<Blob>& blobs, const std::vector<std::array<P3, 3>>& boxes) {
        Mesh mesh;
        std::vector<int32_t> bones;
        if (!blobs.empty())
            Skin(blobs, 1.0 / 80.0, 0.02).Build(mesh, bones);
        // Each box: two ends and its half sizes across.
        for (const auto& box : boxes)
            AddBox(mesh, bones, box[0], box[1], kRight, box[2].x, box[2].y, 0.0, 0);
        Humanoid out;
        for (const P3& p : mesh.vertices)
            out.vertices.push_back(Vec3::FromDouble(p.x * kScale, p.y * kScale, p.z * kScale + kSoleZ));
        out.vertexBone.assign(out.vertices.size(), 0);
        out.polygons = std::move(mesh.polygons);
        out.colours.assign(out.polygons.size(), kShirt);
        return out;
    };
    auto up = [](double x, double y, double h) { return P3{x, y, -h}; };
    std::vector<Blob> quadruped{Ellipsoid(up(0, 0, 0.55), kForwards, kRight, {0.45, 0.18, 0.16}, 0),
                                Ellipsoid(up(0, 0.55, 0.8), kForwards, kRight, {0.14, 0.09, 0.1}, 0),
                                Capsule(up(0, 0.35, 0.6), up(0, 0.5, 0.78), 0.08, 0.07, 0),
                                Capsule(up(0, -0.42, 0.6), up(0, -0.7, 0.4), 0.04, 0.02, 0)};
    for (double x : {-0.12, 0.12})
        for (double y : {-0.32, 0.32})
            quadruped.push_back(Capsule(up(x, y, 0.5), up(x, y + 0.03, 0.03), 0.06, 0.035, 0));
    std::vector<std::array<P3, 3>> car{{up(0, -0.9, 0.45), up(0, 0.9, 0.45), {0.42, 0.2, 0}},
                                       {up(0, -0.4, 0.75), up(0, 0.5, 0.75), {0.38, 0.15, 0}}};
    for (double x : {-0.4, 0.4})
        for (double y : {-0.6, 0.6})
            car.push_back({up(x - 0.06, y, 0.18), up(x + 0.06, y, 0.18), {0.18, 0.18, 0}});
    std::vector<std::array<P3, 3>> table{{up(0, 0, 0.7), up(0, 0, 0.75), {0.6, 0.4, 0}}};
    for (double x : {-0.55, 0.55})
        for (double y : {-0.35, 0.35})
            table.push_back({up(x, y, 0.0), up(x, y, 0.7), {0.03, 0.03, 0}});
    // An arch on two legs, something laid across it, and a head on top: a
    // biped's outline without arms.
    std::vector<std::array<P3, 3>> arch{{up(-0.3, 0, 0), up(-0.3, 0, 0.6), {0.08, 0.08, 0}},
                                        {up(0.3, 0, 0), up(0.3, 0, 0.6), {0.08, 0.08, 0}},
                                        {up(0, 0, 0.6), up(0, 0, 0.9), {0.4, 0.1, 0}},
                                        {up(0, 0, 0.92), up(0, 0, 1.05), {0.08, 0.08, 0}}};
    return {
        {"cube", meshOf({}, {{up(0, 0, 0), up(0, 0, 1), {0.5, 0.5, 0}}})},
        {"sphere", meshOf({Ellipsoid(up(0, 0, 0.5), kUp, kRight, {0.5, 0.5, 0.5}, 0)}, {})},
        {"head", meshOf({Ellipsoid(up(0, 0, 0.62), kUp, kForwards, {0.4, 0.32, 0.3}, 0),
                         Capsule(up(0, 0, 0), up(0, 0, 0.3), 0.12, 0.12, 0)},
                        {})},
        {"quadruped", meshOf(quadruped, {})},
        {"car", meshOf({}, car)},
        {"table", meshOf({}, table)},
        {"two-legged arch", meshOf({}, arch)},
    };
}

std::array<Vec3, kFigureJoints> JudgedTruth(const Humanoid& character)
{
    // Turned to face -y, as a fitted scene stands, and measured as the
    // fitted figure is.
    RecordingMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    const double c = std::cos(character.turn), s = std::sin(character.turn);
    auto turned = [&](const Vec3& v) { return Vec3::FromDouble(v.x * c - v.y * s, v.x * s + v.y * c, v.z); };
    doc.vertexCount = int32_t(character.vertices.size());
    if (doc.GrowMesh())
        return {};
    for (size_t v = 0; v < character.vertices.size(); ++v)
        doc.restVertices[v] = turned(character.vertices[v]);
    for (int j : kFittedJoints)
        JointNode(doc.FirstFigure(), j).restPosition = turned(character.joints[size_t(j)]);
    return JudgedJoints(doc);
}

bool LoadHumanoid(CBodyDoc& doc, const Humanoid& character)
{
    doc.ResetScene();
    doc.SetDefaultColours();
    doc.vertexCount = int32_t(character.vertices.size());
    doc.polygonCount = int32_t(character.polygons.size());
    if (doc.GrowMesh())
        return false;
    for (size_t v = 0; v < character.vertices.size(); ++v) {
        doc.restVertices[v] = character.vertices[v];
        doc.vertexGroup[v] = character.vertexBone[v] + 1;
    }
    std::copy(character.polygons.begin(), character.polygons.end(), doc.polygonCorners.begin());
    std::copy(character.colours.begin(), character.colours.end(), doc.polygonColour.begin());
    doc.ViewState().groupBinding = true;
    SetDefaultRestPose(doc.FirstFigure());
    return true;
}

std::vector<NamedHumanoid> HumanoidSet()
{
    constexpr double kDegree = kPi / 180.0;
    std::vector<NamedHumanoid> set;
    auto add = [&](const char* name, HumanoidSpec spec) { set.push_back({name, spec}); };
    HumanoidSpec adult;
    add("adult-T", adult);
    HumanoidSpec a = adult;
    a.pose = ArmPose::kA;
    a.facing = 90 * kDegree;
    add("adult-A-left", a);
    HumanoidSpec down = adult;
    down.pose = ArmPose::kDown;
    down.facing = 180 * kDegree;
    add("adult-down-back", down);
    HumanoidSpec child = adult;
    child.heads = 5.5;
    child.legs = 0.5;
    child.pose = ArmPose::kA;
    child.facing = -30 * kDegree;
    add("child-A", child);
    HumanoidSpec chibi = adult;
    chibi.heads = 2.6;
    chibi.legs = 0.42;
    chibi.width = 1.15;
    chibi.girth = 1.25;
    chibi.hands = 1.4;
    chibi.forearm = 1.0;
    chibi.facing = -90 * kDegree;
    add("chibi-T-right", chibi);
    HumanoidSpec chibiA = chibi;
    chibiA.pose = ArmPose::kA;
    chibiA.hair = true;
    chibiA.facing = 135 * kDegree;
    add("chibi-A-hair", chibiA);
    HumanoidSpec tall = adult;
    tall.heads = 8.5;
    tall.legs = 0.57;
    tall.width = 0.9;
    tall.girth = 0.85;
    tall.pose = ArmPose::kA;
    tall.facing = 15 * kDegree;
    add("tall-A", tall);
    HumanoidSpec stocky = adult;
    stocky.heads = 6.5;
    stocky.width = 1.25;
    stocky.girth = 1.3;
    stocky.legs = 0.5;
    stocky.boots = true;
    stocky.facing = 60 * kDegree;
    add("stocky-T-boots", stocky);
    HumanoidSpec skirt = adult;
    skirt.skirt = true;
    skirt.bust = true;
    skirt.hair = true;
    skirt.pose = ArmPose::kA;
    skirt.width = 0.92;
    skirt.facing = -120 * kDegree;
    add("skirt-A-hair", skirt);
    HumanoidSpec cape = adult;
    cape.cape = true;
    cape.boots = true;
    cape.facing = 200 * kDegree;
    add("cape-T-boots", cape);
    HumanoidSpec anime = adult;
    anime.heads = 6.2;
    anime.legs = 0.58;
    anime.width = 0.85;
    anime.girth = 0.8;
    anime.hair = true;
    anime.skirt = true;
    anime.pose = ArmPose::kT;
    anime.facing = 180 * kDegree;
    add("anime-T-skirt", anime);
    HumanoidSpec capeDown = adult;
    capeDown.cape = true;
    capeDown.pose = ArmPose::kDown;
    capeDown.facing = 45 * kDegree;
    add("cape-down", capeDown);
    HumanoidSpec detailed = adult;
    detailed.fingers = true;
    detailed.pieces = true;
    detailed.cells = 200;
    detailed.facing = 30 * kDegree;
    add("detailed-T-fingers", detailed);
    HumanoidSpec pieces = adult;
    pieces.pose = ArmPose::kA;
    pieces.pieces = true;
    pieces.hair = true;
    pieces.heads = 7.0;
    pieces.facing = -60 * kDegree;
    add("pieces-A-hair", pieces);
    HumanoidSpec blocks = adult;
    blocks.blocks = true;
    blocks.pose = ArmPose::kDown;
    add("blocks-down", blocks);
    HumanoidSpec blocksT = blocks;
    blocksT.pose = ArmPose::kT;
    blocksT.heads = 5.0;
    blocksT.facing = 90 * kDegree;
    add("blocks-T-left", blocksT);
    HumanoidSpec robot = blocks;
    robot.gaps = true;
    robot.pose = ArmPose::kA;
    robot.heads = 6.0;
    robot.width = 1.1;
    robot.facing = 110 * kDegree;
    add("robot-A-gaps", robot);
    HumanoidSpec blocksA = blocks;
    blocksA.pose = ArmPose::kA;
    blocksA.heads = 3.0;
    blocksA.legs = 0.45;
    blocksA.width = 1.2;
    blocksA.facing = -150 * kDegree;
    add("blocks-A-chibi", blocksA);
    return set;
}

std::vector<NamedHumanoid> DressedSet()
{
    constexpr double kDegree = kPi / 180.0;
    std::vector<NamedHumanoid> set;
    auto add = [&](const char* name, HumanoidSpec spec) { set.push_back({name, spec}); };
    HumanoidSpec dressed;
    dressed.dressed = true;
    dressed.trinkets = true;
    dressed.facing = 40 * kDegree;
    add("dressed-T-trinkets", dressed);
    HumanoidSpec dressedA = dressed;
    dressedA.trinkets = false;
    dressedA.hair = true;
    dressedA.pose = ArmPose::kA;
    dressedA.facing = -100 * kDegree;
    add("dressed-A-hair", dressedA);
    HumanoidSpec dressedDown = dressed;
    dressedDown.pose = ArmPose::kDown;
    dressedDown.boots = true;
    dressedDown.facing = 30 * kDegree;
    add("dressed-down-boots", dressedDown);
    HumanoidSpec twintails;
    twintails.heads = 6.2;
    twintails.legs = 0.58;
    twintails.width = 0.85;
    twintails.girth = 0.85;
    twintails.hair = true;
    twintails.tails = 0.28;
    twintails.skirt = true;
    twintails.pose = ArmPose::kA;
    twintails.facing = -30 * kDegree;
    add("anime-A-twintails", twintails);
    HumanoidSpec twintailsDown = twintails;
    twintailsDown.pose = ArmPose::kDown;
    twintailsDown.skirt = false;
    twintailsDown.dressed = true;
    twintailsDown.facing = 120 * kDegree;
    add("anime-down-twintails", twintailsDown);
    HumanoidSpec steep = dressedA;
    steep.drop = 58 * kDegree;
    steep.hair = false;
    steep.facing = 65 * kDegree;
    add("dressed-A58", steep);
    HumanoidSpec shallow = dressedA;
    shallow.drop = 22 * kDegree;
    shallow.facing = -10 * kDegree;
    add("dressed-A22-hair", shallow);
    HumanoidSpec heels;
    heels.hair = true;
    heels.bust = true;
    heels.width = 0.92;
    heels.pose = ArmPose::kA;
    heels.skirt = true;
    heels.heels = true;
    heels.facing = 140 * kDegree;
    add("heels-A-skirt", heels);
    HumanoidSpec swung = dressedDown;
    swung.swing = 15 * kDegree;
    swung.boots = false;
    swung.facing = -70 * kDegree;
    add("dressed-down-swung", swung);
    HumanoidSpec swungA = steep;
    swungA.swing = 20 * kDegree;
    swungA.hair = true;
    swungA.facing = 190 * kDegree;
    add("dressed-A58-swung", swungA);
    HumanoidSpec cut = dressedA;
    cut.cut = true;
    cut.hair = false;
    cut.pose = ArmPose::kT;
    cut.facing = 160 * kDegree;
    add("cut-T-holes", cut);
    HumanoidSpec doubled;
    doubled.doubled = true;
    doubled.dressed = true;
    doubled.pose = ArmPose::kA;
    doubled.facing = 180 * kDegree;
    add("doubled-A", doubled);
    HumanoidSpec gown;
    gown.gown = true;
    gown.hair = true;
    gown.bust = true;
    gown.width = 0.92;
    gown.pose = ArmPose::kA;
    gown.facing = 70 * kDegree;
    add("gown-A-hair", gown);
    HumanoidSpec gownT = gown;
    gownT.hair = false;
    gownT.pose = ArmPose::kT;
    gownT.heads = 6.0;
    gownT.facing = -160 * kDegree;
    add("gown-T", gownT);
    HumanoidSpec base;
    base.base = 1;
    base.dressed = true;
    base.facing = -45 * kDegree;
    add("base-T", base);
    HumanoidSpec baseA = base;
    baseA.dressed = false;
    baseA.base = 2;
    baseA.pose = ArmPose::kA;
    baseA.heads = 3.0;
    baseA.legs = 0.42;
    baseA.width = 1.15;
    baseA.girth = 1.25;
    baseA.hands = 1.4;
    baseA.facing = 120 * kDegree;
    add("base-A-chibi", baseA);
    HumanoidSpec fused;
    fused.fused = true;
    fused.pose = ArmPose::kA;
    fused.facing = 20 * kDegree;
    add("fused-A", fused);
    HumanoidSpec fusedT = fused;
    fusedT.pose = ArmPose::kT;
    fusedT.girth = 1.25;
    fusedT.heads = 6.0;
    fusedT.dressed = true;
    fusedT.facing = -75 * kDegree;
    add("fused-T-stocky", fusedT);
    HumanoidSpec knight;
    knight.armour = true;
    knight.boots = true;
    knight.held = 1;
    knight.pose = ArmPose::kA;
    knight.facing = -120 * kDegree;
    add("knight-A-armour", knight);
    HumanoidSpec shield = knight;
    shield.held = 3;
    shield.armour = false;
    shield.pose = ArmPose::kT;
    shield.facing = 10 * kDegree;
    add("shield-T-sword", shield);
    HumanoidSpec shieldA = shield;
    shieldA.pose = ArmPose::kA;
    shieldA.facing = -170 * kDegree;
    add("shield-A-sword", shieldA);
    HumanoidSpec knightT = knight;
    knightT.pose = ArmPose::kT;
    knightT.held = 0;
    knightT.cape = true;
    knightT.facing = 75 * kDegree;
    add("knight-T-cape", knightT);
    HumanoidSpec hooded;
    hooded.hood = true;
    hooded.held = 2;
    hooded.pose = ArmPose::kA;
    hooded.facing = 150 * kDegree;
    add("hooded-A-staff", hooded);
    HumanoidSpec robot;
    robot.blocks = robot.gaps = robot.hung = true;
    robot.heads = 6.5;
    robot.facing = -35 * kDegree;
    add("robot-T-hung", robot);
    HumanoidSpec sword;
    sword.held = 1;
    sword.dressed = true;
    sword.facing = 135 * kDegree;
    add("sword-T", sword);
    HumanoidSpec staff;
    staff.held = 2;
    staff.pose = ArmPose::kA;
    staff.hair = true;
    staff.facing = -20 * kDegree;
    add("staff-A", staff);
    HumanoidSpec tail;
    tail.tail = true;
    tail.facing = 100 * kDegree;
    add("tail-T", tail);
    HumanoidSpec wings;
    wings.wings = true;
    wings.pose = ArmPose::kA;
    wings.tail = true;
    wings.facing = 200 * kDegree;
    add("wings-A-tail", wings);
    HumanoidSpec uneven;
    uneven.uneven = true;
    uneven.cells = 60;
    uneven.dressed = true;
    uneven.facing = -150 * kDegree;
    add("uneven-T", uneven);
    return set;
}

} // namespace qm
