#include "app/ViewCanvas.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <thread>

#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/settings.h>
#include <wx/utils.h>

#include "platform/Translation.h"
#include "resources/DialogTexts.h"
#include "resources/Strings.h"

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

// The start-up hint as the overlay shows it: its lines centred on a light
// panel, in the menus' font at the desktop's scale.
OverlayPicture HintPicture(const wxString& text, double scale)
{
    const wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Scaled(static_cast<float>(scale));
    const wxArrayString lines = wxSplit(text, '\n', '\0');
    wxImage image(1, 1);
    std::vector<double> widths;
    double width = 0, lineHeight = 0;
    {
        const std::unique_ptr<wxGraphicsContext> measure(wxGraphicsContext::Create(image));
        measure->SetFont(font, *wxBLACK);
        for (const wxString& line : lines) {
            double w = 0, h = 0;
            measure->GetTextExtent(line.empty() ? wxString(" ") : line, &w, &h);
            widths.push_back(w);
            width = std::max(width, w);
            lineHeight = std::max(lineHeight, h);
        }
    }
    const double margin = lineHeight;
    OverlayPicture picture;
    picture.width = static_cast<int>(std::ceil(width + 2 * margin));
    picture.height = static_cast<int>(std::ceil(lineHeight * double(lines.size()) + 2 * margin));
    image.Create(picture.width, picture.height);
    image.InitAlpha();
    std::fill_n(image.GetAlpha(), size_t(picture.width) * size_t(picture.height), 0);
    {
        const std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
        gc->SetPen(*wxTRANSPARENT_PEN);
        gc->SetBrush(wxBrush(wxColour(255, 255, 255, 200)));
        gc->DrawRoundedRectangle(0, 0, picture.width, picture.height, margin / 2);
        gc->SetFont(font, wxColour(40, 40, 40));
        for (size_t i = 0; i < lines.size(); ++i)
            gc->DrawText(lines[i], (picture.width - widths[i]) / 2, margin + lineHeight * double(i));
    }  // the context writes its pixels back as it ends
    picture.rgba.resize(size_t(picture.width) * size_t(picture.height) * 4);
    for (size_t i = 0, n = picture.rgba.size() / 4; i < n; ++i) {
        std::copy_n(image.GetData() + i * 3, 3, &picture.rgba[i * 4]);
        picture.rgba[i * 4 + 3] = image.GetAlpha()[i];
    }
    return picture;
}

} // namespace

ViewCanvas::ViewCanvas(wxWindow* parent, CBodyView& view, MessageSink& messages)
    : GlxCanvas(parent), view_(view),
      renderer_(*this, clock_, messages, view.Document(), view.Options(), view.State())
{
    view_.SetFrameSink(&frames_);
    view_.SetProjection(&renderer_);
    renderer_.SetOverlayWords(Tr(strings::kOverlayCounts), Tr(strings::kOverlayRate));
    Bind(wxEVT_PAINT, &ViewCanvas::OnPaint, this);
    Bind(wxEVT_SIZE, &ViewCanvas::OnSize, this);
    // Moved to a display of another scale: the same size in points, other pixels.
    Bind(wxEVT_DPI_CHANGED, [this](wxDPIChangedEvent& e) {
        renderer_.OnSize(Width(), Height());
        e.Skip();
    });
    Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) { OnKey(e, true); });
    Bind(wxEVT_KEY_UP, [this](wxKeyEvent& e) { OnKey(e, false); });
    Bind(wxEVT_KILL_FOCUS, &ViewCanvas::OnKillFocus, this);
    Bind(wxEVT_LEFT_DOWN, &ViewCanvas::OnLeftDown, this);
    // A quick second press arrives only as a double click: it is a press all the same.
    Bind(wxEVT_LEFT_DCLICK, &ViewCanvas::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &ViewCanvas::OnLeftUp, this);
    Bind(wxEVT_MOTION, &ViewCanvas::OnMotion, this);
    for (const auto& type : {wxEVT_RIGHT_DOWN, wxEVT_RIGHT_DCLICK, wxEVT_RIGHT_UP, wxEVT_MIDDLE_DOWN,
                             wxEVT_MIDDLE_DCLICK, wxEVT_MIDDLE_UP})
        Bind(type, &ViewCanvas::OnCameraButton, this);
    Bind(wxEVT_MOUSEWHEEL, &ViewCanvas::OnWheel, this);
    // Another window taking the mouse ends the drag as a release would.
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { EndDrag(); });
}

// Paints go through the same sink as the animation steps.
void ViewCanvas::RenderFrame()
{
    if (ContextFailed())
        return;
    if (hintScale_ != PixelsPerPoint()) {
        hintScale_ = PixelsPerPoint();
        renderer_.SetStartHint(HintPicture(wxString::FromUTF8(Tr(dialogs::kStartHint)), hintScale_));
    }
    frames_.RenderFrame();
    firstFrameDrawn_ = firstFrameDrawn_ || frames_.LastResult() == FrameRenderer::FrameResult::Drawn;
}

