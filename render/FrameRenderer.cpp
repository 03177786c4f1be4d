#include "render/FrameRenderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/Effects.h"
#include "render/GroundShadow.h"
#include "render/MeshDrawing.h"
#include "render/Outline.h"
#include "render/OverlayText.h"
#include "render/SkeletonDrawing.h"
#include "resources/Strings.h"
#include "view/Animation.h"
#include "view/Framing.h"

namespace qm {

const std::array<std::array<float, 2>, kMaxPasses> kJitterTable = {{
    {0.5625f, 0.4375f}, {0.0625f, 0.9375f}, {0.3125f, 0.6875f}, {0.6875f, 0.8125f},
    {0.8125f, 0.1875f}, {0.9375f, 0.5625f}, {0.4375f, 0.0625f}, {0.1875f, 0.3125f},
}};

namespace {

constexpr double kNear = 0.1;
constexpr double kFar = 400.0;

} // namespace

void FrameRenderer::SetOverlayWords(const std::string& counts, const std::string& rate)
{
    const auto drawable = [](const std::string& text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '%' || OverlayFontHas(c); });
    };
    if (drawable(counts) && drawable(rate)) {
        overlayCounts_ = counts;
        overlayRate_ = rate;
    }
}

Vec3 CameraEyeFor(const SceneViewState& view)
{
    const double az = view.cameraAzimuth, el = view.cameraElevation, d = view.cameraDistance;
    const Vec3& t = view.cameraTarget;
    return Vec3::FromDouble(t.x + d * std::cos(az) * std::cos(el), t.y + d * std::sin(az) * std::cos(el),
                            t.z + d * std::sin(el));
}

void CameraTraceStep(Vec3& target, const Vec3& p)
{
    const Vec3 d = p - target;
    const double k = std::min(d.Length(), 20.0) * 0.01;
    target += d * k;
    target += d * k;
}

FrameRenderer::FrameRenderer(GlSurface& surface, Clock& clock, MessageSink& messages, CBodyDoc& doc,
                             const ViewOptions& options, SceneViewState& view)
    : surface_(surface), clock_(clock), messages_(messages), doc_(doc), options_(options), view_(view)
{
    // The first frame may come before any animation step: give the outline
    // the width that step would.
    edgeWidthWorld_ = static_cast<float>(Distance(CameraEyeFor(view_), view_.cameraTarget) *
                                         options_.Parameters().edgeWidth);
    OnSize(surface_.Width(), surface_.Height());
}

bool FrameRenderer::InitGL()
{
    if (!surface_.MakeCurrent()) {
        messages_.ShowMessage(strings::kNoContext);
        contextReady_ = false;
        return false;
    }
    // The context outlives a resize here, so the old texture names go first.
    if (contextReady_)
        glDeleteTextures(kCaptureTextures, captureTextures_.data());
    contextReady_ = true;

    const ViewParameters& p = options_.Parameters();
    glClearColor(p.backColorR, p.backColorG, p.backColorB, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glDisable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glEnable(GL_DEPTH_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glViewport(0, 0, clientWidth_, clientHeight_);
    for (unsigned& name : captureTextures_) {
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
    glEnable(GL_TEXTURE_2D);
    texturesAllocated_ = false;
    return true;
}

void FrameRenderer::OnSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    clientWidth_ = width;
    clientHeight_ = height;
    if (contextReady_)
        glViewport(0, 0, width, height);
    reinit_ = true;
    textureWidth_ = TextureSizeFor(width);
    textureHeight_ = TextureSizeFor(height);
    texturesAllocated_ = false;
}

double FrameRenderer::Aspect() const
{
    return static_cast<double>(clientWidth_) / static_cast<double>(clientHeight_);
}

void FrameRenderer::LoadBaseProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, Aspect(), kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
}

void FrameRenderer::SetupCamera(bool shadow, bool noScale, int pass)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    view_.cameraEye = CameraEyeFor(view_);
    const Vec3& e = view_.cameraEye;
    const Vec3& t = view_.cameraTarget;
    gluLookAt(e.x, e.y, e.z, t.x, t.y, t.z, 0.0, 0.0, -1.0);
    if (!noScale)
        glScalef(view_.modelScale, view_.modelScale, view_.modelScale);
    if (shadow)
        glMultMatrixd(ShadowMatrix(view_.lightPosition, view_.modelScale).data());

    const ViewSwitches& sw = options_.Switches();
    const auto& jitter = kJitterTable[static_cast<size_t>(std::clamp(pass, 0, kMaxPasses - 1))];
    const double jx = jitter[0], jy = jitter[1], focus = view_.cameraDistance;
    if (sw.useAntiEdge && sw.useDepth)
        JitteredPerspective(kFieldOfViewDegrees, Aspect(), kNear, kFar, jx, jy, jx, jy, focus);
    else if (sw.useAntiEdge)
        JitteredPerspective(kFieldOfViewDegrees, Aspect(), kNear, kFar, jx, jy, 0, 0, 1.0);
    else if (sw.useDepth)
        JitteredPerspective(kFieldOfViewDegrees, Aspect(), kNear, kFar, 0, 0, jx, jy, focus);
}

