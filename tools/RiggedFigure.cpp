#include "tools/RiggedFigure.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <fstream>
#include <map>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/Exchange.h"
#include "scene/BodyDoc.h"
#include "tools/P3.h"

namespace qm {

namespace {

constexpr double kPi = 3.14159265358979323846;

using namespace sketch;

struct Quat {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
    static Quat About(P3 axis, double radians)
    {
        const P3 a = Unit(axis) * std::sin(radians / 2);
        return {a.x, a.y, a.z, std::cos(radians / 2)};
    }
    Quat Inverse() const { return {-x, -y, -z, w}; }
    friend Quat operator*(const Quat& a, const Quat& b)
    {
        return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
    }
    P3 Rotate(P3 v) const
    {
        const P3 u{x, y, z};
        const P3 t = CrossOf(u, v) * 2.0;
        return v + t * w + CrossOf(u, t);
    }
};

// The bones every generated character has, Mixamo's hierarchy.
enum Role {
    kHips, kSpine, kChest, kUpperChest, kNeckBone, kHeadBone,
    kLShoulder, kLUpperArm, kLLowerArm, kLHand, kLIndex, kLUpperLeg, kLLowerLeg, kLFoot, kLToes, kLEye,
    kRShoulder, kRUpperArm, kRLowerArm, kRHand, kRIndex, kRUpperLeg, kRLowerLeg, kRFoot, kRToes, kREye,
    kRoles
};
constexpr int kSide = kRShoulder - kLShoulder;
constexpr Role kParent[kRoles] = {
    kHips, kHips, kSpine, kChest, kUpperChest, kNeckBone,
    kUpperChest, kLShoulder, kLUpperArm, kLLowerArm, kLHand, kHips, kLUpperLeg, kLLowerLeg, kLFoot, kHeadBone,
    kUpperChest, kRShoulder, kRUpperArm, kRLowerArm, kRHand, kHips, kRUpperLeg, kRLowerLeg, kRFoot, kHeadBone,
};

// Names by convention: the centre bones, then the left side's with %s where
// a side's word goes, and the words for left and right.
struct Convention {
    const char* centre[6];
    const char* side[10];
    const char *left, *right;
};
const Convention kConventions[] = {
    {{"mixamorig:Hips", "mixamorig:Spine", "mixamorig:Spine1", "mixamorig:Spine2", "mixamorig:Neck", "mixamorig:Head"},
     {"mixamorig:%sShoulder", "mixamorig:%sArm", "mixamorig:%sForeArm", "mixamorig:%sHand", "mixamorig:%sHandIndex1",
      "mixamorig:%sUpLeg", "mixamorig:%sLeg", "mixamorig:%sFoot", "mixamorig:%sToeBase", "mixamorig:%sEye"},
     "Left", "Right"},
    {{"Hips", "Spine", "Chest", "UpperChest", "Neck", "Head"},
     {"%sShoulder", "%sUpperArm", "%sLowerArm", "%sHand", "%sIndexProximal", "%sUpperLeg", "%sLowerLeg", "%sFoot",
      "%sToes", "%sEye"},
     "Left", "Right"},
    {{"J_Bip_C_Hips", "J_Bip_C_Spine", "J_Bip_C_Chest", "J_Bip_C_UpperChest", "J_Bip_C_Neck", "J_Bip_C_Head"},
     {"J_Bip_%s_Shoulder", "J_Bip_%s_UpperArm", "J_Bip_%s_LowerArm", "J_Bip_%s_Hand", "J_Bip_%s_Index1",
      "J_Bip_%s_UpperLeg", "J_Bip_%s_LowerLeg", "J_Bip_%s_Foot", "J_Bip_%s_ToeBase", "J_Adj_%s_FaceEye"},
     "L", "R"},
    {{"spine", "spine.001", "spine.002", "spine.003", "spine.004", "spine.006"},
     {"shoulder.%s", "upper_arm.%s", "forearm.%s", "hand.%s", "f_index.01.%s", "thigh.%s", "shin.%s", "foot.%s",
      "toe.%s", "eye.%s"},
     "L", "R"},
    {{"下半身", "上半身", "上半身2", "上半身3", "首", "頭"},
     {"%s肩", "%s腕", "%sひじ", "%s手首", "%s人指１", "%s足", "%sひざ", "%s足首", "%sつま先", "%s目"},
     "左", "右"},
    {{"pelvis", "spine_01", "spine_02", "spine_03", "neck_01", "head"},
     {"clavicle_%s", "upperarm_%s", "lowerarm_%s", "hand_%s", "index_01_%s", "thigh_%s", "calf_%s", "foot_%s",
      "ball_%s", "eye_%s"},
     "l", "r"},
    {{"Bip01 Pelvis", "Bip01 Spine", "Bip01 Spine1", "Bip01 Spine2", "Bip01 Neck", "Bip01 Head"},
     {"Bip01 %s Clavicle", "Bip01 %s UpperArm", "Bip01 %s Forearm", "Bip01 %s Hand", "Bip01 %s Finger1",
      "Bip01 %s Thigh", "Bip01 %s Calf", "Bip01 %s Foot", "Bip01 %s Toe0", "Bip01 %s Eye"},
     "L", "R"},
    {{"Body", "Hips", "Abdomen", "Torso", "Neck", "Head"},
     {"Shoulder%s", "UpperArm%s", "LowerArm%s", "Palm2%s", "Middle1%s", "UpperLeg%s", "LowerLeg%s", "Foot%s",
      "Foot%s_end", "Eye%s"},
     "L", "R"},
    {{"hip", "abdomenLower", "abdomenUpper", "chestUpper", "neckLower", "head"},
     {"%sCollar", "%sShldrBend", "%sForearmBend", "%sHand", "%sIndex1", "%sThighBend", "%sShin", "%sFoot", "%sToe",
      "%sEye"},
     "l", "r"},
};

const char* const kVrmRoles[kRoles] = {
    "hips", "spine", "chest", "upperChest", "neck", "head",
    "leftShoulder", "leftUpperArm", "leftLowerArm", "leftHand", "leftIndexProximal", "leftUpperLeg", "leftLowerLeg",
    "leftFoot", "leftToes", "leftEye",
    "rightShoulder", "rightUpperArm", "rightLowerArm", "rightHand", "rightIndexProximal", "rightUpperLeg",
    "rightLowerLeg", "rightFoot", "rightToes", "rightEye",
};

const Convention& Names(BoneNaming naming)
{
    return kConventions[naming > BoneNaming::kNumbered ? int(naming) - 1 : int(naming)];
}

std::string BoneName(BoneNaming naming, int role)
{
    if (naming == BoneNaming::kNumbered) {
        // Numbered in an order of their own, as an editor leaves them.
        const int n = (role * 7 + 3) % kRoles;
        char name[16];
        std::snprintf(name, sizeof name, n == 0 ? "Bone" : "Bone.%03d", n);
        return name;
    }
    const Convention& c = Names(naming);
    if (role < kLShoulder)
        return c.centre[role];
    const bool left = role < kRShoulder;
    std::string pattern = c.side[(role - kLShoulder) % kSide];
    pattern.replace(pattern.find("%s"), 2, left ? c.left : c.right);
    return pattern;
}

// One vertex of the skinned mesh: where it is, and up to two bones with weights.
struct Vertex {
    P3 p;
    int bone[2] = {0, 0};
    float weight[2] = {1.0f, 0.0f};
};

struct MeshPart {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;