bool ViewCanvas::IdleStep()
{
    // Held keys are checked against the keyboard itself (one query for each
    // held key, none while nothing is held), so a release that a menu, a
    // dialog or another window took is not missed. The key asked for is the
    // one pressed: a numpad arrow is not the main arrow.
    keyboard_.ReleaseKeysUp([this](Key key) { return wxGetKeyState(wxKeyCode(pressedCodes_[size_t(key)])); });
    const bool focused = wxWindow::FindFocus() == this;
    if (focused)
        WaitForFrameTime();
    return view_.AnimateStep(focused, keyboard_);
}

// Every motion is per frame, so frames come no faster than the display shows
// them: the swap waits for the refresh where the driver offers that, and the
// loop holds itself to the refresh rate (60 Hz when unknown) in any case, a
// little faster so as never to miss a refresh that the swap waits for.
void ViewCanvas::WaitForFrameTime()
{
    using namespace std::chrono;
    if (framePeriod_ == steady_clock::duration::zero()) {
        const int hz = wxDisplay(this).GetCurrentMode().refresh;
        framePeriod_ = duration_cast<steady_clock::duration>(duration<double>(0.97 / (hz > 0 ? hz : 60)));
    }
    const steady_clock::time_point now = steady_clock::now();
    if (now < nextFrame_)
        std::this_thread::sleep_until(nextFrame_);
    nextFrame_ = std::max(nextFrame_, now) + framePeriod_;
}

void ViewCanvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);  // validates the damaged area
    RenderFrame();
}

void ViewCanvas::OnSize(wxSizeEvent& event)
{
    renderer_.OnSize(Width(), Height());
    Refresh(false);
    event.Skip();
}

void ViewCanvas::OnKey(wxKeyEvent& event, bool down)
{
    if (const std::optional<Key> key = KeyOf(event.GetKeyCode())) {
        if (down) {
            keyboard_.KeyDown(*key);
            pressedCodes_[size_t(*key)] = event.GetKeyCode();
        } else {
            keyboard_.KeyUp(*key);
        }
    }
    event.Skip();
}

namespace {

MouseKeys KeysOf(const wxMouseEvent& e)
{
    return MouseKeys{e.ShiftDown(), e.ControlDown()};
}

MouseKeys KeysNow()
{
    const wxMouseState state = wxGetMouseState();
    return MouseKeys{state.ShiftDown(), state.ControlDown()};
}

} // namespace

void ViewCanvas::OnLeftDown(wxMouseEvent& event)
{
    SetFocus();  // the animation loop reads the keyboard only with the focus
    if (!firstFrameDrawn_)
        return;
    if (!HasCapture())
        CaptureMouse();
    view_.OnLButtonDown(event.GetX(), event.GetY(), KeysOf(event));
}

void ViewCanvas::OnMotion(wxMouseEvent& event)
{
    if (view_.Dragging() || view_.CameraDragging())
        view_.OnMouseMove(event.GetX(), event.GetY(), KeysOf(event));
    event.Skip();
}

void ViewCanvas::OnCameraButton(wxMouseEvent& event)
{
    if (event.ButtonUp()) {
        view_.OnCameraButtonUp();
        if (HasCapture() && !view_.Dragging())
            ReleaseMouse();
        event.Skip();
        return;
    }
    SetFocus();
    if (!firstFrameDrawn_)
        return;
    if (!HasCapture())
        CaptureMouse();
    if (event.GetButton() == wxMOUSE_BTN_RIGHT)
        view_.OnRButtonDown(event.GetX(), event.GetY(), KeysOf(event));
    else
        view_.OnMButtonDown(event.GetX(), event.GetY());
}

void ViewCanvas::OnWheel(wxMouseEvent& event)
{
    if (event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL && event.GetWheelDelta() > 0) {
        view_.OnMouseWheel(double(event.GetWheelRotation()) / event.GetWheelDelta());
        Refresh(false);  // the wheel also reaches a window without the focus, which the loop does not draw
    }
    event.Skip();
}

std::vector<uint8_t> ViewCanvas::Picture(int& width, int& height)
{
    width = renderer_.ClientWidth();
    height = renderer_.ClientHeight();
    return ContextFailed() ? std::vector<uint8_t>() : renderer_.RenderFrameToRgb();
}

void ViewCanvas::OnLeftUp(wxMouseEvent& event)
{
    if (HasCapture() && !view_.CameraDragging())
        ReleaseMouse();
    if (view_.Dragging())
        view_.OnLButtonUp(KeysOf(event));
    event.Skip();
}

void ViewCanvas::EndDrag()
{
    if (view_.Dragging())
        view_.OnLButtonUp(KeysNow());
    view_.OnCameraButtonUp();
}

void ViewCanvas::OnKillFocus(wxFocusEvent& event)
{
    keyboard_.ReleaseAll();
    event.Skip();
}

} // namespace qm