void FrameRenderer::JitteredFrustum(double left, double right, double bottom, double top, double zNear, double zFar,
                                    double pixdx, double pixdy, double eyedx, double eyedy, double focus)
{
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double dx = -((right - left) * pixdx / viewport[2] + eyedx * zNear / focus);
    const double dy = -((top - bottom) * pixdy / viewport[3] + eyedy * zNear / focus);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(left + dx, right + dx, bottom + dy, top + dy, zNear, zFar);
    glTranslatef(static_cast<float>(-eyedx), static_cast<float>(-eyedy), 0.0f);
    glMatrixMode(GL_MODELVIEW);
}

void FrameRenderer::JitteredPerspective(double fovy, double aspect, double zNear, double zFar, double pixdx,
                                        double pixdy, double eyedx, double eyedy, double focus)
{
    const double half = fovy * 3.141593 * 0.0055555557f / 2.0;
    const double top = zNear / (std::cos(half) / std::sin(half));
    const double right = top * aspect;
    JitteredFrustum(-right, right, -top, top, zNear, zFar, pixdx, pixdy, eyedx, eyedy, focus);
}

namespace {

// The matrices and viewport as the last frame left them.
struct CurrentTransform {
    GLdouble model[16], projection[16];
    GLint viewport[4];
    CurrentTransform()
    {
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
    }
};

} // namespace

// In pointer units, as the mouse handlers get them; GL works in the surface's pixels.
Vec3 FrameRenderer::ProjectPoint(const Vec3& p) const
{
    const CurrentTransform t;
    GLdouble wx = 0, wy = 0, wz = 0;
    gluProject(p.x, p.y, p.z, t.model, t.projection, t.viewport, &wx, &wy, &wz);
    const double perPoint = surface_.PixelsPerPoint();
    return Vec3::FromDouble(wx / perPoint, (clientHeight_ - wy) / perPoint, wz);
}

Vec3 FrameRenderer::UnprojectPoint(const Vec3& w) const
{
    const CurrentTransform t;
    GLdouble x = 0, y = 0, z = 0;
    const double perPoint = surface_.PixelsPerPoint();
    gluUnProject(w.x * perPoint, clientHeight_ - w.y * perPoint, w.z, t.model, t.projection, t.viewport, &x, &y, &z);
    return Vec3::FromDouble(x, y, z);
}

void FrameRenderer::SetLightAndMaterial()
{
    const ViewParameters& p = options_.Parameters();
    const bool anime = options_.Switches().animeShade != 0;
    const GLfloat specular[4] = {anime ? 0.0f : p.specularR, anime ? 0.0f : p.specularG, anime ? 0.0f : p.specularB,
                                 1.0f};
    const GLfloat black[4] = {0, 0, 0, 1};
    const GLfloat ambient[4] = {p.ambientR, p.ambientG, p.ambientB, 1.0f};
    const GLfloat diffuse[4] = {p.diffuseR, p.diffuseG, p.diffuseB, 1.0f};
    // Positional; transformed by the model-view matrix the previous frame left.
    const GLfloat position[4] = {view_.lightPosition.x, view_.lightPosition.y, view_.lightPosition.z, 1.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, &p.shininess);
    glMaterialfv(GL_FRONT, GL_EMISSION, black);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHT0);
    glLightModelf(GL_LIGHT_MODEL_LOCAL_VIEWER, 0.9f);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glPointSize(3.0f);
    glEnable(GL_NORMALIZE);
}

void FrameRenderer::DrawPass(int pass)
{
    const ViewSwitches& sw = options_.Switches();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    SetupCamera(false, false, pass);
    if (sw.drawGround) {
        SetupCamera(false, true, pass);  // the floor keeps its size whatever the model scale
        RenderGround(options_.Parameters());
    }
    glEnable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    // No shadow seen from the floor's height or below, nor from a light near the horizon.
    if (sw.drawShadow && view_.cameraEye.z < 16.0f && LightCastsShadow(view_.lightPosition)) {
        SetupCamera(true, false, pass);
        RenderShadow(doc_, view_.modelScale);
    }
    SetupCamera(false, false, pass);
    if (view_.skeletonEditMode)
        RenderMeshJointColours(doc_);
    else if (sw.animeShade)
        RenderMeshBanded(doc_, sw, options_.Thresholds(), view_.lightPosition, bandColours_);
    else
        RenderMesh(doc_, sw, meshArrays_);
    if (sw.useEdge)
        RenderOutline(doc_, sw, edgeWidthWorld_);
    // The skeleton goes over the mesh while it is being fitted.
    if (view_.skeletonEditMode && sw.showSkeleton)
        RenderSkeleton(doc_, PointZoom());
    stats_.polygons = doc_.polygonCount;
    stats_.vertices = doc_.vertexCount;
    glFinish();
}

