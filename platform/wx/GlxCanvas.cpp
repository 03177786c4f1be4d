#include "platform/wx/GlxCanvas.h"

#include <cstdlib>
#include <cstring>

#include <GL/gl.h>
#include <GL/glx.h>
#include <wx/math.h>
#include <wx/utils.h>

namespace qm {

wxGLAttributes ViewerFramebufferAttributes()
{
    Display* display = wxGetX11Display();
    wxGLAttributes attributes;
    if (display) {
        int count = 0;
        GLXFBConfig* configs = glXGetFBConfigs(display, DefaultScreen(display), &count);
        int best = -1, bestScore = -1;
        for (int i = 0; i < count; ++i) {
            auto get = [&](int attribute) {
                int value = 0;
                glXGetFBConfigAttrib(display, configs[i], attribute, &value);
                return value;
            };
            XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
            const int visualDepth = visual ? visual->depth : 0;
            if (visual)
                XFree(visual);
            if (!get(GLX_DOUBLEBUFFER) || !(get(GLX_RENDER_TYPE) & GLX_RGBA_BIT) ||
                !(get(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) || get(GLX_RED_SIZE) < 8 || visualDepth != 24 ||
                get(GLX_DEPTH_SIZE) < 24)
                continue;
            // Exactly 24 depth bits first, then an accumulation buffer, then no stencil.
            const int score = (get(GLX_DEPTH_SIZE) == 24 ? 4 : 0) + (get(GLX_ACCUM_RED_SIZE) >= 16 ? 2 : 0) +
                              (get(GLX_STENCIL_SIZE) == 0 ? 1 : 0);
            if (score > bestScore) {
                bestScore = score;
                best = get(GLX_FBCONFIG_ID);
            }
        }
        if (configs)
            XFree(configs);
        if (best >= 0) {
            attributes.AddAttribute(GLX_FBCONFIG_ID);
            attributes.AddAttribute(best);
            attributes.EndList();
            return attributes;
        }
    }
    attributes.PlatformDefaults().RGBA().DoubleBuffer().Depth(24).EndList();
    return attributes;
}

void PreferLinearAccumulation()
{
    setenv("MESA_EXTENSION_OVERRIDE", "-GL_EXT_framebuffer_sRGB", 0);
}

GlxCanvas::GlxCanvas(wxWindow* parent)
    : wxGLCanvas(parent, ViewerFramebufferAttributes(), wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);  // GL paints everything; no erasing flicker
}

GlxCanvas::~GlxCanvas() = default;

namespace {

bool HasGlxExtension(Display* display, const char* name)
{
    const char* list = glXQueryExtensionsString(display, DefaultScreen(display));
    const size_t length = std::strlen(name);
    for (const char* at = list; at && (at = std::strstr(at, name)) != nullptr; at += length)
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

} // namespace

bool GlxCanvas::SwapWithTheDisplay()
{
    Display* display = wxGetX11Display();
    if (!display)
        return false;
    const auto address = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
    if (HasGlxExtension(display, "GLX_EXT_swap_control")) {
        using SwapInterval = void (*)(Display*, GLXDrawable, int);
        if (auto set = reinterpret_cast<SwapInterval>(address("glXSwapIntervalEXT"))) {
            set(display, GetXWindow(), 1);
            return true;
        }
    }
    if (HasGlxExtension(display, "GLX_MESA_swap_control")) {
        using SwapInterval = int (*)(unsigned);
        if (auto set = reinterpret_cast<SwapInterval>(address("glXSwapIntervalMESA")))
            return set(1) == 0;
    }
    return false;
}

bool GlxCanvas::MakeCurrent()
{
    if (!IsShownOnScreen())
        return false;
    if (!context_) {
        context_ = std::make_unique<wxGLContext>(this);
        if (!context_->IsOK()) {
            context_.reset();
            return false;
        }
        if (!SetCurrent(*context_))
            return false;
        swapsWithDisplay_ = SwapWithTheDisplay();
    }
    if (!SetCurrent(*context_))
        return false;
    GLint accum = 0;
    glGetIntegerv(GL_ACCUM_RED_BITS, &accum);
    accumBits_ = accum;
    return true;
}

// The toolkit lays out and reports the pointer in points; GL draws in the
// window's pixels, which a scaled desktop multiplies.
double GlxCanvas::PixelsPerPoint() const
{
    return GetContentScaleFactor();
}

int GlxCanvas::Width() const
{
    return wxRound(GetClientSize().x * PixelsPerPoint());
}

int GlxCanvas::Height() const
{
    return wxRound(GetClientSize().y * PixelsPerPoint());
}

} // namespace qm
