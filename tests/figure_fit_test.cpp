// The figure fitted to rigged characters of known joints, as files bring them.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "formats/ModelFiles.h"
#include "resources/Strings.h"
#include "scene/FigureFitting.h"
#include "scene/SceneFile.h"
#include "tools/Humanoid.h"
#include "tools/RiggedFigure.h"

namespace qm {
namespace {

class FigureFitTest : public test::ViewTest {
protected:
    // The file written, imported and fitted; the figure's joints against the character's.
    void ExpectFitted(const std::string& name, const RiggedFigureShape& shape)
    {
        RiggedFigureTruth truth;
        ASSERT_TRUE(WriteRiggedFigure(dir / name, shape, &truth));
        ASSERT_EQ(ImportModel(doc, dir / name), ExchangeResult::kOk) << name;
        const auto imported = JudgedJoints(doc);
        // Fitting again, as --command 32864 after the import does, changes nothing.
        const FitOutcome again = FitFigureToModel(doc, true);
        EXPECT_TRUE(again.fitted && again.fromRig) << name;
        EXPECT_GT(again.bindingAgreement, 0.8) << name;
        const auto judged = JudgedJoints(doc);
        for (int j : {10, 11, 12, 15, 16, 17, 20, 21, 22, 25, 26, 27}) {
            EXPECT_LT(Distance(judged[size_t(j)], truth.joint[size_t(j)]), 0.005) << name << " joint " << j;
            EXPECT_LT(Distance(judged[size_t(j)], imported[size_t(j)]), 1e-4) << name << " joint " << j;
        }
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front();
    }

