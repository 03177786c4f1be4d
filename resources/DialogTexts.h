#pragma once

// Texts of the about box, the keyboard-shortcut sheet, the file dialogs and
// the empty view.
namespace qm::dialogs {

inline constexpr const char kAboutTitle[] = "A propos de Quillomark";
inline constexpr const char kAboutName[] = "Quillomark version 1.33 FR";
inline constexpr const char kAboutNotice[] = "Visionneuse de personnages 3D. Logiciel libre de l'équipe Quillomark.";
inline constexpr const char kProjectPage[] = "https://quillomark.example.org/";

inline constexpr const char kShortcutsTitle[] = "Raccourcis clavier";

struct Shortcut {
    const char* keys;
    const char* action;
};

inline constexpr Shortcut kShortcuts[] = {
    {"Flèches clavier", "Déplacer la Caméra."},
    {"Shift + PageUp/PageDown PageUp/PageDown", "Déplacer la Caméra en Haut ou en Bas. Zoom + ou -"},
    {"Clique-gauche Souris", "Déplacer l'objet 3D."},
    {"Shift + Flèches clavier.", "Déplacer la Caméra latéralement ou d'avant en arrière."},
    {"Ctrl + Souris.", "Agrandir ou Rétrécir l'objet 3D."},
    {"Ctrl + Flèches clavier.", "Déplacer la lumière."},
    {"Molette Souris", "Zoom + ou -"},
    {"Clique-droit Souris", "Tourner la Caméra autour de l'objet 3D."},
    {"Clique-milieu Souris, Shift + Clique-droit", "Déplacer la Caméra latéralement ou en Haut et en Bas."},
    {"F", "Cadrer le modèle."},
};

// File dialogs: wildcard in the toolkit's "label|pattern|label|pattern" form.
inline constexpr const char kSceneWildcard[] = "Quillomark Files (*.abd)|*.abd;*.ABD|Tous Fich.(*.*) |*";
inline constexpr const char kDxfWildcard[] = "dxf (*.dxf)     |*.dxf;*.DXF|Tous Fich.(*.*) |*";
inline constexpr const char kRokWildcard[] = "rok (*.rok)     |*.rok;*.ROK|Tous Fich.(*.*) |*";
inline constexpr const char kPngWildcard[] = "png (*.png)     |*.png;*.PNG|Tous Fich.(*.*) |*";
inline constexpr const char kDefaultDxfName[] = "default.dxf";
// The model dialogs list the formats' patterns after this label.
inline constexpr const char kModelFilesLabel[] = "Modèles 3D";
inline constexpr const char kAllFilesFilter[] = "|Tous Fich.(*.*) |*";
inline constexpr const char kImportModelTitle[] = "Importer un modèle";
inline constexpr const char kExportModelTitle[] = "Exporter le modèle";

inline constexpr const char kWindowTitle[] = "Quillomark";

// Shown in the middle of the view while the scene has no mesh; one line of
// the view for each line here.
inline constexpr const char kStartHint[] =
    "Pour commencer :\nFichier > Ouvrir... une scène\nFichier > Importer un modèle...\nou déposez un fichier ici";

} // namespace qm::dialogs
