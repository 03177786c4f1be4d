// Writes a generated rigged character: make_rigged OUT.glb [options]
#include <cstdio>
#include <map>

#include <CLI/CLI.hpp>

#include "tools/RiggedFigure.h"

int main(int argc, char** argv)
{
    using namespace qm;
    CLI::App app("Writes a rigged humanoid character as glTF (.glb, .vrm or .gltf)");
    std::string out, naming = "mixamo";
    RiggedFigureShape shape;
    app.add_option("out", out)->required();
    app.add_option("--naming", naming, "mixamo, humanoid, vroid, blender, mmd, unreal, biped, robot, daz or numbered");
    app.add_option("--drop", shape.armDrop, "arms' angle below the horizontal, in degrees");
    app.add_option("--facing", shape.facing, "degrees about the up axis from +z towards +x");
    app.add_option("--legs", shape.legShare, "thigh heads' height over the height");
    app.add_option("--head", shape.headShare, "the head's share of the height");
    app.add_option("--vrm", shape.vrm, "humanoid map: 0 none, 1 VRM 0.x, 2 VRM 1.0");
    app.add_option("--detail", shape.detail, "sides around each limb");
    app.add_option("--mesh-scale", shape.meshNodeScale, "scale on the skinned mesh's node");
    app.add_flag("--centimetres", shape.centimetres);
    app.add_flag("--hung", shape.hungForearms, "forearms hung under posed bones");
    app.add_flag("--head-apart", shape.headOwnSkin, "the head skinned by a skin of its own, the neck posed");
    app.add_flag("--extras", shape.extraBones, "twist bones, a tail and a skirt");
    app.add_flag("--chained-twists", shape.chainedTwists, "twist bones within the limbs' chains");
    app.add_flag("--palms", shape.fannedHands, "palm bones fanning from the forearms, no hand bones");
    app.add_option("--ik-feet", shape.ikFeet, "feet hung from the hips: 1 shins ending in end bones, 2 without them");
    app.add_flag("--bare-right", shape.bareRightForearm, "the right arm ending at its forearm");
    CLI11_PARSE(app, argc, argv);
    const std::map<std::string, BoneNaming> names = {
        {"mixamo", BoneNaming::kMixamo}, {"humanoid", BoneNaming::kHumanoid}, {"vroid", BoneNaming::kVRoid},
        {"blender", BoneNaming::kBlender}, {"mmd", BoneNaming::kMmd}, {"unreal", BoneNaming::kUnreal},
        {"biped", BoneNaming::kBiped}, {"robot", BoneNaming::kRobot}, {"daz", BoneNaming::kDaz},
        {"numbered", BoneNaming::kNumbered}};
    if (!names.count(naming))
        return 2;
    shape.naming = names.at(naming);
    RiggedFigureTruth truth;
    if (!WriteRiggedFigure(out, shape, &truth))
        return 1;
    std::printf("%d vertices\n", truth.vertices);
    return 0;
}
