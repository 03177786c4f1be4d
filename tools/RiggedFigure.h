#pragma once

#include <array>
#include <string>
#include <vector>

#include "skeleton/Figure.h"

namespace qm {

// How a generated character's bones are named: after the exporters and
// avatar formats users' files come from, or not at all.
enum class BoneNaming { kMixamo, kHumanoid, kVRoid, kBlender, kMmd, kUnreal, kBiped, kNumbered, kRobot, kDaz };

// A humanoid character with a skeleton and a skinned mesh, of proportions,
// pose and facing of one's choosing, written as glTF so that fitting the
// figure to it can be checked against joints known exactly.
struct RiggedFigureShape {
    BoneNaming naming = BoneNaming::kMixamo;
    double height = 1.7;        // in the file's units (metres)
    double armDrop = 0.0;       // degrees below the horizontal: 0 a T pose, 45 an A pose
    double facing = 0.0;        // degrees about the up axis (+y), from +z (glTF's front) towards +x
    double legShare = 0.5;      // height of the thigh heads over the whole height
    double headShare = 0.13;    // the head's share of the height
    double shoulderShare = 0.11;  // half the distance between the upper-arm heads, over the height
    double armShare = 0.32;     // upper arm and forearm together, over the height
    int vrm = 0;                // 0: no humanoid map; 1: a VRM 0.x map; 2: a VRM 1.0 map
    bool centimetres = false;   // skeleton and mesh in centimetres under a 0.01 scale
    double meshNodeScale = 1.0; // a scale on the skinned mesh's own node, which glTF ignores
    bool hungForearms = false;  // forearms and hands as meshes hung under their bones, the nodes posed arms-down
    bool headOwnSkin = false;   // the head a mesh of its own, with a skin of its own (the head bone alone), the
                                // neck's node posed bowing away from the bind pose
    bool extraBones = false;    // twist bones, a tail down to the floor and a skirt, weighing on nothing
    bool chainedTwists = false; // twist bones within the limbs' chains, halfway down the upper arms, forearms, thighs
    bool fannedHands = false;   // no hand bones: three palm bones fan out from each forearm's end
    int ikFeet = 0;             // 1: feet hung from the hips' bone, not the shins, which end in end bones at
                                // the ankles; 2: the same, the shins ending there with no end bones
    bool bareRightForearm = false;  // the right arm ends at its forearm, which carries the hand's vertices
    int detail = 8;             // mesh resolution: sides around each limb; vertices grow as its square
};

// The character's joints in the frame fits are judged in: x its left, y its
// facing, z its up; origin at its mesh's box centre across and its lowest
// point; one unit its height. Indexed by figure joint (the figure's -x side is
// the character's left); only the joints a fit places are filled.
struct RiggedFigureTruth {
    std::array<Vec3, kFigureJoints> joint{};
    int vertices = 0;
};

// Writes the character as binary glTF (.glb, .vrm) or as .gltf with its data
// inside. False when the file cannot be written.
bool WriteRiggedFigure(const std::string& path, const RiggedFigureShape& shape, RiggedFigureTruth* truth = nullptr);

// The character's bind-pose mesh alone, every part where its bind pose puts
// it, in the character's own frame (x its left, y up, z its front, its soles
// at y = 0, about one unit tall), and the joints a fit places (the figure's
// -x side the character's left), as a model's mesh comes without its bones.
struct RiggedFigureMesh {
    std::vector<std::array<double, 3>> points;
    std::vector<std::array<uint32_t, 3>> triangles; // counter-clockwise seen from outside
    std::array<std::array<double, 3>, kFigureJoints> joint{};
};
RiggedFigureMesh BindPoseMesh(const RiggedFigureShape& shape);

// The measuring set of rigged characters: every naming in T, A and
// arms-down poses, facing several ways, of several proportions; a cartoon,
// avatars with humanoid maps, a rig in centimetres, extra bones (a tail, a
// skirt), forearms hung under posed bones.
struct NamedRiggedFigure {
    std::string name;
    RiggedFigureShape shape;
    std::string extension = "glb";
};
std::vector<NamedRiggedFigure> RiggedFigureSet();

// The figure's joints of figure 0 as that frame sees them in a scene whose
// figure faces -y with -z up.
std::array<Vec3, kFigureJoints> JudgedJoints(const class CBodyDoc& doc);

} // namespace qm
