#include "view/BodyView.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "scene/FigureFitting.h"
#include "view/Framing.h"

namespace qm {
namespace {

// Per-frame amounts a held key adds; float, so that opposite keys cancel exactly.
constexpr float kAngleStep = 0.1f;
constexpr float kZoomStep = 10.0f;
constexpr float kTargetZStep = 1.0f;

// The preset views. The top view looks slightly past the vertical; straight
// down would leave the look-at without a sideways direction.
constexpr float kFrontAzimuth = -kCameraStraightUp;
constexpr float kTopElevation = -1.6534700f;
constexpr float kTopAzimuth = kCameraStraightUp;

// value + step for one key, value - step for the other; both keys cancel.
void Nudge(float& value, bool plus, bool minus, float step)
{
    if (plus)
        value = static_cast<float>(double(value) + step);
    if (minus)
        value = static_cast<float>(double(value) - step);
}

struct SwitchCommand {
    int id;
    ViewSwitch option;
    bool modulo2; // (value + 1) mod 2 rather than a plain toggle
};

constexpr SwitchCommand kSwitchCommands[] = {
    {kCmdCameraTrace, &ViewSwitches::useCameraTrace, false},
    {kCmdDrawShadow, &ViewSwitches::drawShadow, false},
    {kCmdDrawGround, &ViewSwitches::drawGround, false},
    {kCmdDrawCount, &ViewSwitches::drawCount, false},
    {kCmdMotionBlur, &ViewSwitches::useMotionBlower, false},
    {kCmdAntiAlias, &ViewSwitches::useAntiEdge, false},
    {kCmdDepthOfField, &ViewSwitches::useDepth, false},
    {kCmdFastEffects, &ViewSwitches::useFastBlower, false},
    {kCmdFlatShade, &ViewSwitches::useFlatShade, false},
    {kCmdAnimeShade, &ViewSwitches::animeShade, true},
    {kCmdCartoonEdge, &ViewSwitches::useEdge, true},
    {kCmdDoublePlane, &ViewSwitches::drawDoublePlane, false},
    {kCmdShowSkeleton, &ViewSwitches::showSkeleton, false},
    {kCmdMirrorEdit, &ViewSwitches::mirrorEdit, false},
};

const SwitchCommand* FindSwitch(int id)
{
    for (const SwitchCommand& command : kSwitchCommands)
        if (command.id == id)
            return &command;
    return nullptr;
}

// Motion blur and the eight-pass effects share the accumulation passes, and
// anime shading has its own flat bands: each excludes the other's switch.
bool SwitchEnabled(int id, const ViewSwitches& s)
{
    switch (id) {
    case kCmdMotionBlur:
        return s.useAntiEdge == 0 && s.useDepth == 0;
    case kCmdAntiAlias:
    case kCmdDepthOfField:
        return s.useMotionBlower == 0;
    case kCmdFlatShade:
        return s.animeShade == 0;
    default:
        return true;
    }
}

} // namespace

CBodyView::CBodyView(CBodyDoc& doc, SettingsStore& settings) : doc_(doc), options_(settings)
{
    doc_.AttachViewState(&state_);
    // The first frame is drawn before any step; the first step would measure
    // the eye that frame places at the camera distance from the target.
    edgeWidthWorld_ = static_cast<float>(double(state_.cameraDistance) * options_.Parameters().edgeWidth);
}

CBodyView::~CBodyView()
{
    doc_.AttachViewState(nullptr);
}

bool CBodyView::AnimateStep(bool hasFocus, KeyboardState& keys)
{
    if (!hasFocus)
        return false;

    // The target moves relative to where the camera looks as the step begins.
    const double s = std::sin(double(state_.cameraAzimuth));
    const double c = std::cos(double(state_.cameraAzimuth));

    // A first query clears any press latched since the last step, so that the
    // modifiers count only while they are held: a tap of Shift must not turn
    // the next arrow into a pan.
    keys.Query(Key::Shift);
    keys.Query(Key::Control);
    // Every other key is queried exactly once per step, whatever the mode, so
    // that a press is never carried over into a later step.
    const bool left = keys.Query(Key::Left);
    const bool right = keys.Query(Key::Right);
    const bool up = keys.Query(Key::Up);
    const bool down = keys.Query(Key::Down);
    const bool pageDown = keys.Query(Key::PageDown);
    const bool pageUp = keys.Query(Key::PageUp);
    const bool resetNodes = keys.Query(Key::C);
    const bool control = keys.Query(Key::Control);
    const bool shift = keys.Query(Key::Shift);

    if (control) {
        Nudge(state_.lightAzimuth, right, left, kAngleStep);
        Nudge(state_.lightElevation, up, down, kAngleStep);
        motion_ = CameraMotion{}; // the camera stops while the light moves
    } else if (shift) {
        const Vec3 sideways = Vec3::FromDouble(s, -c, 0.0);
        const Vec3 ahead = Vec3::FromDouble(c, s, 0.0);
        if (left)
            motion_.targetVelocity += sideways;
        if (right)
            motion_.targetVelocity -= sideways;
        if (up)
            motion_.targetVelocity += ahead;
        if (down)
            motion_.targetVelocity -= ahead;
        Nudge(motion_.targetVelocity.z, pageDown, pageUp, kTargetZStep);
    } else {
        Nudge(motion_.azimuthRate, right, left, kAngleStep);
        Nudge(motion_.elevationRate, up, down, kAngleStep);
        Nudge(motion_.distanceSpeed, pageDown, pageUp, kZoomStep);
    }
    if (resetNodes)
        ResetAllNodeMotion(doc_.pools);

    StepWithoutKeys(state_, motion_, options_.Parameters().edgeWidth, edgeWidthWorld_);
    if (frames_) {
        frames_->SetEdgeWidthInWorld(edgeWidthWorld_);
        frames_->RenderFrame();
    }
    return true;
}

bool CBodyView::Handles(int id)
{
    static constexpr int kOthers[] = {
        kCmdFrontView,    kCmdRightView,    kCmdTopView,        kCmdFlipPolygons,
        kCmdResetNodes,   kCmdSkeletonEdit, kCmdMirrorFromLeft, kCmdMirrorFromRight,
        kCmdGroupBinding, kCmdMergeNodes,   kCmdLinkNodes,      kCmdLinkNodesZeroLength,
        kCmdUnlinkNodes,  kCmdAddNode,      kCmdAddFigure,      kCmdAddSheet,
        kCmdFitModel,     kCmdFitSkeleton,
    };
    return FindSwitch(id) || std::find(std::begin(kOthers), std::end(kOthers), id) != std::end(kOthers);
}

CommandState CBodyView::Query(int id) const
{
    if (!Handles(id))
        return {};
    if (const SwitchCommand* command = FindSwitch(id)) {
        const ViewSwitches& s = options_.Switches();
        return {true, SwitchEnabled(id, s), s.*command->option != 0};
    }
    switch (id) {
    case kCmdSkeletonEdit:
        return {true, true, state_.skeletonEditMode};
    case kCmdMirrorFromLeft:
    case kCmdMirrorFromRight:
        return {true, state_.skeletonEditMode, false};
    case kCmdGroupBinding:
        return {true, true, state_.groupBinding};
    case kCmdFitModel:
    case kCmdFitSkeleton:
        return {true, doc_.vertexCount > 0, false};
    // The count is the one of the last button release; the editing commands
    // do not recount it.
    case kCmdMergeNodes:
        return {true, selectedCount_ >= 2, false};
    case kCmdLinkNodes:
    case kCmdLinkNodesZeroLength:
    case kCmdUnlinkNodes:
        return {true, selectedCount_ == 2, false};
    default:
        return {true, true, false};
    }
}

bool CBodyView::Execute(int id)
{
    // A command can arrive while its menu item is greyed (posted, or given on
    // the command line): the rule is checked here, not only in the menu.
    const CommandState rule = Query(id);
    if (!rule.handled || !rule.enabled)
        return false;

    if (const SwitchCommand* command = FindSwitch(id)) {
        const int32_t now = command->modulo2 ? options_.FlipModulo2AndWrite(command->option)
                                             : options_.ToggleAndWrite(command->option);
        // Motion blur starts from the current image, not from old frames; the
        // other effects method holds nothing but old frames, so a change of
        // method while blurring starts it again too.
        const bool blurStarts = (id == kCmdMotionBlur && now != 0) ||
                                (id == kCmdFastEffects && options_.Switches().useMotionBlower != 0);
        if (blurStarts && frames_)
            frames_->ResetFrameCounter();
        return true;
    }

    refused_ = false;
    Figure& figure = doc_.FirstFigure();
    switch (id) {
    case kCmdFrontView:
        SetPresetView(0.0f, kFrontAzimuth);
        break;
    case kCmdRightView:
        SetPresetView(0.0f, 0.0f);
        break;
    case kCmdTopView:
        SetPresetView(kTopElevation, kTopAzimuth);
        break;
    case kCmdFitModel:
        FrameModel();
        break;
    case kCmdFlipPolygons:
        doc_.FlipAllPolygons();
        break;
    case kCmdFitSkeleton:
        refused_ = !FitFigureToModel(doc_, true).fitted;
        break;
    case kCmdResetNodes:
        ResetAllNodeMotion(doc_.pools);
        break;
    case kCmdSkeletonEdit:
        // Leaving the mode keeps the fitted pose as the rest pose; entering it
        // starts from the rest pose the mesh is bound to.
        if (state_.skeletonEditMode)
            CommitPoseAndRebind(figure, true);
        else
            ResetFigurePose(figure, true);
        state_.skeletonEditMode = !state_.skeletonEditMode;
        break;
    case kCmdMirrorFromLeft:
    case kCmdMirrorFromRight:
        MirrorPose(figure, id == kCmdMirrorFromLeft);
        CommitPoseAndRebind(figure, true);
        break;
    case kCmdGroupBinding:
        state_.groupBinding = !state_.groupBinding;
        CommitPoseAndRebind(figure, false);
        break;
    case kCmdMergeNodes:
        doc_.MergeSelectedNodes();
        break;
    case kCmdLinkNodes:
    case kCmdLinkNodesZeroLength:
        doc_.LinkSelectedNodes(id == kCmdLinkNodesZeroLength);
        break;
    case kCmdUnlinkNodes:
        doc_.UnlinkSelectedNodes();
        break;
    case kCmdAddNode:
        if (AllocNode(doc_.pools) != kNoIndex) // a full pool simply adds nothing
            doc_.MarkModified();
        break;
    case kCmdAddFigure:
        doc_.AddFigure();
        break;
    case kCmdAddSheet:
        doc_.AddSheet(true);
        break;
    default:
        return false;
    }
    return true;
}

bool CBodyView::FrameModel()
{
    if (!FrameMesh(doc_, state_, projection_ ? projection_->Aspect() : 4.0 / 3.0))
        return false;
    motion_ = CameraMotion{};  // a glide would carry the view off the framing
    return true;
}

void CBodyView::SetPresetView(float elevation, float azimuth)
{
    // Target and distance stay; only the turning stops.
    state_.cameraElevation = elevation;
    state_.cameraTwist = 0.0f;
    state_.cameraAzimuth = azimuth;
    motion_.elevationRate = 0.0f;
    motion_.twistRate = 0.0f;
    motion_.azimuthRate = 0.0f;
}

} // namespace qm