void FrameRenderer::StampFrame()
{
    tickRing_[frameCounter_ % kTickRing] = clock_.Milliseconds();
    ++frameCounter_;
    const uint32_t n = frameCounter_;
    stats_.hasFps = false;
    if (n > kTickRing) {
        const uint32_t elapsed = tickRing_[(n - 1) % kTickRing] - tickRing_[n % kTickRing];
        // Stamps of a coarse clock can be equal: no rate to show then.
        if (elapsed > 0) {
            stats_.fps = 1000.0 / (elapsed * 0.05);
            stats_.hasFps = true;
        }
    }
}

FrameRenderer::FrameResult FrameRenderer::RenderFrame()
{
    if (reinit_) {
        if (!InitGL())
            return FrameResult::NoContext;
        reinit_ = false;
    }
    const ViewSwitches& sw = options_.Switches();
    glCullFace(GL_FRONT);
    LoadBaseProjection();
    SetLightAndMaterial();
    if (sw.useCameraTrace)
        CameraTraceStep(view_.cameraTarget, JointNode(doc_.FirstFigure(), kWaist).position);
    // Rebuilt every frame rather than tracked: the colours and brightness may have changed.
    UpdateBandColours(bandColours_, doc_.colourTable, options_.Parameters());

    const ViewParameters& p = options_.Parameters();
    const EffectFrame effects{PlanEffects(sw, surface_.HasAccumBuffer()), captureTextures_.data(), clientWidth_,
                              clientHeight_, textureWidth_, textureHeight_, frameCounter_,
                              {p.backColorR, p.backColorG, p.backColorB}};
    if (effects.plan.ClearsAccumBuffer())
        glClear(GL_ACCUM_BUFFER_BIT);
    for (int pass = 0; pass < effects.plan.Passes(); ++pass) {
        DrawPass(pass);
        EffectPassStep(effects, pass, texturesAllocated_);
    }
    EffectResolveStep(effects);
    if (capture_)
        ReadPicture();

    DrawOverlay();
    surface_.Present();
    // The capture textures and the buffers get their storage while drawing;
    // told once, and the frame does not count as drawn.
    bool outOfMemory = false;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        outOfMemory = outOfMemory || error == GL_OUT_OF_MEMORY;
    if (outOfMemory) {
        if (!outOfMemoryTold_)
            messages_.ShowMessage(strings::kOutOfMemory);
        outOfMemoryTold_ = true;
        return FrameResult::OutOfMemory;
    }
    return FrameResult::Drawn;
}

// On the finished image, after any picture was taken of it, before it is
// shown; laid out in pointer units, so that it reads at the same size on a
// scaled desktop.
void FrameRenderer::DrawOverlay()
{
    const int zoom = PointZoom();
    if (selectionRect_) {
        const ScreenRect& r = *selectionRect_;
        DrawOverlayRectangle(r.x0 * zoom, r.y0 * zoom, r.x1 * zoom, r.y1 * zoom, clientWidth_, clientHeight_, zoom);
    }
    if (doc_.polygonCount == 0)
        DrawOverlayPicture((clientWidth_ - startHint_.width) / 2, (clientHeight_ - startHint_.height) / 2, startHint_,
                           clientWidth_, clientHeight_);
    StampFrame();
    if (options_.Switches().drawCount) {
        DrawOverlayText(10 * zoom, 10 * zoom,
                        Fill(overlayCounts_, {std::to_string(stats_.polygons), std::to_string(stats_.vertices)}),
                        clientWidth_, clientHeight_, zoom);
        if (stats_.hasFps) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%5.1f", stats_.fps);
            DrawOverlayText(10 * zoom, 40 * zoom, Fill(overlayRate_, {rate}), clientWidth_, clientHeight_, zoom);
        }
    }
}

int FrameRenderer::PointZoom() const
{
    return std::max(1, static_cast<int>(std::lround(surface_.PixelsPerPoint())));
}

void FrameRenderer::SetSelectionRect(const ScreenRect* rect)
{
    selectionRect_ = rect ? std::optional<ScreenRect>(*rect) : std::nullopt;
}

void FrameRenderer::ReadPicture()
{
    const size_t w = static_cast<size_t>(clientWidth_), h = static_cast<size_t>(clientHeight_);
    std::vector<uint8_t> rgba(w * h * 4);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, clientWidth_, clientHeight_, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPopClientAttrib();
    // GL's rows run bottom up.
    picture_.resize(w * h * 3);
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x)
            for (size_t c = 0; c < 3; ++c)
                picture_[(y * w + x) * 3 + c] = rgba[((h - 1 - y) * w + x) * 4 + c];
}

std::vector<uint8_t> FrameRenderer::RenderFrameToRgb()
{
    picture_.clear();
    capture_ = true;
    const FrameResult result = RenderFrame();
    capture_ = false;
    if (result != FrameResult::Drawn)
        picture_.clear();
    return std::move(picture_);
}

} // namespace qm