    test::TempFolder dir;
};

RiggedFigureShape Shape(BoneNaming naming, double armDrop, double facing, int vrm = 0)
{
    RiggedFigureShape shape;
    shape.naming = naming;
    shape.armDrop = armDrop;
    shape.facing = facing;
    shape.vrm = vrm;
    return shape;
}

// Named rigs, a rig whose names say nothing, avatars with a humanoid map, in
// T, A and arms-down poses, facing every way: each turned to face the front.
TEST_F(FigureFitTest, RigsOfEveryKindFitOnTheirJointsFacingTheFront)
{
    ExpectFitted("mixamo.glb", Shape(BoneNaming::kMixamo, 0, 90));
    ExpectFitted("mmd.gltf", Shape(BoneNaming::kMmd, 45, 0));
    ExpectFitted("blender.glb", Shape(BoneNaming::kBlender, 75, -90));
    // Limb segments split in two, the twisting half between the bending one
    // and the next segment, named as realistic characters' rigs name them.
    RiggedFigureShape split = Shape(BoneNaming::kDaz, 30, 0);
    split.chainedTwists = true;
    ExpectFitted("split.glb", split);
    // Unnamed bones, on a character turned 10 degrees off facing away.
    RiggedFigureShape numbered = Shape(BoneNaming::kNumbered, 40, 170);
    numbered.extraBones = true;  // a tail down to the floor and a skirt are no legs, twists no joints
    ExpectFitted("numbered.glb", numbered);
    ExpectFitted("avatar0.VRM", Shape(BoneNaming::kNumbered, 10, 180, 1));
    EXPECT_EQ(doc.rig.humanoid.size(), 26u);
    ExpectFitted("avatar1.vrm", Shape(BoneNaming::kVRoid, 30, 0, 2));
    EXPECT_EQ(doc.rig.humanoid.size(), 26u);

    // Robots' rigs: palms fanning out from the forearms with no hand bones,
    // feet hung from the hips' bone as inverse kinematics rigs hang them,
    // a bone named the hips beside the legs; named and not.
    RiggedFigureShape robot = Shape(BoneNaming::kRobot, 45, 90);
    robot.fannedHands = true;
    robot.ikFeet = 2;  // no end bones: the shins end the legs' chains
    ExpectFitted("robot.glb", robot);
    robot.naming = BoneNaming::kNumbered;
    robot.ikFeet = 1;
    ExpectFitted("robot_numbered.glb", robot);
    // An arm that ends at its forearm, which carries the hand (or a tool):
    // its wrist as far along as the other's, whose fingers fan from its forearm.
    RiggedFigureShape tool = Shape(BoneNaming::kMixamo, 0, 180);
    tool.fannedHands = tool.bareRightForearm = true;
    ExpectFitted("tool.gltf", tool);
    tool.naming = BoneNaming::kNumbered;
    ExpectFitted("tool_numbered.glb", tool);

    // A skinned mesh's node scale (which glTF ignores), parts hung under
    // bones posed away from the bind pose and a head skinned apart under a
    // posed neck: the character stands whole in its bind pose, the hat on
    // its head and the forearms on their elbows.
    RiggedFigureShape scaled = Shape(BoneNaming::kUnreal, 0, 0);
    scaled.centimetres = true;
    scaled.meshNodeScale = 0.01;
    scaled.hungForearms = scaled.headOwnSkin = true;
    ExpectFitted("scaled.glb", scaled);
    MeshBounds box;
    for (int v = 0; v < doc.vertexCount; ++v)
        box.Widen(doc.restVertices[size_t(v)]);
    const Vec3 head = JointNode(doc.FirstFigure(), kHead).restPosition;
    EXPECT_LT(head.z - box.min.z, (box.max.z - box.min.z) * 0.15) << "nothing stands far above the head";
    EXPECT_GT(JointNode(doc.FirstFigure(), kHandNeg).restPosition.x, box.min.x) << "the forearms reach the hands";
}

// A fitted scene saved and loaded binds every vertex to the same joint.
TEST_F(FigureFitTest, SavedFittedSceneBindsTheSameWhenLoaded)
{
    ExpectFitted("mixamo.glb", Shape(BoneNaming::kMixamo, 45, -90));
    ASSERT_TRUE(SaveSceneFile(doc, dir / "fitted.abd"));
    RecordingMessages quiet;
    CBodyDoc loaded(quiet);
    loaded.ViewState().groupBinding = false;
    ASSERT_EQ(LoadSceneFile(loaded, dir / "fitted.abd"), LoadResult::Ok);
    ASSERT_EQ(loaded.vertexCount, doc.vertexCount);
    EXPECT_TRUE(std::equal(doc.boundNode.begin(), doc.boundNode.begin() + doc.vertexCount, loaded.boundNode.begin()));
    for (int j = 0; j < kFigureJoints; ++j)
        EXPECT_EQ(JointNode(loaded.FirstFigure(), j).restPosition, JointNode(doc.FirstFigure(), j).restPosition);
}

// Characters known by their shape alone (a mesh as OBJ, no bones): one facing
// +x in its file; a rigged character's bind-pose mesh, a tube per limb pushed
// into the trunk, facing away; one on a square base; a robot of blocks whose
// thighs hang well under its pelvis. Each is fitted on import within what is asked
// of a fit from the shape (limb joints 3.5 % of the height off on average,
// none 10 %), so turned to face the front; the command fits it again to the
// same joints, within a hundredth and a half of the height (the shape is cut
// a hundredth of the height at a time).
TEST_F(FigureFitTest, ShapeAloneFitsCharactersFacingAnyWayAndTurnsThemToTheFront)
{
    HumanoidSpec sideways;
    sideways.pose = ArmPose::kA;
    sideways.hair = true;
    sideways.cells = 70;
    sideways.facing = -3.14159265358979 / 2;  // the file's +x, the scene's -x
    HumanoidSpec onBase = sideways;
    onBase.hair = false;
    onBase.base = 2;
    onBase.facing = 0.3;
    HumanoidSpec robot;
    robot.blocks = robot.gaps = robot.hung = true;
    robot.facing = 2.5;
    const std::pair<const char*, Humanoid> characters[] = {
        {"sideways.obj", MakeHumanoid(sideways)},
        {"tubes.obj", BindPoseHumanoid(Shape(BoneNaming::kMixamo, 45, 150))},
        {"on-base.obj", MakeHumanoid(onBase)},
        {"robot.obj", MakeHumanoid(robot)}};
    for (const auto& [name, character] : characters) {
        {
            RecordingMessages quiet;
            CBodyDoc made(quiet);
            ASSERT_TRUE(LoadHumanoid(made, character));
            ASSERT_EQ(ExportModel(made, dir / name), ExchangeResult::kOk);
        }
        ASSERT_EQ(ImportModel(doc, dir / name), ExchangeResult::kOk) << name;
        const auto truth = JudgedTruth(character), imported = JudgedJoints(doc);
        double mean = 0.0;
        for (int j : {10, 11, 12, 15, 16, 17, 20, 21, 22, 25, 26, 27}) {
            const double error = Distance(imported[size_t(j)], truth[size_t(j)]);
            EXPECT_LT(error, 0.1) << name << " joint " << j;
            mean += error / 12;
        }
        EXPECT_LT(mean, 0.035) << name;
        const FitOutcome again = FitFigureToModel(doc, true);
        EXPECT_TRUE(again.fitted && !again.fromRig) << name;
        const auto judged = JudgedJoints(doc);
        for (int j = 0; j < kFigureJoints; ++j)
            EXPECT_LT(Distance(judged[size_t(j)], imported[size_t(j)]), 0.015) << name << " joint " << j;
        EXPECT_TRUE(messages.shown.empty()) << name;
    }
}

// Without a mesh the command is greyed; a mesh that is no character is left
// as it was, and the user is told.
TEST_F(FigureFitTest, WhatCannotBeFittedIsLeftAsItWas)
{
    // Shapes with legs or wheels under them, of a character's size.
    for (const NamedObject& object : NonHumanoidSet()) {
        if (object.name != "quadruped" && object.name != "car")
            continue;
        ASSERT_TRUE(LoadHumanoid(doc, object.shape));
        const std::vector<Vec3> vertices(doc.restVertices.begin(), doc.restVertices.begin() + doc.vertexCount);
        ASSERT_TRUE(view->Execute(kCmdFitSkeleton));
        EXPECT_TRUE(view->LastCommandRefused()) << object.name;
        EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kCannotFitSkeleton});
        messages.shown.clear();
        test::ExpectDefaultRestPose(doc);
        EXPECT_TRUE(std::equal(vertices.begin(), vertices.end(), doc.restVertices.begin())) << object.name;
    }
    doc.ResetScene();

    EXPECT_FALSE(view->Query(kCmdFitSkeleton).enabled);
    for (int i = 0; i < 4; ++i)
        test::AddVertex(doc, Vec3(float(i & 1), float(i >> 1), 0.0f), 7);
    test::AddPolygon(doc, 0, 1, 3, 2);
    doc.BindMeshToNodes();
    const std::vector<int32_t> groups(doc.vertexGroup.begin(), doc.vertexGroup.begin() + 4);
    ASSERT_TRUE(view->Execute(kCmdFitSkeleton));
    EXPECT_TRUE(view->LastCommandRefused());
    EXPECT_EQ(messages.shown, std::vector<std::string>{strings::kCannotFitSkeleton});
    test::ExpectDefaultRestPose(doc);
    EXPECT_TRUE(std::equal(groups.begin(), groups.end(), doc.vertexGroup.begin()));
    EXPECT_EQ(doc.restVertices[3], Vec3(1, 1, 0));
}

} // namespace
} // namespace qm