    // A closed tube from a to b: rings of sides vertices, each ring weighted
    // to bone, blending into blendEnd over its last fifth.
    void Tube(P3 a, P3 b, double r0, double r1, int sides, int rings, int bone, int blendEnd = -1)
    {
        const P3 t = Unit(b - a);
        const P3 helper = std::fabs(t.y) < 0.9 ? P3{0, 1, 0} : P3{1, 0, 0};
        const P3 u = Unit(CrossOf(t, helper)), w = CrossOf(t, u);
        const uint32_t first = uint32_t(vertices.size());
        for (int r = 0; r <= rings; ++r) {
            const double f = double(r) / rings, radius = r0 + (r1 - r0) * f;
            Vertex v;
            v.bone[0] = bone;
            if (blendEnd >= 0 && f > 0.8) {
                v.bone[1] = blendEnd;
                v.weight[1] = float((f - 0.8) / 0.2 * 0.45);
                v.weight[0] = 1.0f - v.weight[1];
            }
            for (int s = 0; s < sides; ++s) {
                const double angle = 2 * kPi * s / sides;
                v.p = a + (b - a) * f + u * (radius * std::cos(angle)) + w * (radius * std::sin(angle));
                vertices.push_back(v);
            }
        }
        for (int r = 0; r < rings; ++r)
            for (int s = 0; s < sides; ++s) {
                const uint32_t i = first + uint32_t(r * sides + s), j = first + uint32_t(r * sides + (s + 1) % sides);
                indices.insert(indices.end(), {i, j, j + uint32_t(sides), i, j + uint32_t(sides), i + uint32_t(sides)});
            }
        for (int end = 0; end < 2; ++end) {
            Vertex pole = vertices[first + (end ? uint32_t(rings * sides) : 0u)];
            pole.p = end ? b : a;
            const uint32_t centre = uint32_t(vertices.size());
            vertices.push_back(pole);
            const uint32_t ring = first + (end ? uint32_t(rings * sides) : 0u);
            for (int s = 0; s < sides; ++s)
                indices.insert(indices.end(), {centre, ring + uint32_t((s + 1) % sides), ring + uint32_t(s)});
        }
    }
};

struct Skeleton {
    P3 head[kRoles];
    Quat frame[kRoles];  // each bone's turn in the bind pose, arbitrary as in real files
};

// A bone beyond the body's own: its parent (a role, or kRoles + an earlier
// extra), its head and its name: the suffix after its parent's name, after
// nothing, or followed by a side's word.
struct Extra {
    std::string suffix;
    int parent;
    P3 head;
    bool afterParent = false;
    int side = -1;       // 0 the left, 1 the right
    std::string name{};  // all of it, when set
    int adopts = -1;     // the role that hangs from it in place of its parent, when set
};

// Everything of the character in its own frame: x its left, y up, z its front.
struct Character {
    Skeleton bones;
    std::vector<Extra> extras;
    MeshPart body;                   // skinned
    MeshPart hung[2 * 2];            // forearm, hand of each side, when hung
    MeshPart hat;                    // hung under the head
    MeshPart head;                   // skinned by a skin of its own, when apart
};

Character Build(const RiggedFigureShape& s)
{
    Character c;
    P3* h = c.bones.head;
    const double H = 1.0;
    const double hipY = s.legShare * H, headBase = H * (1.0 - s.headShare), neckBase = headBase - 0.05 * H;
    const double shoulderY = neckBase - 0.02 * H, pelvisY = hipY + 0.02 * H;
    h[kHips] = {0, pelvisY, 0};
    h[kSpine] = {0, pelvisY + (neckBase - pelvisY) * 0.2, 0};
    h[kChest] = {0, pelvisY + (neckBase - pelvisY) * 0.45, 0};
    h[kUpperChest] = {0, pelvisY + (neckBase - pelvisY) * 0.7, 0};
    h[kNeckBone] = {0, neckBase, -0.005};
    h[kHeadBone] = {0, headBase, 0.0};
    const double drop = s.armDrop * kPi / 180.0, upper = s.armShare * 0.53 * H, fore = s.armShare * 0.47 * H;
    const double legSpread = 0.04 * std::sin(drop);
    for (int side = 0; side < 2; ++side) {
        const double x = side == 0 ? 1.0 : -1.0;  // the left is +x
        const int o = side * kSide;
        const P3 arm{x * std::cos(drop), -std::sin(drop), 0};
        h[kLShoulder + o] = {x * 0.02, neckBase - 0.03, 0.01};
        h[kLUpperArm + o] = {x * s.shoulderShare * H, shoulderY, -0.005};
        h[kLLowerArm + o] = h[kLUpperArm + o] + arm * upper;
        h[kLHand + o] = h[kLLowerArm + o] + arm * fore;
        h[kLIndex + o] = h[kLHand + o] + arm * (0.05 * H);
        h[kLUpperLeg + o] = {x * 0.085 * H, hipY, 0};
        h[kLFoot + o] = {x * (0.09 + legSpread) * H, 0.045 * H, -0.015 * H};
        h[kLLowerLeg + o] = (h[kLUpperLeg + o] + h[kLFoot + o]) * 0.5 + P3{0, 0.01 * H, 0.012 * H};
        h[kLToes + o] = h[kLFoot + o] + P3{0, -0.03 * H, 0.09 * H};
        h[kLEye + o] = {x * 0.03 * H, headBase + 0.07 * H, 0.06 * H};
    }
    for (int r = 0; r < kRoles; ++r)
        c.bones.frame[r] = Quat::About({0.3, 1, 0.2 * (r % 3)}, 0.4 * r);

    // The mesh: a tube per limb segment, the torso in bands, a head and a hat.
    const int sides = std::max(4, s.detail), rings = std::max(2, s.detail * 3 / 2);
    MeshPart& b = c.body;
    const double torsoBottom = hipY - 0.06 * H;
    const Role bands[] = {kHips, kSpine, kChest, kUpperChest};
    for (int band = 0; band < 4; ++band) {
        const double y0 = band == 0 ? torsoBottom : h[bands[band]].y, y1 = band == 3 ? shoulderY + 0.01 : h[bands[band + 1]].y;
        b.Tube({0, y0, 0}, {0, y1, 0}, 0.12 * H, 0.12 * H, sides * 2, rings / 2, bands[band], band < 3 ? bands[band + 1] : -1);
    }
    b.Tube(h[kNeckBone], h[kHeadBone], 0.035 * H, 0.035 * H, sides, rings / 2, kNeckBone, kHeadBone);
    (s.headOwnSkin ? c.head : b).Tube(h[kHeadBone], {0, H, 0.01 * H}, 0.07 * H, 0.05 * H, sides * 2, rings, kHeadBone);
    for (int side = 0; side < 2; ++side) {
        const int o = side * kSide;
        MeshPart& fore = s.hungForearms ? c.hung[side * 2] : b;
        MeshPart& hand = s.hungForearms ? c.hung[side * 2 + 1] : b;
        const bool bare = side == 1 && s.bareRightForearm;  // the forearm carries the hand
        b.Tube(h[kLUpperArm + o], h[kLLowerArm + o], 0.04 * H, 0.032 * H, sides, rings, kLUpperArm + o, kLLowerArm + o);
        fore.Tube(h[kLLowerArm + o], h[kLHand + o], 0.03 * H, 0.024 * H, sides, rings, kLLowerArm + o,
                  bare ? -1 : kLHand + o);
        hand.Tube(h[kLHand + o], h[kLIndex + o] + (h[kLIndex + o] - h[kLHand + o]), 0.024 * H, 0.015 * H, sides,
                  rings / 2, bare ? kLLowerArm + o : kLHand + o, bare ? -1 : kLIndex + o);
        // Palms either side of the middle one (the hand's bone), their mean on the wrist.
        for (int palm = 0; s.fannedHands && !bare && palm < 2; ++palm)
            c.extras.push_back({palm == 0 ? "Palm1" : "Palm3", kLLowerArm + o,
                                h[kLHand + o] + P3{0, 0, palm == 0 ? 0.012 * H : -0.012 * H}, false, side});
        if (s.ikFeet == 1)
            c.extras.push_back({"_end", kLLowerLeg + o, h[kLFoot + o], true});
        b.Tube(h[kLUpperLeg + o], h[kLLowerLeg + o], 0.065 * H, 0.048 * H, sides, rings, kLUpperLeg + o, kLLowerLeg + o);
        b.Tube(h[kLLowerLeg + o], h[kLFoot + o], 0.046 * H, 0.032 * H, sides, rings, kLLowerLeg + o, kLFoot + o);
        b.Tube(h[kLFoot + o] + P3{0, -0.015 * H, -0.03 * H}, h[kLToes + o] + P3{0, 0, 0.04 * H}, 0.03 * H, 0.018 * H,
               sides, rings / 2, kLFoot + o, kLToes + o);
    }
    c.hat.Tube({0, H - 0.01 * H, 0}, {0, H + 0.03 * H, 0}, 0.09 * H, 0.06 * H, 8, 1, kHeadBone);
    // Twist bones halfway down a limb segment, the next bone hanging from them.
    for (int role : {kLUpperArm, kLLowerArm, kLUpperLeg, kRUpperArm, kRLowerArm, kRUpperLeg}) {
        if (!s.chainedTwists)
            break;
        const int child = role == kLUpperLeg ? kLLowerLeg : role == kRUpperLeg ? kRLowerLeg : role + 1;
        std::string name = BoneName(s.naming, role);
        if (s.naming == BoneNaming::kDaz)
            name.replace(name.find("Bend"), 4, "Twist");
        else
            name += s.naming == BoneNaming::kBlender ? ".001" : "Twist";
        c.extras.push_back({"", role, (h[role] + h[child]) * 0.5, false, -1, name, child});
    }
    if (s.extraBones) {
        for (int role : {kLUpperArm, kLLowerArm, kLUpperLeg, kRUpperArm, kRLowerArm, kRUpperLeg}) {
            const int child = role == kLUpperLeg ? kLLowerLeg : role == kRUpperLeg ? kRLowerLeg : role + 1;
            c.extras.push_back({"Twist", role, (h[role] + h[child]) * 0.5, true});
        }
        for (int k = 0; k < 4; ++k)
            c.extras.push_back({"Tail" + std::to_string(k + 1), k == 0 ? int(kHips) : kRoles + int(c.extras.size()) - 1,
                                {0, hipY * (1.0 - k / 3.0), -0.08 - 0.08 * k}});
        for (int k = 0; k < 4; ++k) {
            const P3 out{0.14 * std::sin(k * kPi / 2), 0, 0.14 * std::cos(k * kPi / 2)};
            c.extras.push_back({"Skirt" + std::to_string(k) + "_1", kHips, out + P3{0, hipY, 0}});
            c.extras.push_back({"Skirt" + std::to_string(k) + "_2", kRoles + int(c.extras.size()) - 1,
                                out * 1.2 + P3{0, hipY - 0.15, 0}});
        }
    }
    return c;
}

// The binary buffer and the accessors that describe it.
struct Buffer {
    std::string bytes;
    nlohmann::json views = nlohmann::json::array(), accessors = nlohmann::json::array();

