// The viewer driven from outside, as a user would: under Xvfb, with real key
// presses (xdotool) and window dumps (xwd). Run by CTest through xvfb-run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
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
using Picture = std::vector<uint32_t>;  // a window's pixels, row by row

// The output of a shell command, without trailing white space.
std::string Shell(const std::string& command)
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

size_t Colours(const Picture& p)
{
    return std::set<uint32_t>(p.begin(), p.end()).size();
}

// The pixels of an xwd window dump: what follows its header and colour map,
// 4 bytes each at the depth of the test display.
Picture ReadXwd(const std::string& bytes)
{
    auto be32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = at; i < at + 4 && i < bytes.size(); ++i)
            v = v << 8 | uint8_t(bytes[i]);
        return v;
    };
    const size_t data = std::min(bytes.size(), be32(0) + size_t(be32(76)) * 12);
    Picture pixels((bytes.size() - data) / 4);
    std::memcpy(pixels.data(), bytes.data() + data, pixels.size() * 4);
    for (uint32_t& p : pixels)
        p &= 0xffffffu;  // the fourth byte is padding
    return pixels;
}

// The viewer started with args, killed at the end unless it has exited.
class Viewer {
public:
    Viewer(std::vector<std::string> args, const TempFolder& folder) : dump_(folder / "window.xwd")
    {
        args.insert(args.begin(), QUILLO_BIN);
        std::vector<char*> argv;
        for (std::string& a : args)
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

    // The window whose title contains name, once it is shown, with the pointer and the focus.
    bool WaitForWindow(const std::string& name)
    {
        window_ = Shell("timeout 30 xdotool search --sync --onlyvisible --pid " + std::to_string(pid_) + " --name '" +
                        name + "' | head -n 1");
        Shell("xdotool mousemove --window " + window_ + " 120 200 windowfocus --sync " + window_);
        return !window_.empty();
    }
    std::string Geometry() const
    {
        return Shell("xdotool getwindowgeometry " + window_ + " | sed -n 's/.*Geometry: //p'");
    }
    void Resize(const std::string& size) const { Shell("xdotool windowsize --sync " + window_ + " " + size); }
    void Keys(const std::string& keys) const { Shell("xdotool key --delay 80 " + keys); }
    // Along the row y, in five moves.
    void Drag(int x0, int x1, int y) const
    {
        const std::string move = " mousemove --window " + window_ + " ", row = " " + std::to_string(y);
        std::string command = "xdotool" + move + std::to_string(x0) + row + " mousedown 1";
        for (int i = 1; i <= 5; ++i)
            command += move + std::to_string(x0 + (x1 - x0) * i / 5) + row + " sleep 0.05";
        Shell(command + " mouseup 1");
    }
    // Waits until the drawn picture stops changing; the picture of that moment.
    Picture Settled() const
    {
        Picture last;
        for (int i = 0; i < 60; ++i) {
            Shell("xwd -silent -id " + window_ + " -out " + dump_);
            Picture next = ReadXwd(FileText(dump_));
            if (next == last && Colours(next) > 1)
                return next;
            last = std::move(next);
            std::this_thread::sleep_for(150ms);
        }
        return last;
    }
    // "Quitter", the last item of the first menu, from the keyboard; the exit status.
    int QuitFromMenu()
    {
        Keys("F10 Up Return");
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
    std::string window_, dump_;
};

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs a display (the test command runs these under Xvfb)";
    }
    TempFolder folder;
    const std::string ini = folder / "quillo.ini";
};

