#pragma once

namespace qm {

// Command ids, as the menus, accelerators and --command use them.
enum CommandId : int {
    // Fichier
    kCmdNewWindow = 32810,    // starts another copy of the program
    kCmdNewDocument = 57600,  // Ctrl+N: resets the scene in this window
    kCmdFileOpen = 57601,
    kCmdFileSave = 57603,
    kCmdFileSaveAs = 57604,
    kCmdImportDxf = 32812,
    kCmdImportRok = 32814,
    kCmdExportDxf = 32844,
    kCmdSaveImage = 32863,   // the current frame as a PNG picture
    kCmdImportModel = 32860,  // the common model formats
    kCmdExportModel = 32861,
    kCmdRecentFirst = 57616,  // "Fichier récent" entries 57616..57624
    kCmdExit = 57665,
    // Affichage
    kCmdCameraTrace = 32828,
    kCmdDrawShadow = 32815,
    kCmdDrawGround = 32830,
    kCmdDrawCount = 32835,
    kCmdMotionBlur = 32829,
    kCmdAntiAlias = 32833,
    kCmdDepthOfField = 32834,
    kCmdFastEffects = 32848,
    kCmdFlatShade = 32836,
    kCmdAnimeShade = 32800,
    kCmdCartoonEdge = 32799,
    kCmdFrontView = 32816,
    kCmdRightView = 32817,
    kCmdTopView = 32818,
    kCmdFitModel = 32862,    // F: the whole mesh in the window
    kCmdDoublePlane = 32838,
    kCmdShowSkeleton = 32850,
    kCmdFlipPolygons = 32837,
    // Aide
    kCmdWebSite = 57666,
    kCmdShortcuts = 32788,
    kCmdAbout = 57664,
    // Skeleton and node editing
    kCmdResetNodes = 32804,
    kCmdSkeletonEdit = 32813,
    kCmdMirrorFromLeft = 32819,
    kCmdMirrorFromRight = 32820,
    kCmdGroupBinding = 32821,
    kCmdMergeNodes = 32839,
    kCmdLinkNodes = 32840,
    kCmdLinkNodesZeroLength = 32842,
    kCmdUnlinkNodes = 32841,
    kCmdAddNode = 32843,
    kCmdAddFigure = 32845,
    kCmdAddSheet = 32849,
    kCmdFitSkeleton = 32864,  // the figure fitted to the model's skeleton or shape
    kCmdMirrorEdit = 32865,   // "Miroir": a dragged joint's mirror partner follows
};

// Whether some part of the program (the view or the desktop) has a command
// with this id.
bool IsKnownCommand(int id);

// What an update rule says of a command: whether the view handles it at all,
// whether it may run now, and its check mark.
struct CommandState {
    bool handled = false;
    bool enabled = false;
    bool checked = false;
};

} // namespace qm
