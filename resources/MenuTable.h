#pragma once

#include "resources/Translatable.h"
#include "view/Commands.h"

// The main window's menus, as data: labels exactly as the user sees them in
// the program's own language, each marked for the catalogs without its shortcut.
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
    {ItemKind::Command, kCmdNewWindow, QM_TEXT("Nouveau") "\tCtrl+N"},
    {ItemKind::Command, kCmdFileOpen, QM_TEXT("Ouvrir...") "\tCtrl+O"},
    {ItemKind::Command, kCmdFileSave, QM_TEXT("Enregistrer") "\tCtrl+S"},
    {ItemKind::Command, kCmdFileSaveAs, QM_TEXT("Enregistrer &Sous...")},
    {ItemKind::Command, kCmdSaveImage, QM_TEXT("Enregistrer l'image...")},
    kSeparator,
    {ItemKind::Command, kCmdImportRok, QM_TEXT("Ouvrir un fichier ROK... ( Format de Hexagreat 3D )")},
    {ItemKind::Command, kCmdImportDxf, QM_TEXT("Ouvrir un fichier DXF...")},
    {ItemKind::Command, kCmdExportDxf, QM_TEXT("Enregistrer en format DXF...")},
    {ItemKind::Command, kCmdImportModel, QM_TEXT("Importer un modèle...")},
    {ItemKind::Command, kCmdExportModel, QM_TEXT("Exporter le modèle...")},
    kSeparator,
    {ItemKind::RecentFiles, kCmdRecentFirst, QM_TEXT("Fichier récent")},
    kSeparator,
    {ItemKind::Command, kCmdExit, QM_TEXT("Quitter")},
};

inline constexpr MenuItem kViewItems[] = {
    {ItemKind::Check, kCmdCameraTrace, QM_TEXT("Centrer la vue")},
    kSeparator,
    {ItemKind::Check, kCmdDrawShadow, QM_TEXT("Ombre projetée")},
    {ItemKind::Check, kCmdDrawGround, QM_TEXT("Sol")},
    {ItemKind::Check, kCmdDrawCount, QM_TEXT("Afficher Nbre de FPS, Polygones et Vertices")},
    kSeparator,
    {ItemKind::Check, kCmdMotionBlur, QM_TEXT("Motion blur")},
    {ItemKind::Check, kCmdAntiAlias, QM_TEXT("Anti-aliasing")},
    {ItemKind::Check, kCmdDepthOfField, QM_TEXT("Profondeur de champ")},
    {ItemKind::Check, kCmdFastEffects, QM_TEXT("Activer affichage rapide")},
    kSeparator,
    {ItemKind::Check, kCmdFlatShade, QM_TEXT("Pas de lissage sur les polygones")},
    {ItemKind::Check, kCmdAnimeShade, QM_TEXT("Ombrage Manga")},
    {ItemKind::Check, kCmdCartoonEdge, QM_TEXT("Rendu Cartoon")},
    kSeparator,
    {ItemKind::Command, kCmdFrontView, QM_TEXT("Vue de face")},
    {ItemKind::Command, kCmdRightView, QM_TEXT("Vue de droite")},
    {ItemKind::Command, kCmdTopView, QM_TEXT("Vue de dessus")},
    {ItemKind::Command, kCmdFitModel, QM_TEXT("Cadrer le modèle") "\tF"},
    kSeparator,
    {ItemKind::Check, kCmdDoublePlane, QM_TEXT("Eclairage traversant")},
    {ItemKind::Command, kCmdFlipPolygons, QM_TEXT("Eclairage Inversé")},
    kSeparator,
    {ItemKind::Check, kCmdShowSkeleton, QM_TEXT("Afficher le squelette")},
};

// The skeleton and node commands, which have no place in the other menus.
inline constexpr MenuItem kSkeletonItems[] = {
    {ItemKind::Check, kCmdSkeletonEdit, QM_TEXT("Mode édition du squelette")},
    {ItemKind::Command, kCmdFitSkeleton, QM_TEXT("Ajuster le squelette au modèle")},
    {ItemKind::Command, kCmdMirrorFromLeft, QM_TEXT("Symétrie : côté gauche vers côté droit")},
    {ItemKind::Command, kCmdMirrorFromRight, QM_TEXT("Symétrie : côté droit vers côté gauche")},
    {ItemKind::Check, kCmdMirrorEdit, QM_TEXT("Miroir")},
    {ItemKind::Check, kCmdGroupBinding, QM_TEXT("Lier les vertices par groupe")},
    {ItemKind::Command, kCmdResetNodes, QM_TEXT("Replacer les points au repos") "\tC"},
    kSeparator,
    {ItemKind::Command, kCmdMergeNodes, QM_TEXT("Fusionner les points sélectionnés")},
    {ItemKind::Command, kCmdLinkNodes, QM_TEXT("Relier les deux points sélectionnés")},
    {ItemKind::Command, kCmdLinkNodesZeroLength, QM_TEXT("Relier les deux points sans longueur")},
    {ItemKind::Command, kCmdUnlinkNodes, QM_TEXT("Délier les deux points sélectionnés")},
    kSeparator,
    {ItemKind::Command, kCmdAddNode, QM_TEXT("Ajouter un point")},
    {ItemKind::Command, kCmdAddFigure, QM_TEXT("Ajouter un personnage")},
    {ItemKind::Command, kCmdAddSheet, QM_TEXT("Ajouter une grille de points")},
};

inline constexpr MenuItem kHelpItems[] = {
    {ItemKind::Command, kCmdWebSite, QM_TEXT("Site de l'auteur...")},
    {ItemKind::Command, kCmdShortcuts, QM_TEXT("Raccourcis clavier...")},
    kSeparator,
    {ItemKind::Command, kCmdAbout, QM_TEXT("A propos de Quillomark...")},
};

template <int N> constexpr Menu MakeMenu(const char* title, const MenuItem (&items)[N])
{
    return Menu{title, items, N};
}

inline constexpr Menu kMenus[] = {
    MakeMenu(QM_TEXT("Fichier"), kFileItems),
    MakeMenu(QM_TEXT("Affichage"), kViewItems),
    MakeMenu(QM_TEXT("Squelette"), kSkeletonItems),
    MakeMenu(QM_TEXT("Aide"), kHelpItems),
};

} // namespace qm::menus
