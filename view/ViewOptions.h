#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Settings.h"

namespace qm {

// The display switches, named by their settings keys in section "View":
// 0 is off, anything else on.
struct ViewSwitches {
    int32_t useEdge;         // cartoon outline around the mesh
    int32_t useAntiEdge;     // anti-aliasing by jittered accumulation passes
    int32_t useDepth;        // depth of field by accumulation, focused at the camera distance
    int32_t animeShade;      // banded anime shading, specular off
    int32_t drawShadow;      // projected shadow of the mesh
    int32_t useCameraTrace;  // every frame draws the camera target towards the first figure's waist
    int32_t useMotionBlower; // motion blur by accumulation
    int32_t drawGround;      // chequered ground
    int32_t drawCount;       // statistics and frame-rate overlay
    int32_t useFlatShade;    // flat shading, no smoothing across polygons
    int32_t drawDoublePlane; // lighting of both faces of the polygons
    int32_t useFastBlower;   // the accumulation effects use the fast texture-copy method
    int32_t showSkeleton;    // nodes and links drawn over the mesh in skeleton edit mode
    int32_t mirrorEdit;      // a joint dragged in skeleton edit mode carries its mirror partner along
};

// One switch, as the command table names it: &ViewSwitches::drawShadow.
using ViewSwitch = int32_t ViewSwitches::*;

// Colours, light and edge parameters, named by their settings keys. The user
// edits them in the settings file; the program never changes them.
struct ViewParameters {
    float backColorR, backColorG, backColorB;          // background colour
    float groundColor1R, groundColor1G, groundColor1B; // first set of ground tiles
    float groundColor2R, groundColor2G, groundColor2B; // second set of ground tiles
    float groundScale;                                 // size of the ground tiles
    float diffuseR, diffuseG, diffuseB;                // diffuse colour of the light
    float ambientR, ambientG, ambientB;                // ambient colour of the light
    float specularR, specularG, specularB;             // specular colour of the light
    float shininess;                                   // specular exponent of the material
    float edgeWidth;                                   // outline width per unit of eye-to-target distance
    // Brightness factors of the four anime shading bands, darkest first.
    float animeShadeBright1, animeShadeBright2, animeShadeBright3, animeShadeBright4;
};

// Light-intensity limits between the four anime shading bands. Loaded with the
// view's options, but the band splitter is handed these alone: it needs
// nothing else of the view.
struct AnimeShadeThresholds {
    float animeShadeThreshold1, animeShadeThreshold2, animeShadeThreshold3;
};

// The view's options that live in the settings file. Construction loads them;
// each numeric one is written back at once in its normal form ("%g"), so that
// the file always lists them for the user to edit. A switch is written only
// when a command changes it.
class ViewOptions {
public:
    // Keeps settings for the switch commands; it must outlive the options.
    explicit ViewOptions(SettingsStore& settings);
    ViewOptions(const ViewOptions&) = delete;
    ViewOptions& operator=(const ViewOptions&) = delete;

    // The settings section of an option's key ("View", "Color" or "Light"),
    // matched without regard to case; null when no option has that key.
    static const char* SectionOf(std::string_view key);

    const ViewSwitches& Switches() const { return switches_; }
    const ViewParameters& Parameters() const { return parameters_; }
    const AnimeShadeThresholds& Thresholds() const { return thresholds_; }

    // The two switch operations of the command table; each writes the new
    // value to the settings file at once and returns it.
    // 0 becomes 1, anything else 0.
    int32_t ToggleAndWrite(ViewSwitch option);
    // (value + 1) modulo 2, the remainder taking the sign of value + 1: a
    // stray 2 in the file turns into 1, on.
    int32_t FlipModulo2AndWrite(ViewSwitch option);

private:
    void WriteSwitch(ViewSwitch option);

    SettingsStore& settings_;
    ViewSwitches switches_{};
    ViewParameters parameters_{};
    AnimeShadeThresholds thresholds_{};
};

} // namespace qm
