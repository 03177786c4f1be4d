// The viewer's GL window under Xvfb: the frame buffer it chooses and how its
// accumulation buffer averages.
#include <GL/gl.h>

#include <cstdlib>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include "platform/wx/GlxCanvas.h"

namespace qm {
namespace {

TEST(GlxCanvasTest, ChoosesDepthAndAccumulationBuffersThatAverageLinearly)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display (the test command runs this under Xvfb)";
    PreferLinearAccumulation();
    // A GUI application object, so that the toolkit opens the display.
    static int argc = 1;
    static char name[] = "glx_canvas_test";
    static char* argv[] = {name, nullptr};
    wxApp::SetInstance(new wxApp);
    ASSERT_TRUE(wxEntryStart(argc, argv));
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "glx", wxDefaultPosition, wxSize(64, 64));
    GlxCanvas* canvas = new GlxCanvas(frame);
    frame->Show();
    for (int i = 0; i < 50 && !canvas->IsShownOnScreen(); ++i)
        wxTheApp->Yield();
    ASSERT_TRUE(canvas->MakeCurrent());

    GLint depth = 0, accum = 0, doubleBuffer = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_ACCUM_RED_BITS, &accum);
    glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffer);
    EXPECT_EQ(depth, 24);  // polygon offsets rely on it
    EXPECT_GE(accum, 16);
    EXPECT_TRUE(canvas->HasAccumBuffer());
    EXPECT_TRUE(doubleBuffer);

    glViewport(0, 0, 8, 8);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glAccum(GL_LOAD, 0.5f);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glAccum(GL_ACCUM, 0.5f);
    glAccum(GL_RETURN, 1.0f);
    glFinish();
    unsigned char rgb[3] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(2, 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    // Half red and half blue: 128, not the 188 an sRGB-space average gives.
    EXPECT_NEAR(rgb[0], 128, 1);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_NEAR(rgb[2], 128, 1);
    frame->Destroy();
}

} // namespace
} // namespace qm
