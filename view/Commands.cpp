#include "view/Commands.h"

#include <algorithm>
#include <iterator>

namespace qm {

bool IsKnownCommand(int id)
{
    static constexpr int kIds[] = {
        kCmdNewWindow, kCmdNewDocument, kCmdFileOpen, kCmdFileSave, kCmdFileSaveAs, kCmdImportDxf, kCmdImportRok,
        kCmdExportDxf, kCmdExit, kCmdCameraTrace, kCmdDrawShadow, kCmdDrawGround, kCmdDrawCount, kCmdMotionBlur,
        kCmdAntiAlias, kCmdDepthOfField, kCmdFastEffects, kCmdFlatShade, kCmdAnimeShade, kCmdCartoonEdge,
        kCmdFrontView, kCmdRightView, kCmdTopView, kCmdDoublePlane, kCmdFlipPolygons, kCmdWebSite, kCmdShortcuts,
        kCmdAbout, kCmdResetNodes, kCmdSkeletonEdit, kCmdMirrorFromLeft, kCmdMirrorFromRight, kCmdGroupBinding,
        kCmdMergeNodes, kCmdLinkNodes, kCmdLinkNodesZeroLength, kCmdUnlinkNodes, kCmdAddNode, kCmdAddFigure,
        kCmdAddSheet, kCmdFitSkeleton, kCmdMirrorEdit, kCmdShowSkeleton, kCmdFitModel, kCmdSaveImage, kCmdImportModel,
        kCmdExportModel,
    };
    constexpr int kRecentFiles = 9;
    if (id >= kCmdRecentFirst && id < kCmdRecentFirst + kRecentFiles)
        return true;
    return std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds);
}

} // namespace qm
