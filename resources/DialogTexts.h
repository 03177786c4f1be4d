#pragma once

#include "resources/Translatable.h"

// Texts of the about box, the keyboard-shortcut sheet, the file dialogs and
// the empty view, marked for the catalogs.
namespace qm::dialogs {

inline constexpr const char kAboutTitle[] = QM_TEXT("A propos de Quillomark");
inline constexpr const char kAboutName[] = QM_TEXT("Quillomark version 1.33 FR");
inline constexpr const char kAboutNotice[] = QM_TEXT("Visionneuse de personnages 3D. Logiciel libre de l'équipe Quillomark.");
inline constexpr const char kProjectPage[] = "https://quillomark.example.org/";

inline constexpr const char kOk[] = QM_TEXT("OK");

inline constexpr const char kShortcutsTitle[] = QM_TEXT("Raccourcis clavier");

struct Shortcut {
    const char* keys;
    const char* action;
};

inline constexpr Shortcut kShortcuts[] = {
    {QM_TEXT("Flèches clavier"), QM_TEXT("Déplacer la Caméra.")},
    {QM_TEXT("Shift + PageUp/PageDown PageUp/PageDown"), QM_TEXT("Déplacer la Caméra en Haut ou en Bas. Zoom + ou -")},
    {QM_TEXT("Clique-gauche Souris"), QM_TEXT("Déplacer l'objet 3D.")},
    {QM_TEXT("Clique-gauche sur une articulation (édition du squelette)"),
     QM_TEXT("Déplacer l'articulation seule, avec les autres articulations sélectionnées.")},
    {QM_TEXT("Squelette > Miroir"), QM_TEXT("L'articulation symétrique suit, en miroir.")},
    {QM_TEXT("Shift + Flèches clavier."), QM_TEXT("Déplacer la Caméra latéralement ou d'avant en arrière.")},
    {QM_TEXT("Ctrl + Souris."), QM_TEXT("Agrandir ou Rétrécir l'objet 3D.")},
    {QM_TEXT("Ctrl + Flèches clavier."), QM_TEXT("Déplacer la lumière.")},
    {QM_TEXT("Molette Souris"), QM_TEXT("Zoom + ou -")},
    {QM_TEXT("Clique-droit Souris"), QM_TEXT("Tourner la Caméra autour de l'objet 3D.")},
    {QM_TEXT("Clique-milieu Souris, Shift + Clique-droit"), QM_TEXT("Déplacer la Caméra latéralement ou en Haut et en Bas.")},
    {"F", QM_TEXT("Cadrer le modèle.")},
};

// File dialogs: wildcard in the toolkit's "label|pattern|label|pattern" form.
inline constexpr const char kSceneWildcard[] = QM_TEXT("Quillomark Files (*.abd)") "|*.abd;*.ABD|" QM_TEXT("Tous Fich.(*.*) ") "|*";
inline constexpr const char kDxfWildcard[] = "dxf (*.dxf)     |*.dxf;*.DXF|" QM_TEXT("Tous Fich.(*.*) ") "|*";
inline constexpr const char kRokWildcard[] = "rok (*.rok)     |*.rok;*.ROK|" QM_TEXT("Tous Fich.(*.*) ") "|*";
inline constexpr const char kPngWildcard[] = "png (*.png)     |*.png;*.PNG|" QM_TEXT("Tous Fich.(*.*) ") "|*";
inline constexpr const char kDefaultDxfName[] = "default.dxf";
// The model dialogs list the formats' patterns after this label.
inline constexpr const char kModelFilesLabel[] = QM_TEXT("Modèles 3D");
inline constexpr const char kAllFilesFilter[] = "|" QM_TEXT("Tous Fich.(*.*) ") "|*";
inline constexpr const char kImportModelTitle[] = QM_TEXT("Importer un modèle");
inline constexpr const char kExportModelTitle[] = QM_TEXT("Exporter le modèle");

inline constexpr const char kOpenTitle[] = QM_TEXT("Ouvrir");
inline constexpr const char kSaveAsTitle[] = QM_TEXT("Enregistrer Sous");
inline constexpr const char kSaveImageTitle[] = QM_TEXT("Enregistrer l'image");

inline constexpr const char kWindowTitle[] = "Quillomark";
// A scene that has no file yet.
inline constexpr const char kUntitled[] = QM_TEXT("Default");

// Shown in the middle of the view while the scene has no mesh; one line of
// the view for each line here.
inline constexpr const char kStartHint[] = QM_TEXT(
    "Pour commencer :\nFichier > Ouvrir... une scène\nFichier > Importer un modèle...\nou déposez un fichier ici");

} // namespace qm::dialogs
