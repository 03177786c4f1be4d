// The viewer driven from outside, as a user would: under Xvfb, with real key
// presses (xdotool) and window dumps (xwd). Run by CTest through xvfb-run.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "TempFolder.h"

extern char** environ;

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::FileText;
using test::SetFileText;
using test::TempFolder;

std::string Run(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p))
            out += buffer;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// A window dump: only the pixels matter here.
struct Dump {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    size_t Colours() const { return std::set<uint32_t>(pixels.begin(), pixels.end()).size(); }
};

uint32_t Be32(const std::string& b, size_t at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint8_t(b[at + 3]);
}

Dump ReadXwd(const std::string& bytes)
{
    Dump d;
    if (bytes.size() < 100)
        return d;
    const uint32_t headerSize = Be32(bytes, 0), width = Be32(bytes, 16), height = Be32(bytes, 20);
    const uint32_t bytesPerLine = Be32(bytes, 48), colours = Be32(bytes, 76);
    const size_t data = headerSize + size_t(colours) * 12;
    // The pixel size from the line length: xwd states 24 bits for 4-byte pixels.
    if (width == 0 || bytesPerLine / width != 4 || bytes.size() < data + size_t(bytesPerLine) * height)
        return d;
    d.width = int(width);
    d.height = int(height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t p;
            std::memcpy(&p, &bytes[data + y * size_t(bytesPerLine) + x * 4], 4);
            d.pixels.push_back(p & 0xffffffu);
        }
    return d;
}

class Viewer {
public:
    Viewer(const std::vector<std::string>& args, const std::string& folder) : folder_(folder)
    {
        std::vector<std::string> all = {QUILLO_BIN};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        if (posix_spawn(&pid_, QUILLO_BIN, nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~Viewer()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The window whose title contains name, once it is shown.
    bool WaitForWindow(const std::string& name)
    {
        window_ = Run("timeout 30 xdotool search --sync --onlyvisible --pid " + std::to_string(pid_) + " --name '" +
                      name + "' | head -n 1");
        if (window_.empty())
            return false;
        Run("xdotool mousemove --window " + window_ + " 120 200");
        Run("xdotool windowfocus --sync " + window_);
        return true;
    }
    std::string Geometry() const
    {
        return Run("xdotool getwindowgeometry " + window_ + " | sed -n 's/.*Geometry: //p'");
    }
    void Keys(const std::string& keys) const { Run("xdotool key --delay 80 " + keys); }
    void Hold(const std::string& key, std::chrono::milliseconds time) const
    {
        Run("xdotool keydown " + key);
        std::this_thread::sleep_for(time);
        Run("xdotool keyup " + key);
    }
    void Drag(int x0, int y0, int x1, int y1) const
    {
        const std::string w = " --window " + window_ + " ";
        Run("xdotool mousemove" + w + std::to_string(x0) + " " + std::to_string(y0) + " mousedown 1");
        for (int i = 1; i <= 5; ++i)
            Run("xdotool mousemove" + w + std::to_string(x0 + (x1 - x0) * i / 5) + " " +
                std::to_string(y0 + (y1 - y0) * i / 5) + " sleep 0.05");
        Run("xdotool mouseup 1");
    }
    void Resize(int w, int h) const { Run("xdotool windowsize --sync " + window_ + " " + std::to_string(w) + " " + std::to_string(h)); }
    Dump Snapshot() const
    {
        const std::string file = folder_ + "/window.xwd";
        Run("xwd -silent -id " + window_ + " -out " + file);
        return ReadXwd(FileText(file));
    }
    // Waits until the drawn picture stops changing; the dump of that moment.
    Dump Settled() const
    {
        Dump last = Snapshot();
        for (int i = 0; i < 60; ++i) {
            std::this_thread::sleep_for(150ms);
            Dump next = Snapshot();
            if (next.pixels == last.pixels && next.Colours() > 1)
                return next;
            last = std::move(next);
        }
        return last;
    }
    // "Quitter", the last item of the first menu, from the keyboard.
    void QuitFromMenu() const { Keys("F10 Up Return"); }
    int WaitForExit()
    {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(50ms);
        }
        return -2;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string window_;
    std::string folder_;
};

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs a display (the test command runs these under Xvfb)";
        // The overlay's frame rate changes every frame; keep it out of the dumps.
        ini = folder / "quillo.ini";
    }
    TempFolder folder;
    std::string ini;
};

TEST_F(GuiTest, FirstStartOpensAtDefaultSizeAndKeepsTheSizeItClosesWith)
{
    {
        Viewer viewer({"--settings", ini}, folder.Path());
        ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
        EXPECT_EQ(viewer.Geometry(), "400x430");
        const std::string text = FileText(ini);
        for (const char* key : {"BackColorR=0.5", "GroundScale=10", "Shininess=100", "EdgeWidth=0.002",
                                "AnimeShadeThreshold3=0.8"})
            EXPECT_NE(text.find(key), std::string::npos) << key;
        EXPECT_EQ(text.find("UseEdge"), std::string::npos);  // switches only once changed
        viewer.Resize(800, 600);
        viewer.QuitFromMenu();
        EXPECT_EQ(viewer.WaitForExit(), 0);
    }
    const std::string text = FileText(ini);
    EXPECT_NE(text.find("Width=800"), std::string::npos) << text;
    EXPECT_NE(text.find("Height=600"), std::string::npos);

    Viewer again({"--settings", ini}, folder.Path());
    ASSERT_TRUE(again.WaitForWindow("Quillomark"));
    EXPECT_EQ(again.Geometry(), "800x600");
}

TEST_F(GuiTest, SampleOpensFromTheCommandLineAndArrowKeysTurnTheCamera)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder.Path());
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const Dump before = viewer.Settled();
    EXPECT_GT(before.Colours(), 50u);  // a lit figure, not a cleared window

    viewer.Hold("Left", 400ms);
    const Dump after = viewer.Settled();
    ASSERT_EQ(after.pixels.size(), before.pixels.size());
    EXPECT_NE(after.pixels, before.pixels);
}

TEST_F(GuiTest, DraggingMovesTheFigureAndEditModeShowsAndCommitsTheSkeleton)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder.Path());
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const Dump before = viewer.Settled();
    viewer.Drag(60, 300, 160, 300);  // from empty space at the left, 100 pixels to the right
    const Dump moved = viewer.Settled();
    ASSERT_EQ(moved.pixels.size(), before.pixels.size());
    EXPECT_NE(moved.pixels, before.pixels);

    // The skeleton edit mode from its menu: the skeleton appears over the mesh.
    viewer.Keys("F10 Right Right Down Return");
    const Dump editing = viewer.Settled();
    EXPECT_NE(editing.pixels, moved.pixels);
    viewer.Drag(60, 300, 100, 300);  // the skeleton moves over the mesh and is committed
    const Dump committed = viewer.Settled();
    EXPECT_NE(committed.pixels, editing.pixels);
}

TEST_F(GuiTest, SwitchFromTheMenuIsWrittenAtOnce)
{
    Viewer viewer({"--settings", ini}, folder.Path());
    ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
    EXPECT_EQ(FileText(ini).find("DrawGround"), std::string::npos);
    // Affichage > Sol: the third item of the second menu.
    viewer.Keys("F10 Right Down Down Down Return");
    for (int i = 0; i < 40 && FileText(ini).find("DrawGround=0") == std::string::npos; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_NE(FileText(ini).find("DrawGround=0"), std::string::npos) << FileText(ini);
    viewer.QuitFromMenu();
    EXPECT_EQ(viewer.WaitForExit(), 0);
}

} // namespace
} // namespace qm
