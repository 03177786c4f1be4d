#include "app/ViewCanvas.h"

#include <optional>

#include <wx/dcclient.h>

namespace qm {

namespace {

std::optional<Key> KeyOf(int code)
{
    switch (code) {
    case WXK_LEFT: case WXK_NUMPAD_LEFT: return Key::Left;
    case WXK_RIGHT: case WXK_NUMPAD_RIGHT: return Key::Right;
    case WXK_UP: case WXK_NUMPAD_UP: return Key::Up;
    case WXK_DOWN: case WXK_NUMPAD_DOWN: return Key::Down;
    case WXK_PAGEUP: case WXK_NUMPAD_PAGEUP: return Key::PageUp;
    case WXK_PAGEDOWN: case WXK_NUMPAD_PAGEDOWN: return Key::PageDown;
    case WXK_SHIFT: return Key::Shift;
    case WXK_CONTROL: return Key::Control;
    case 'C': case 'c': return Key::C;
    default: return std::nullopt;
    }
}

} // namespace

ViewCanvas::ViewCanvas(wxWindow* parent, CBodyView& view, MessageSink& messages)
    : GlxCanvas(parent), view_(view),
      renderer_(*this, clock_, messages, view.Document(), view.Options(), view.State())
{
    view_.SetFrameSink(this);
    Bind(wxEVT_PAINT, &ViewCanvas::OnPaint, this);
    Bind(wxEVT_SIZE, &ViewCanvas::OnSize, this);
    Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) { OnKey(e, true); });
    Bind(wxEVT_KEY_UP, [this](wxKeyEvent& e) { OnKey(e, false); });
    Bind(wxEVT_KILL_FOCUS, &ViewCanvas::OnKillFocus, this);
    // A click gives the view the keyboard, as the animation loop needs it.
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
        SetFocus();
        e.Skip();
    });
}

void ViewCanvas::RenderFrame()
{
    if (contextFailed_)
        return;
    if (renderer_.RenderFrame() == FrameRenderer::FrameResult::NoContext) {
        contextFailed_ = true;
        return;
    }
    firstFrameDrawn_ = true;
}

bool ViewCanvas::IdleStep()
{
    return view_.AnimateStep(wxWindow::FindFocus() == this, keyboard_);
}

void ViewCanvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);  // validates the damaged area
    RenderFrame();
}

void ViewCanvas::OnSize(wxSizeEvent& event)
{
    const wxSize size = GetClientSize();
    renderer_.OnSize(size.x, size.y);
    Refresh(false);
    event.Skip();
}

void ViewCanvas::OnKey(wxKeyEvent& event, bool down)
{
    if (const std::optional<Key> key = KeyOf(event.GetKeyCode())) {
        if (down)
            keyboard_.KeyDown(*key);
        else
            keyboard_.KeyUp(*key);
    }
    event.Skip();
}

void ViewCanvas::OnKillFocus(wxFocusEvent& event)
{
    keyboard_.ReleaseAll();
    event.Skip();
}

} // namespace qm
