#pragma once

#include "view/Commands.h"

// The main window's menus, as data: labels exactly as the user sees them.
namespace qm::menus {

enum class ItemKind { Command, Check, Separator, RecentFiles };

struct MenuItem {
    ItemKind kind;
    int id;
    const char* label;  // "\t" separates the label from its shortcut text
};

struct Menu {
    const char* title;
    const MenuItem* items;
    int count;
};

inline constexpr MenuItem kSeparator{ItemKind::Separator, 0, ""};

inline constexpr MenuItem kFileItems[] = {
    {ItemKind::Command, kCmdNewWindow, "Nouveau\tCtrl+N"},
    {ItemKind::Command, kCmdFileOpen, "Ouvrir...\tCtrl+O"},
    {ItemKind::Command, kCmdFileSave, "Enregistrer\tCtrl+S"},
    {ItemKind::Command, kCmdFileSaveAs, "Enregistrer &Sous..."},
    {ItemKind::Command, kCmdSaveImage, "Enregistrer l'image..."},
    kSeparator,
    {ItemKind::Command, kCmdImportRok, "Ouvrir un fichier ROK... ( Format de Hexagreat 3D )"},
    {ItemKind::Command, kCmdImportDxf, "Ouvrir un fichier DXF..."},
    {ItemKind::Command, kCmdExportDxf, "Enregistrer en format DXF..."},
    {ItemKind::Command, kCmdImportModel, "Importer un modèle..."},
    {ItemKind::Command, kCmdExportModel, "Exporter le modèle..."},
    kSeparator,
    {ItemKind::RecentFiles, kCmdRecentFirst, "Fichier récent"},
    kSeparator,
    {ItemKind::Command, kCmdExit, "Quitter"},
};

inline constexpr MenuItem kViewItems[] = {
    {ItemKind::Check, kCmdCameraTrace, "Centrer la vue"},
    kSeparator,
    {ItemKind::Check, kCmdDrawShadow, "Ombre projetée"},
    {ItemKind::Check, kCmdDrawGround, "Sol"},
    {ItemKind::Check, kCmdDrawCount, "Afficher Nbre de FPS, Polygones et Vertices"},
    kSeparator,
    {ItemKind::Check, kCmdMotionBlur, "Motion blur"},
    {ItemKind::Check, kCmdAntiAlias, "Anti-aliasing"},
    {ItemKind::Check, kCmdDepthOfField, "Profondeur de champ"},
    {ItemKind::Check, kCmdFastEffects, "Activer affichage rapide"},
    kSeparator,
    {ItemKind::Check, kCmdFlatShade, "Pas de lissage sur les polygones"},
    {ItemKind::Check, kCmdAnimeShade, "Ombrage Manga"},
    {ItemKind::Check, kCmdCartoonEdge, "Rendu Cartoon"},
    kSeparator,
    {ItemKind::Command, kCmdFrontView, "Vue de face"},
    {ItemKind::Command, kCmdRightView, "Vue de droite"},
    {ItemKind::Command, kCmdTopView, "Vue de dessus"},
    {ItemKind::Command, kCmdFitModel, "Cadrer le modèle\tF"},
    kSeparator,
    {ItemKind::Check, kCmdDoublePlane, "Eclairage traversant"},
    {ItemKind::Command, kCmdFlipPolygons, "Eclairage Inversé"},
    kSeparator,
    {ItemKind::Check, kCmdShowSkeleton, "Afficher le squelette"},
};

// The skeleton and node commands, which have no place in the other menus.
inline constexpr MenuItem kSkeletonItems[] = {
    {ItemKind::Check, kCmdSkeletonEdit, "Mode édition du squelette"},
    {ItemKind::Command, kCmdFitSkeleton, "Ajuster le squelette au modèle"},
    {ItemKind::Command, kCmdMirrorFromLeft, "Symétrie : côté gauche vers côté droit"},
    {ItemKind::Command, kCmdMirrorFromRight, "Symétrie : côté droit vers côté gauche"},
    {ItemKind::Check, kCmdMirrorEdit, "Miroir"},
    {ItemKind::Check, kCmdGroupBinding, "Lier les vertices par groupe"},
    {ItemKind::Command, kCmdResetNodes, "Replacer les points au repos\tC"},
    kSeparator,
    {ItemKind::Command, kCmdMergeNodes, "Fusionner les points sélectionnés"},
    {ItemKind::Command, kCmdLinkNodes, "Relier les deux points sélectionnés"},
    {ItemKind::Command, kCmdLinkNodesZeroLength, "Relier les deux points sans longueur"},
    {ItemKind::Command, kCmdUnlinkNodes, "Délier les deux points sélectionnés"},
    kSeparator,
    {ItemKind::Command, kCmdAddNode, "Ajouter un point"},
    {ItemKind::Command, kCmdAddFigure, "Ajouter un personnage"},
    {ItemKind::Command, kCmdAddSheet, "Ajouter une grille de points"},
};

inline constexpr MenuItem kHelpItems[] = {
    {ItemKind::Command, kCmdWebSite, "Site de l'auteur..."},
    {ItemKind::Command, kCmdShortcuts, "Raccourcis clavier..."},
    kSeparator,
    {ItemKind::Command, kCmdAbout, "A propos de Quillomark..."},
};

template <int N> constexpr Menu MakeMenu(const char* title, const MenuItem (&items)[N])
{
    return Menu{title, items, N};
}

inline constexpr Menu kMenus[] = {
    MakeMenu("Fichier", kFileItems),
    MakeMenu("Affichage", kViewItems),
    MakeMenu("Squelette", kSkeletonItems),
    MakeMenu("Aide", kHelpItems),
};

} // namespace qm::menus