    template <class T> int Add(const std::vector<T>& data, int count, const char* type, int componentType, bool indices)
    {
        while (bytes.size() % 4)
            bytes += '\0';
        const size_t offset = bytes.size();
        bytes.append(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(T));
        nlohmann::json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", data.size() * sizeof(T)}};
        if (!indices)
            view["target"] = 34962;
        views.push_back(view);
        nlohmann::json accessor = {{"bufferView", views.size() - 1}, {"componentType", componentType}, {"count", count},
                                   {"type", type}};
        if (std::string(type) == "VEC3" && componentType == 5126) {
            std::vector<float> lo(3, 1e30f), hi(3, -1e30f);
            for (size_t i = 0; i < data.size(); ++i) {
                const float v = float(data[i]);
                lo[i % 3] = std::min(lo[i % 3], v);
                hi[i % 3] = std::max(hi[i % 3], v);
            }
            accessor["min"] = lo;
            accessor["max"] = hi;
        }
        accessors.push_back(accessor);
        return int(accessors.size() - 1);
    }
};

// The file's frame from the character's: turned to its facing, in its units.
struct Placement {
    Quat facing;
    double scale;
    P3 operator()(P3 p) const { return facing.Rotate(p) * scale; }
};

// jointOf: each bone's place in the skin's joints.
nlohmann::json Primitive(Buffer& buffer, const MeshPart& part, const std::function<P3(P3)>& place, bool skinned,
                         const std::vector<int>& jointOf)
{
    std::vector<float> positions, weights;
    std::vector<uint16_t> joints;
    for (const Vertex& v : part.vertices) {
        const P3 p = place(v.p);
        positions.insert(positions.end(), {float(p.x), float(p.y), float(p.z)});
        joints.insert(joints.end(), {uint16_t(jointOf[size_t(v.bone[0])]), uint16_t(jointOf[size_t(v.bone[1])]), 0, 0});
        weights.insert(weights.end(), {v.weight[0], v.weight[1], 0.0f, 0.0f});
    }
    const int count = int(part.vertices.size());
    nlohmann::json attributes = {{"POSITION", buffer.Add(positions, count, "VEC3", 5126, false)}};
    if (skinned) {
        attributes["JOINTS_0"] = buffer.Add(joints, count, "VEC4", 5123, false);
        attributes["WEIGHTS_0"] = buffer.Add(weights, count, "VEC4", 5126, false);
    }
    return {{"attributes", attributes},
            {"indices", buffer.Add(part.indices, int(part.indices.size()), "SCALAR", 5125, true)}};
}

nlohmann::json Trs(P3 t, Quat r, double scale = 1.0)
{
    return {{"translation", {t.x, t.y, t.z}}, {"rotation", {r.x, r.y, r.z, r.w}}, {"scale", {scale, scale, scale}}};
}

// The figure joints a fit places, on their bones' heads.
constexpr struct {
    int joint;
    Role role;
} kJudged[] = {{kShoulderNeg, kLUpperArm}, {kElbowNeg, kLLowerArm}, {kHandNeg, kLHand},
               {kShoulderPos, kRUpperArm}, {kElbowPos, kRLowerArm}, {kHandPos, kRHand},
               {kHipNeg, kLUpperLeg},      {kKneeNeg, kLLowerLeg},  {kFootNeg, kLFoot},
               {kHipPos, kRUpperLeg},      {kKneePos, kRLowerLeg},  {kFootPos, kRFoot},
               {kNeck, kNeckBone},         {kHead, kHeadBone},      {kWaist, kHips}};

void Truth(const Character& c, RiggedFigureTruth& truth)
{
    P3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    auto widen = [&](const MeshPart& part) {
        for (const Vertex& v : part.vertices) {
            lo = {std::min(lo.x, v.p.x), std::min(lo.y, v.p.y), std::min(lo.z, v.p.z)};
            hi = {std::max(hi.x, v.p.x), std::max(hi.y, v.p.y), std::max(hi.z, v.p.z)};
        }
        truth.vertices += int(part.vertices.size());
    };
    widen(c.body);
    widen(c.hat);
    widen(c.head);
    for (const MeshPart& part : c.hung)
        widen(part);
    const double height = hi.y - lo.y;
    for (const auto& j : kJudged) {
        const P3 p = c.bones.head[j.role];
        truth.joint[size_t(j.joint)] = Vec3::FromDouble((p.x - (lo.x + hi.x) / 2) / height,
                                                        (p.z - (lo.z + hi.z) / 2) / height, (p.y - lo.y) / height);
    }
}

} // namespace

bool WriteRiggedFigure(const std::string& path, const RiggedFigureShape& shape, RiggedFigureTruth* truth)
{
    const Character c = Build(shape);
    if (truth) {
        *truth = RiggedFigureTruth{};
        Truth(c, *truth);
    }
    const double units = shape.centimetres ? 100.0 : 1.0;
    const Placement place{Quat::About({0, 1, 0}, shape.facing * kPi / 180.0), shape.height * units};
    std::vector<Quat> global(kRoles);
    std::vector<P3> head(kRoles);
    for (int r = 0; r < kRoles; ++r) {
        global[size_t(r)] = place.facing * c.bones.frame[r];
        head[size_t(r)] = place(c.bones.head[r]);
    }

    // The extra bones, frames as their parents'.
    const int boneCount = kRoles + int(c.extras.size());
    for (const Extra& e : c.extras) {
        global.push_back(global[size_t(e.parent)]);
        head.push_back(place(e.head));
    }
    // Bones are nodes 1 onwards, the extras after the body's. Feet may hang
    // from the hips, a body bone from a twist bone in its chain; a bare
    // forearm's hand and finger are no bones but nodes beside the skeleton.
    std::vector<int> parentOf(kParent, kParent + kRoles);
    for (int foot : {kLFoot, kRFoot})
        if (shape.ikFeet > 0)
            parentOf[size_t(foot)] = kHips;
    for (size_t k = 0; k < c.extras.size(); ++k)
        if (c.extras[k].adopts >= 0)
            parentOf[size_t(c.extras[k].adopts)] = kRoles + int(k);
    auto dropped = [&](int r) { return r < kRoles && shape.bareRightForearm && (r == kRHand || r == kRIndex); };

    Buffer buffer;
    nlohmann::json nodes = nlohmann::json::array(), meshes = nlohmann::json::array();
    // Node 0 holds the skeleton (in centimetres under a 0.01 scale).
    nodes.push_back({{"name", "Armature"}, {"children", {1}}, {"scale", {1 / units, 1 / units, 1 / units}}});
    std::vector<std::vector<int>> children(static_cast<size_t>(boneCount));
    for (int b = 1; b < boneCount; ++b) {
        const int parent = b < kRoles ? parentOf[size_t(b)] : c.extras[size_t(b - kRoles)].parent;
        if (dropped(b) && !dropped(parent))
            nodes[0]["children"].push_back(b + 1);
        else
            children[size_t(parent)].push_back(b + 1);
    }
    for (int b = 0; b < boneCount; ++b) {
        const int p = b == 0 ? -1 : b < kRoles ? parentOf[size_t(b)] : c.extras[size_t(b - kRoles)].parent;
        const Quat parent = p < 0 ? Quat{} : global[size_t(p)];
        const P3 parentHead = p < 0 ? P3{} : head[size_t(p)];
        Quat local = parent.Inverse() * global[size_t(b)];
        // Hung forearms stand in a pose of their own: the upper arms turned down.
        if (shape.hungForearms && (b == kLUpperArm || b == kRUpperArm))
            local = parent.Inverse() * Quat::About(place.facing.Rotate({0, 0, 1}), b == kLUpperArm ? -1.2 : 1.2) *
                    global[size_t(b)];
        if (shape.headOwnSkin && b == kNeckBone)
            local = parent.Inverse() * Quat::About(place.facing.Rotate({1, 0, 0}), 1.4) * global[size_t(b)];
        nlohmann::json node = Trs(parent.Inverse().Rotate(head[size_t(b)] - parentHead), local);
        if (b < kRoles) {
            node["name"] = BoneName(shape.naming, b);
        } else {
            // An extra is named after its parent, or by itself, or with a side's word.
            const Extra& e = c.extras[size_t(b - kRoles)];
            std::string name = (e.afterParent ? BoneName(shape.naming, e.parent) : std::string()) + e.suffix;
            if (e.side >= 0)
                name += e.side == 0 ? Names(shape.naming).left : Names(shape.naming).right;
            if (!e.name.empty())
                name = e.name;
            if (shape.naming == BoneNaming::kNumbered)
                name = "Bone." + std::to_string(100 + b - kRoles);
            node["name"] = name;
        }
        if (!children[size_t(b)].empty())
            node["children"] = children[size_t(b)];
        nodes.push_back(node);
    }
    std::vector<int> joints, jointOf(size_t(boneCount), 0);
    for (int r = 0; r < boneCount; ++r)
        if (r >= kRoles || !dropped(r)) {
            jointOf[size_t(r)] = int(joints.size());
            joints.push_back(r + 1);
        }

    auto addMeshNode = [&](const MeshPart& part, int bone, bool skinned, const std::vector<int>& jointsOf) {
        // A hung part is stored in its bone's frame, as it hangs there.
        auto local = [&](P3 p) { return bone < 0 ? place(p) : global[bone].Inverse().Rotate(place(p) - head[bone]); };
        meshes.push_back({{"primitives", {Primitive(buffer, part, local, skinned, jointsOf)}}});
        nlohmann::json node = {{"mesh", meshes.size() - 1}};
        nodes.push_back(node);
        return int(nodes.size() - 1);
    };
    const int body = addMeshNode(c.body, -1, true, jointOf);
    nodes[size_t(body)]["skin"] = 0;
    nodes[size_t(body)]["name"] = "Body";
    const double s = shape.meshNodeScale;
    nodes[size_t(body)]["scale"] = {s, s, s};
    auto hang = [&](const MeshPart& part, int bone) {
        if (part.vertices.empty())
            return;
        const int node = addMeshNode(part, bone, false, jointOf);
        nodes[size_t(bone + 1)]["children"].push_back(node);
    };
    hang(c.hat, kHeadBone);
    for (int side = 0; side < 2; ++side) {
        hang(c.hung[side * 2], kLLowerArm + side * kSide);
        hang(c.hung[side * 2 + 1], kLHand + side * kSide);
    }

    // A skin's inverse bind matrices, column-major: the inverse of each bone's bind pose.
    auto skin = [&](const std::vector<int>& skinJoints) {
        std::vector<float> inverseBind;
        for (int joint : skinJoints) {
            const int r = joint - 1;
            const Quat q = global[size_t(r)].Inverse();
            const P3 t = q.Rotate(head[size_t(r)]) * -1.0;
            const P3 columns[3] = {q.Rotate({1, 0, 0}), q.Rotate({0, 1, 0}), q.Rotate({0, 0, 1})};
            for (const P3& col : columns)
                inverseBind.insert(inverseBind.end(), {float(col.x), float(col.y), float(col.z), 0.0f});
            inverseBind.insert(inverseBind.end(), {float(t.x), float(t.y), float(t.z), 1.0f});
        }
        return nlohmann::json{{"joints", skinJoints},
                              {"inverseBindMatrices", buffer.Add(inverseBind, int(skinJoints.size()), "MAT4", 5126, true)}};
    };
    // An array made explicitly: from braces round one value, compilers differ
    // on whether the value is copied or wrapped.
    nlohmann::json skins = nlohmann::json::array({skin(joints)}), scene = {0, body};
    if (!c.head.vertices.empty()) {
        const int apart = addMeshNode(c.head, -1, true, std::vector<int>(size_t(boneCount), 0));
        nodes[size_t(apart)]["skin"] = 1;
        skins.push_back(skin({kHeadBone + 1}));
        scene.push_back(apart);
    }
    nlohmann::json gltf = {
        {"asset", {{"version", "2.0"}, {"generator", "quillomark rigged figure"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", scene}}}},
        {"nodes", nodes},
        {"meshes", meshes},
        {"skins", skins},
    };
    if (shape.vrm == 1) {
        nlohmann::json bones = nlohmann::json::array();
        for (int r = 0; r < kRoles; ++r)
            bones.push_back({{"bone", kVrmRoles[r]}, {"node", r + 1}, {"useDefaultValues", true}});
        gltf["extensionsUsed"] = {"VRM"};
        gltf["extensions"] = {{"VRM", {{"specVersion", "0.0"}, {"humanoid", {{"humanBones", bones}}}}}};
    } else if (shape.vrm == 2) {
        nlohmann::json bones = nlohmann::json::object();
        for (int r = 0; r < kRoles; ++r)
            bones[kVrmRoles[r]] = {{"node", r + 1}};
        gltf["extensionsUsed"] = {"VRMC_vrm"};
        gltf["extensions"] = {{"VRMC_vrm", {{"specVersion", "1.0"}, {"humanoid", {{"humanBones", bones}}}}}};
    }

    while (buffer.bytes.size() % 4)
        buffer.bytes += '\0';
    gltf["bufferViews"] = buffer.views;
    gltf["accessors"] = buffer.accessors;
    const bool binary = path.size() < 5 || path.compare(path.size() - 5, 5, ".gltf") != 0;
    std::ofstream out(path, std::ios::binary);
    if (!binary) {
        static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const std::string& b = buffer.bytes;
        std::string uri = "data:application/octet-stream;base64,";
        for (size_t i = 0; i < b.size(); i += 3) {
            const size_t left = b.size() - i;
            const uint32_t v = uint32_t(uint8_t(b[i])) << 16 | (left > 1 ? uint32_t(uint8_t(b[i + 1])) << 8 : 0u) |
                               (left > 2 ? uint32_t(uint8_t(b[i + 2])) : 0u);
            uri += kDigits[v >> 18 & 63];
            uri += kDigits[v >> 12 & 63];
            uri += left > 1 ? kDigits[v >> 6 & 63] : '=';
            uri += left > 2 ? kDigits[v & 63] : '=';
        }
        gltf["buffers"] = {{{"byteLength", buffer.bytes.size()}, {"uri", uri}}};
        out << gltf.dump();
        return bool(out);
    }
    gltf["buffers"] = {{{"byteLength", buffer.bytes.size()}}};
    std::string json = gltf.dump();
    while (json.size() % 4)
        json += ' ';
    auto word = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    out.write("glTF", 4);
    word(2);
    word(uint32_t(12 + 8 + json.size() + 8 + buffer.bytes.size()));
    word(uint32_t(json.size()));
    out.write("JSON", 4);
    out << json;
    word(uint32_t(buffer.bytes.size()));
    out.write("BIN\0", 4);
    out << buffer.bytes;
    return bool(out);
}

RiggedFigureMesh BindPoseMesh(const RiggedFigureShape& shape)
{
    const Character c = Build(shape);
    RiggedFigureMesh mesh;
    auto add = [&](const MeshPart& part) {
        const uint32_t first = uint32_t(mesh.points.size());
        for (const Vertex& v : part.vertices)
            mesh.points.push_back({v.p.x, v.p.y, v.p.z});
        for (size_t i = 0; i + 2 < part.indices.size(); i += 3)
            mesh.triangles.push_back({first + part.indices[i], first + part.indices[i + 1], first + part.indices[i + 2]});
    };
    add(c.body);
    add(c.hat);
    for (const MeshPart& part : c.hung)
        add(part);
    for (const auto& j : kJudged) {
        const P3 p = c.bones.head[j.role];
        mesh.joint[size_t(j.joint)] = {p.x, p.y, p.z};
    }
    return mesh;
}

std::vector<NamedRiggedFigure> RiggedFigureSet()
{
    auto shapeOf = [](BoneNaming naming, double drop, double facing) {
        RiggedFigureShape s;
        s.naming = naming;
        s.armDrop = drop;
        s.facing = facing;
        return s;
    };
    std::vector<NamedRiggedFigure> set;
    const char* names[] = {"mixamo", "humanoid", "vroid", "blender", "mmd", "unreal", "biped", "numbered"};
    const double drops[] = {0, 45, 75};
    const double facings[] = {0, 90, 180, -90, 30};
    int k = 0;
    for (int n = 0; n < 8; ++n)
        for (double drop : drops) {
            NamedRiggedFigure c{std::string(names[n]) + "-" + std::to_string(int(drop)),
                                shapeOf(BoneNaming(n), drop, facings[k++ % 5])};
            c.shape.legShare = 0.42 + 0.04 * (k % 4);
            c.shape.headShare = 0.11 + 0.05 * (k % 3);
            c.shape.shoulderShare = 0.09 + 0.01 * (k % 4);
            set.push_back(c);
        }
    NamedRiggedFigure cartoon{"cartoon", shapeOf(BoneNaming::kMixamo, 20, 0)};
    cartoon.shape.legShare = 0.3;
    cartoon.shape.headShare = 0.3;
    cartoon.shape.armShare = 0.22;
    set.push_back(cartoon);
    NamedRiggedFigure vrm0{"vrm0", shapeOf(BoneNaming::kNumbered, 10, 180), "vrm"};
    vrm0.shape.vrm = 1;
    set.push_back(vrm0);
    NamedRiggedFigure vrm1{"vrm1", shapeOf(BoneNaming::kNumbered, 40, 0), "vrm"};
    vrm1.shape.vrm = 2;
    set.push_back(vrm1);
    NamedRiggedFigure cm{"centimetres", shapeOf(BoneNaming::kMixamo, 0, 90)};
    cm.shape.centimetres = true;
    cm.shape.meshNodeScale = 0.01;
    set.push_back(cm);
    for (int n : {0, 4, 7}) {
        NamedRiggedFigure extras{std::string("extra-bones-") + names[n], shapeOf(BoneNaming(n), 60, 90 * n)};
        extras.shape.extraBones = true;
        set.push_back(extras);
    }
    NamedRiggedFigure hung{"hung", shapeOf(BoneNaming::kNumbered, 0, 0)};
    hung.shape.hungForearms = true;
    set.push_back(hung);
    NamedRiggedFigure split{"split", shapeOf(BoneNaming::kDaz, 20, -90)};
    split.shape.chainedTwists = true;
    set.push_back(split);
    // Robots: palms in place of hands, feet hung from the hips, an arm ending at its forearm.
    for (int n : {7, 8}) {
        NamedRiggedFigure robot{std::string("robot-") + std::to_string(n), shapeOf(BoneNaming(n), 30, 90 * (n - 6))};
        robot.shape.fannedHands = true;
        robot.shape.ikFeet = n == 7 ? 1 : 2;
        set.push_back(robot);
        NamedRiggedFigure tool{std::string("tool-") + std::to_string(n), shapeOf(BoneNaming(n), 10, 45 * (n - 6))};
        tool.shape.fannedHands = tool.shape.bareRightForearm = true;
        set.push_back(tool);
    }
    return set;
}

std::array<Vec3, kFigureJoints> JudgedJoints(const CBodyDoc& doc)
{
    MeshBounds box;
    for (int v = 0; v < doc.vertexCount; ++v)
        box.Widen(doc.restVertices[size_t(v)]);
    const double height = double(box.max.z) - box.min.z;
    const double cx = (double(box.min.x) + box.max.x) / 2, cy = (double(box.min.y) + box.max.y) / 2;
    std::array<Vec3, kFigureJoints> joints{};
    for (int j = 0; j < kFigureJoints; ++j) {
        const Vec3 p = JointNode(doc.figures[0], j).restPosition;
        joints[size_t(j)] = Vec3::FromDouble(-(p.x - cx) / height, -(p.y - cy) / height, (box.max.z - p.z) / height);
    }
    return joints;
}

} // namespace qm
