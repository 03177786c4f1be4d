#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/BodyDoc.h"
#include "skeleton/Figure.h"

namespace qm {

// How the arms stand in a character's bind pose.
enum class ArmPose { kT, kA, kDown };

// A made-up standing character whose joints are known, to measure the
// figure fit against: a smooth skin around a skeleton (or boxes, one per
// limb segment), with clothes and hair as separate pieces.
struct HumanoidSpec {
    ArmPose pose = ArmPose::kT;
    double drop = -1.0;   // the arms' angle below the level in radians, in place of the pose's when not negative
    double swing = 0.0;   // the lowered arms turned forwards, radians
    double heads = 7.5;   // the height in head heights
    double legs = 0.54;   // the crotch's height over the chin's
    double width = 1.0;   // shoulders and hips, against an adult's
    double girth = 1.0;   // limbs and trunk
    double hands = 1.0;   // hand length
    double forearm = 0.8; // forearm over upper arm
    bool skirt = false;   // to the knees
    bool cape = false;    // from the shoulders to the calves
    bool hair = false;    // a mass round the head, hanging to the shoulder blades, and two tails
    double tails = 0.0;   // the tails' ends over the floor, in heights; 0 over the crotch
    bool hood = false;    // a hooded cloak: over the head, the neck and the shoulders, down the back
    bool boots = false;
    bool heels = false;   // the heels raised on posts, the toes on the floor
    bool bust = false;
    bool fingers = false; // five fingers apart rather than a mitten (wants a fine grid)
    bool pieces = false;  // head, hands and feet apart from the body, the faces hidden inside removed
    bool blocks = false;  // boxes instead of a skin, clothes and hair
    bool gaps = false;    // blocks a little apart, as a robot's jointed parts
    bool hung = false;    // blocks well apart: thighs under a pelvis apart from the trunk, arms; a head on no neck
    double facing = 0.0;  // turn about the vertical away from facing -y, radians
    int cells = 110;      // the skin's grid: cells over the height
    // As characters come from their makers, in many meshes that overlap:
    bool dressed = false; // a shirt, trousers and shoes over the whole skin, open where clothes are; eyes and teeth
    bool doubled = false; // the skin twice, the second a hair's breadth out (an outfit made from the body)
    bool cut = false;     // the skin cut away where the shirt hides it, leaving holes
    bool trinkets = false; // a belt, a necklace, a backpack, a hat with a brim, earrings
    bool armour = false;  // shoulder plates, bracers, greaves and a breastplate over the skin
    bool gown = false;    // a dress down to the floor, over the feet
    int base = 0;         // standing on a base: 1 round, 2 square
    bool fused = false;   // thighs together down to the knees
    int held = 0;         // in the right hand: 1 a sword pointing forwards, 2 a staff down to the floor;
                          // 3 a round shield on the left forearm besides the sword
    bool tail = false;    // a thick tail lying on the floor behind
    bool wings = false;   // spread from the shoulder blades
    bool uneven = false;  // the head's polygons split over and over, the body's coarse
};

// A bone of the character's rig: its head is where a rigger puts the joint.
struct HumanoidBone {
    std::string name;
    int32_t parent = -1;
    Vec3 head;
    int joint = -1; // the figure joint it stands for, or -1
};

// The character in scene axes (z down, the soles at z = 13.6, 17 units
// tall), turned by its facing; every vertex belongs to one bone.
struct Humanoid {
    std::vector<Vec3> vertices;
    std::vector<int32_t> vertexBone;
    std::vector<PolygonCorners> polygons;
    std::vector<int32_t> colours; // entries of the default colour table
    std::vector<HumanoidBone> bones;
    // The fitted joints (kFittedJoints) where a rigger puts them; the
    // others are left at the origin.
    std::array<Vec3, kFigureJoints> joints{};
    double turn = 0.0; // about the vertical, brings the character to face -y
};

Humanoid MakeHumanoid(const HumanoidSpec& spec);

// A rigged character's bind-pose mesh alone (tubes per limb, overlapping, a
// hat, hung parts), in scene axes where MakeHumanoid's characters stand,
// turned as its file faces; no bones.
Humanoid BindPoseHumanoid(const struct RiggedFigureShape& shape);

// The character's own joints in the frame a fit is judged in (JudgedJoints):
// its left, facing and up, from its box centre across and its lowest point,
// in units of its height.
std::array<Vec3, kFigureJoints> JudgedTruth(const Humanoid& character);

// Replaces doc's scene with the character, as an import leaves a mesh:
// default colours, figure 0 in its default rest pose, bound by bone with
// group binding on. False when the mesh did not fit in memory.
bool LoadHumanoid(CBodyDoc& doc, const Humanoid& character);

// The measuring set: named specs of several poses, proportions, clothes and
// facings.
struct NamedHumanoid {
    std::string name;
    HumanoidSpec spec;
};
std::vector<NamedHumanoid> HumanoidSet();

// Characters as makers deliver them: bodies under clothes, shoes, hair, eyes
// and props, each its own mesh; long dresses, bases, fused thighs, tails,
// wings, uneven density.
std::vector<NamedHumanoid> DressedSet();

// Things that are no standing character, which the fit must refuse: a cube,
// a sphere, a lone head, a four-legged animal, a car, a table, an arch.
// Their joints and bones are empty.
struct NamedObject {
    std::string name;
    Humanoid shape;
};
std::vector<NamedObject> NonHumanoidSet();

} // namespace qm