TEST_F(GuiTest, FirstStartWritesTheDefaultsThenEachSwitchAtOnceAndKeepsTheSizeItClosesWith)
{
    {
        Viewer viewer({"--settings", ini}, folder);
        ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
        EXPECT_EQ(viewer.Geometry(), "400x430");
        const std::string text = FileText(ini);
        for (const char* key : {"BackColorR=0.5", "GroundScale=10", "Shininess=100", "EdgeWidth=0.002",
                                "AnimeShadeThreshold3=0.8"})
            EXPECT_NE(text.find(key), std::string::npos) << key;
        for (const char* key : {"UseEdge", "DrawGround"})  // switches only once changed
            EXPECT_EQ(text.find(key), std::string::npos) << key;
        // Affichage > Sol: the third item of the second menu.
        viewer.Keys("F10 Right Down Down Down Return");
        for (int i = 0; i < 40 && FileText(ini).find("DrawGround=0") == std::string::npos; ++i)
            std::this_thread::sleep_for(50ms);
        EXPECT_NE(FileText(ini).find("DrawGround=0"), std::string::npos) << FileText(ini);
        viewer.Resize("800 600");
        EXPECT_EQ(viewer.QuitFromMenu(), 0);
    }
    const std::string text = FileText(ini);
    EXPECT_NE(text.find("Width=800"), std::string::npos) << text;
    EXPECT_NE(text.find("Height=600"), std::string::npos);

    Viewer again({"--settings", ini}, folder);
    ASSERT_TRUE(again.WaitForWindow("Quillomark"));
    EXPECT_EQ(again.Geometry(), "800x600");
}

// Each action changes the picture of the sample, lit, opened from the command
// line. The frame rate of the overlay would change every frame: it stays off.
TEST_F(GuiTest, SampleMovesWithADragTurnsWithTheArrowsAndShowsAndCommitsItsSkeleton)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    Picture last = viewer.Settled();
    EXPECT_GT(Colours(last), 50u);  // a lit figure, not a cleared window

    const std::pair<const char*, std::function<void()>> actions[] = {
        {"drag from empty space at the left", [&] { viewer.Drag(60, 160, 300); }},
        {"left arrow", [] { Shell("xdotool keydown Left sleep 0.4 keyup Left"); }},
        {"skeleton edit mode from its menu", [&] { viewer.Keys("F10 Right Right Down Return"); }},
        {"drag of the skeleton, committed", [&] { viewer.Drag(60, 100, 300); }}};
    for (const auto& [action, run] : actions) {
        run();
        Picture next = viewer.Settled();
        ASSERT_EQ(next.size(), last.size()) << action;
        EXPECT_NE(next, last) << action;
        last = std::move(next);
    }
}

// The model menu items through their file dialogs: a tall OBJ box replaces
// the figure, and the mesh goes out again as binary STL.
TEST_F(GuiTest, ModelImportAndExportGoThroughTheirDialogs)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    SetFileText(folder / "box.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nv 0 3 0\nv 1 3 0\nv 1 3 1\nv 0 3 1\n"
                                    "f 1 2 3 4\nf 8 7 6 5\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 4 8 5 1\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const Picture figure = viewer.Settled();
    const std::string down8 = " Down Down Down Down Down Down Down Down";
    const struct {
        std::string keys, title, typed;
    } steps[] = {{"F10" + down8, "Importer un mod", folder / "box.obj"},
                 {"F10" + down8 + " Down", "Exporter le mod", folder / "box.stl"}};
    for (const auto& step : steps) {
        ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));  // the focus back from the last dialog
        viewer.Keys(step.keys);
        std::this_thread::sleep_for(500ms);  // the menu open before its item is picked
        viewer.Keys("Return");
        ASSERT_NE(Shell("timeout 30 xdotool search --sync --onlyvisible --name '" + step.title + "'"), "");
        if (step.title == "Exporter le mod")
            viewer.Keys("Home shift+End");  // over the proposed name
        Shell("xdotool type --delay 30 '" + step.typed + "'");
        viewer.Keys("Return");
        Shell("timeout 20 sh -c \"while xdotool search --onlyvisible --name '" + step.title + "'; do sleep 0.2; done\"");
    }
    for (int i = 0; i < 100 && FileText(folder / "box.stl").size() < 84; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(FileText(folder / "box.stl").size(), 84u + 12 * 50) << "twelve triangles";
    EXPECT_NE(viewer.Settled(), figure);
}

} // namespace
} // namespace qm
