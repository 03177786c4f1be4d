#pragma once

#include <cstdint>
#include <vector>

#include "render/FrameRenderer.h"
#include "view/ViewOptions.h"

namespace qm {

// How this frame's effects are made: motion blur, the eight jittered passes of
// anti-aliasing and depth of field, and which of the two methods averages them.
struct EffectPlan {
    bool motionBlur = false;
    bool multiPass = false; // anti-aliasing or depth of field
    bool textures = false;  // capture textures and blended quads instead of the accumulation buffer

    int Passes() const { return multiPass ? kMaxPasses : 1; }
    bool Any() const { return motionBlur || multiPass; }
    // The frame empties the accumulation buffer before eight passes add to it.
    bool ClearsAccumBuffer() const { return multiPass && !textures; }
};

// Without an accumulation buffer the effects would be on in the menu and
// missing from the image: the texture copies stand in.
EffectPlan PlanEffects(const ViewSwitches& switches, bool hasAccumBuffer);

// Everything the effects read of one frame.
struct EffectFrame {
    EffectPlan plan;
    const unsigned* textures; // the eight capture texture names, by pass
    int clientWidth, clientHeight;
    int textureWidth, textureHeight;
    uint32_t framesShown; // frames presented since start-up or since motion blur was switched on
    float backColour[3];  // the clear colour, put back after clearing to black
};

// After pass `pass` is drawn and finished: add it to the accumulation buffer at
// one eighth, or copy it into its capture texture, giving the textures storage
// first if they have none (after start-up and after every resize).
void EffectPassStep(const EffectFrame& frame, int pass, bool& texturesAllocated);

// After the last pass: leaves the mean of the passes, blurred with the
// previous result when motion blur is on, in the colour buffer.
void EffectResolveStep(const EffectFrame& frame);

// The lower-left width x height texels of a capture texture as RGB rows, top
// row first like a read-back frame: what the texture copies kept of a pass.
std::vector<uint8_t> ReadCaptureTexture(unsigned texture, int width, int height);

} // namespace qm
