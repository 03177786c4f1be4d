#include "render/Effects.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace qm {
namespace {

// The capture texture that carries the motion-blur result into the next frame.
constexpr int kBlurHistory = 1;

void ClearToBlack(const EffectFrame& frame)
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(frame.backColour[0], frame.backColour[1], frame.backColour[2], 0.0f);
}

// A window-sized orthographic projection, under which texel (x, y) of a
// capture texture lands on pixel (x, y), with nothing lit, depth-tested or culled.
void EnterScreenSpace(const EffectFrame& frame)
{
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, frame.clientWidth, 0, frame.clientHeight);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

// Back to the last pass's camera, which mouse picking reads after the frame.
void LeaveScreenSpace()
{
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// The whole texture, the part beyond the client area falling outside the window.
void DrawCapture(const EffectFrame& frame, int index)
{
    glBindTexture(GL_TEXTURE_2D, frame.textures[index]);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(0, 0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2i(frame.textureWidth, 0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2i(frame.textureWidth, frame.textureHeight);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(0, frame.textureHeight);
    glEnd();
}

void CopyClientArea(const EffectFrame& frame, int index)
{
    glBindTexture(GL_TEXTURE_2D, frame.textures[index]);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, frame.clientWidth, frame.clientHeight);
}

void ResolveWithAccumBuffer(const EffectFrame& frame)
{
    const EffectPlan& plan = frame.plan;
    if (plan.motionBlur) {
        if (frame.framesShown < 2) {
            // The blur starts from the current image.
            glAccum(GL_MULT, 0.0f);
            glAccum(GL_ACCUM, 1.0f);
        } else {
            glAccum(GL_MULT, 0.5f);
            glAccum(GL_ACCUM, 0.5f);
        }
    }
    if (plan.Any())
        glAccum(GL_RETURN, 1.0f);
}

void ResolveWithTextures(const EffectFrame& frame)
{
    const EffectPlan& plan = frame.plan;
    if (plan.multiPass) {
        ClearToBlack(frame);
        EnterScreenSpace(frame);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        // Image k at weight 1/(k+1) over the mean of the k before it.
        for (int k = 0; k < plan.Passes(); ++k) {
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f / static_cast<float>(k + 1));
            DrawCapture(frame, k);
        }
        LeaveScreenSpace();
    }
    if (plan.motionBlur) {
        const bool hasPrevious = frame.framesShown > 0;
        ClearToBlack(frame);
        EnterScreenSpace(frame);
        if (hasPrevious) {
            glDisable(GL_BLEND);
            glColor3f(0.5f, 0.5f, 0.5f);
            DrawCapture(frame, kBlurHistory);
        }
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        const float c = hasPrevious ? 0.5f : 1.0f;
        glColor3f(c, c, c);
        DrawCapture(frame, 0);
        glFinish();
        CopyClientArea(frame, kBlurHistory);
        LeaveScreenSpace();
    }
}

} // namespace

EffectPlan PlanEffects(const ViewSwitches& switches, bool hasAccumBuffer)
{
    EffectPlan plan;
    plan.motionBlur = switches.useMotionBlower != 0;
    plan.multiPass = switches.useAntiEdge != 0 || switches.useDepth != 0;
    plan.textures = switches.useFastBlower != 0 || !hasAccumBuffer;
    return plan;
}

void EffectPassStep(const EffectFrame& frame, int pass, bool& texturesAllocated)
{
    const EffectPlan& plan = frame.plan;
    if (!plan.textures) {
        if (plan.multiPass)
            glAccum(GL_ACCUM, 0.125f);
        return;
    }
    if (!plan.Any())
        return;
    if (!texturesAllocated) {
        // Power-of-two storage, once per window size; what lies beyond the
        // client area is never shown.
        for (int k = 0; k < kCaptureTextures; ++k) {
            glBindTexture(GL_TEXTURE_2D, frame.textures[k]);
            glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, frame.textureWidth, frame.textureHeight, 0);
        }
        texturesAllocated = true;
    }
    CopyClientArea(frame, pass);
}

void EffectResolveStep(const EffectFrame& frame)
{
    if (frame.plan.textures)
        ResolveWithTextures(frame);
    else
        ResolveWithAccumBuffer(frame);
}

std::vector<uint8_t> ReadCaptureTexture(unsigned texture, int width, int height)
{
    GLint textureWidth = 0, textureHeight = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    if (textureWidth < width || textureHeight < height)
        return rgb;
    std::vector<uint8_t> texels(static_cast<size_t>(textureWidth) * static_cast<size_t>(textureHeight) * 3);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glPopClientAttrib();
    const size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::copy_n(&texels[static_cast<size_t>(height - 1 - y) * static_cast<size_t>(textureWidth) * 3], row,
                    &rgb[static_cast<size_t>(y) * row]);
    return rgb;
}

} // namespace qm
