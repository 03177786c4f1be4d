#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "render/MeshDrawing.h"
#include "platform/GlSurface.h"
#include "platform/Messages.h"
#include "render/AnimeShading.h"
#include "resources/Strings.h"
#include "render/FrameMemory.h"
#include "render/OverlayText.h"
#include "scene/BodyDoc.h"
#include "view/BodyView.h"
#include "view/ViewOptions.h"

namespace qm {

constexpr int kMaxPasses = 8;
constexpr int kTickRing = 20;

// Sub-pixel offsets of the eight accumulation passes.
extern const std::array<std::array<float, 2>, kMaxPasses> kJitterTable;

// The camera eye for the view's angles, distance and target.
Vec3 CameraEyeFor(const SceneViewState& view);

// Draws the camera target towards p by twice min(|p - target|, 20) percent.
void CameraTraceStep(Vec3& target, const Vec3& p);

// What one frame hands to the overlay.
struct FrameStats {
    int polygons = 0;
    int vertices = 0;
    bool hasFps = false;
    double fps = 0.0;
};

// The drawing side of the view: GL state and textures, the orbit camera and
// its jittered projections, the frame pipeline and the overlay. It needs a
// surface that can be made current; everything it draws comes from the
// document, the view's options and the view's camera and light state.
class FrameRenderer : public ScreenProjection {
public:
    FrameRenderer(GlSurface& surface, Clock& clock, MessageSink& messages, CBodyDoc& doc, const ViewOptions& options,
                  SceneViewState& view);
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Makes the surface current and sets the fixed GL state and the capture
    // texture names. False (the user told) when no GL context can be had.
    bool InitGL();
    // A new client size; zero sizes (a minimised window) are ignored.
    void OnSize(int width, int height);

    enum class FrameResult { Drawn, Skipped, NoContext, OutOfMemory };
    FrameResult RenderFrame();
    // Draws a frame and returns its finished picture as it stands before the
    // overlay (the counts and the selection rectangle): 8-bit RGB rows of the
    // client size, top row first. Empty when no frame could be drawn.
    std::vector<uint8_t> RenderFrameToRgb();

    // The overlay's lines in the user's language (see strings::kOverlayCounts);
    // a wording whose letters the overlay's font lacks leaves the program's own.
    void SetOverlayWords(const std::string& counts, const std::string& rate);

    // The selection rectangle drawn over the following frames, in pointer
    // units; null for none.
    void SetSelectionRect(const ScreenRect* rect);
    // What the overlay shows in the middle of the view while the scene has no
    // mesh; an empty picture for nothing.
    void SetStartHint(OverlayPicture hint) { startHint_ = std::move(hint); }

    void SetupCamera(bool shadow, bool noScale, int pass);
    void JitteredFrustum(double left, double right, double bottom, double top, double zNear, double zFar,
                         double pixdx, double pixdy, double eyedx, double eyedy, double focus);
    void JitteredPerspective(double fovy, double aspect, double zNear, double zFar, double pixdx, double pixdy,
                             double eyedx, double eyedy, double focus);

    // Scene point to window (x, y pointer units from the top, depth), and
    // back, with the matrices the last frame left.
    Vec3 ProjectPoint(const Vec3& p) const override;
    Vec3 UnprojectPoint(const Vec3& w) const override;
    double Aspect() const override;

    // The outline width in scene units, kept by the animation step.
    void SetEdgeWidthInWorld(float width) { edgeWidthWorld_ = width; }
    float EdgeWidthInWorld() const { return edgeWidthWorld_; }

    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    int TextureWidth() const { return textureWidth_; }
    int TextureHeight() const { return textureHeight_; }
    bool NeedsReinit() const { return reinit_; }
    bool TexturesAllocated() const { return texturesAllocated_; }
    // With the texture copies, texture k holds pass k of the last frame, and
    // texture 1 the motion-blur result when blur is on.
    const std::array<unsigned, kCaptureTextures>& CaptureTextures() const { return captureTextures_; }
    uint32_t FrameCounter() const { return frameCounter_; }
    // Motion blur restarts from the current image when switched on.
    void ResetFrameCounter() { frameCounter_ = 0; }
    const FrameStats& LastStats() const { return stats_; }

private:
    void LoadBaseProjection();
    void SetLightAndMaterial();
    void DrawPass(int pass);
    void StampFrame();
    void DrawOverlay();
    // Overlay pixels per pointer unit, whole.
    int PointZoom() const;
    void ReadPicture();

    GlSurface& surface_;
    Clock& clock_;
    MessageSink& messages_;
    CBodyDoc& doc_;
    const ViewOptions& options_;
    SceneViewState& view_;
    std::string overlayCounts_ = strings::kOverlayCounts, overlayRate_ = strings::kOverlayRate;

    MeshArrays meshArrays_;
    bool reinit_ = true;
    bool contextReady_ = false;
    bool outOfMemoryTold_ = false;
    int clientWidth_ = 0, clientHeight_ = 0;
    int textureWidth_ = 0, textureHeight_ = 0;
    std::array<unsigned, kCaptureTextures> captureTextures_{};
    bool texturesAllocated_ = false;
    float edgeWidthWorld_ = 0.0f;
    BandColourTable bandColours_{};
    std::optional<ScreenRect> selectionRect_;
    OverlayPicture startHint_;
    bool capture_ = false;
    std::vector<uint8_t> picture_;  // the frame asked for by RenderFrameToRgb

    uint32_t frameCounter_ = 0;
    std::array<uint32_t, kTickRing> tickRing_{};
    FrameStats stats_;
};

} // namespace qm
