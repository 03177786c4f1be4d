// The viewer driven from outside, as a user would: under Xvfb, with real key
// presses (xdotool) and window dumps (xwd). Run by CTest through xvfb-run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "PngPicture.h"
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
// rows of 3 or 4 bytes a pixel (least significant first) at the test
// display's depth, padded to the dump's line length.
Picture ReadXwd(const std::string& bytes)
{
    auto be32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = at; i < at + 4 && i < bytes.size(); ++i)
            v = v << 8 | uint8_t(bytes[i]);
        return v;
    };
    const size_t data = be32(0) + size_t(be32(76)) * 12, width = be32(16), height = be32(20);
    const size_t pixelBytes = be32(44) / 8, lineBytes = be32(48);
    Picture pixels;
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0, at = data + y * lineBytes; x < width && at + 3 <= bytes.size(); ++x, at += pixelBytes)
            pixels.push_back(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 | uint32_t(uint8_t(bytes[at + 2])) << 16);
    return pixels;
}

// The box around the pixels below the menu bar that differ from the
// background at the left edge, and how many they are: where the model is drawn.
struct ModelBox {
    int x0 = 1 << 30, x1 = -1, y0 = 1 << 30, y1 = -1, count = 0;
    double filled = 0;  // the larger of the box's width and height fractions
    ModelBox(const Picture& p, int width)
    {
        const size_t top = size_t(width) * 45;
        for (size_t i = top; i < p.size(); ++i)
            if (p[i] != p[top + 2]) {
                x0 = std::min(x0, int(i % size_t(width))), x1 = std::max(x1, int(i % size_t(width)));
                y0 = std::min(y0, int(i / size_t(width))), y1 = std::max(y1, int(i / size_t(width)));
                ++count;
            }
        filled = std::max(double(x1 - x0) / width, double(y1 - y0) / double(p.size() / size_t(width) - 45));
    }
};

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
        window_ = Shell("timeout 30 xdotool search --all --sync --onlyvisible --pid " + std::to_string(pid_) + " --name '" +
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

// The other buttons move the camera; the picture shows where it went.
TEST_F(GuiTest, WheelRightAndMiddleDragsMoveTheCameraAndFBringsTheModelBack)
{
    SetFileText(ini, "[View]\nDrawCount=0\nDrawGround=0\nDrawShadow=0\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const int width = std::stoi(viewer.Geometry());
    const ModelBox start(viewer.Settled(), width);
    ASSERT_GT(start.count, 1000);

    Shell("xdotool mousedown 2 mousemove_relative 30 0 sleep 0.1 mousemove_relative 30 0 sleep 0.1 mouseup 2");
    const ModelBox moved(viewer.Settled(), width);
    EXPECT_NEAR(moved.x0 - start.x0, 60, 6) << "the model follows the pointer";
    EXPECT_NEAR(moved.x1 - start.x1, 60, 6);

    Shell("xdotool click --repeat 3 --delay 100 4");
    const ModelBox near(viewer.Settled(), width);
    EXPECT_GT(near.count, moved.count * 3 / 2) << "three notches up bring the camera closer";

    Shell("xdotool mousedown 3 mousemove_relative 75 0 sleep 0.1 mousemove_relative 75 0 sleep 0.1 mouseup 3");
    const ModelBox turned(viewer.Settled(), width);
    EXPECT_LT(turned.x1 - turned.x0, (near.x1 - near.x0) * 85 / 100) << "turned half a quarter, the arms look shorter";

    for (int i = 0; i < 3; ++i)  // Shift + right drag, three times the width of the figure away
        Shell("xdotool keydown shift mousedown 3 mousemove_relative -- -100 0 sleep 0.1 mousemove_relative -- -100 0 "
              "sleep 0.1 mouseup 3 keyup shift mousemove_relative 200 0");
    EXPECT_LT(ModelBox(viewer.Settled(), width).count, 100) << "out of sight";
    viewer.Keys("f");
    const ModelBox framed(viewer.Settled(), width);
    EXPECT_GT(framed.filled, 0.8) << framed.count;

    // A left drag from empty space outlines what it selects while the button is held: the
    // pointer, back where it started, goes to (30, 50).
    Shell("xdotool mousemove_relative -- -300 -150 mousedown 1 mousemove_relative 30 30 sleep 0.1 "
          "mousemove_relative 30 30");
    const Picture held = viewer.Settled();
    Shell("xdotool mouseup 1");
    const auto whiteOnTopSide = [&](const Picture& p) {
        return std::count(p.begin() + width * 50 + 35, p.begin() + width * 50 + 85, 0xffffffu);
    };
    EXPECT_EQ(whiteOnTopSide(held), 50);
    EXPECT_EQ(whiteOnTopSide(viewer.Settled()), 0);
}

// "Enregistrer l'image..." saves what the headless renderer draws of the same scene at the same size.
TEST_F(GuiTest, SavedPictureIsTheHeadlessRenderOfTheSameScene)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    Viewer viewer({"--settings", ini, QM_SAMPLE_FIGURE}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    viewer.Settled();
    viewer.Keys("F10 Down Down Down Down Down Return");
    ASSERT_NE(Shell("timeout 30 xdotool search --sync --onlyvisible --name \"Enregistrer l'image\""), "");
    const std::string saved = folder / "saved.png", drawn = folder / "drawn.png";
    Shell("xdotool key ctrl+a type --delay 20 '" + saved + "'");
    viewer.Keys("Return");
    for (int i = 0; i < 100 && !std::filesystem::exists(saved); ++i)
        std::this_thread::sleep_for(100ms);
    const test::RgbPicture window = test::ReadPng(saved);
    ASSERT_GT(window.width, 100) << "no picture saved";
    const std::string size = std::to_string(window.width) + "x" + std::to_string(window.height);
    ASSERT_EQ(std::system((std::string(QUILLO_BIN) + " --render " + QM_SAMPLE_FIGURE + " " + drawn + " --size " + size +
                           " --frames 2 --settings " + ini).c_str()),
              0);
    const test::RgbPicture headless = test::ReadPng(drawn);
    ASSERT_EQ(headless.rgb.size(), window.rgb.size());
    int worst = 0;
    for (size_t i = 0; i < window.rgb.size(); ++i)
        worst = std::max(worst, std::abs(int(window.rgb[i]) - int(headless.rgb[i])));
    EXPECT_LE(worst, 2);
}

// The file commands as a user meets them: a damaged scene from the recent
// list, export, Save As and import through the file dialogs, which start in
// the scene's folder (the viewer runs elsewhere) and go by the command, not
// by the name typed.
TEST_F(GuiTest, FileCommandsKeepTheSceneAndWriteWhatTheyNameWhereTheSceneIs)
{
    const std::string scene = folder / "fig.abd", bad = folder / "bad.abd";
    std::filesystem::copy_file(QM_SAMPLE_FIGURE, scene);
    SetFileText(bad, "\x0bVURizu(009)");
    SetFileText(ini, "[View]\nDrawCount=0\n[Recent File List]\nFile1=" + bad + "\n");
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i)
            std::this_thread::sleep_for(100ms);
        return done();
    };
    const auto dialogShown = [] { return Shell("xdotool search --onlyvisible --class quillo | wc -l") != "1"; };
    const auto inode = [](const std::string& path) { return Shell("stat -c %i " + path + " 2>/dev/null"); };
    Viewer viewer({"--settings", ini, scene}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));

    // Fichier récent > bad.abd, the second entry: refused, said, and forgotten.
    viewer.Keys("F10 Up Up Right Down Return");
    ASSERT_TRUE(waitFor(dialogShown)) << "the refusal is said";
    viewer.Keys("Return");
    EXPECT_TRUE(waitFor([&] { return !dialogShown(); }));
    ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));
    const std::string before = inode(scene);
    viewer.Keys("ctrl+s");
    EXPECT_TRUE(waitFor([&] { return inode(scene) != before; })) << "saved";
    EXPECT_EQ(FileText(scene).size(), FileText(QM_SAMPLE_FIGURE).size()) << "the whole figure, not an empty scene";

    // Enregistrer en format DXF... to a name that is no DXF name.
    viewer.Keys("F10 Up Up Up Return");
    ASSERT_TRUE(waitFor(dialogShown));
    Shell("xdotool key ctrl+a type mesh.txt");
    viewer.Keys("Return");
    EXPECT_TRUE(waitFor([&] { return FileText(folder / "mesh.txt").find("3DFACE") != std::string::npos; }));

    // Enregistrer Sous... proposes the scene's name: "new-" typed before it.
    viewer.Keys("F10 Down Down Down Down Return");
    ASSERT_TRUE(waitFor(dialogShown));
    viewer.Keys("Home");
    Shell("xdotool type new-");
    viewer.Keys("Return");
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(folder / "new-fig.abd"); }));
    EXPECT_FALSE(std::filesystem::exists(folder / "new-fig.abd.abd"));
    ASSERT_TRUE(viewer.WaitForWindow("new-fig.abd - Quillomark"));

    // Ouvrir un fichier DXF... reads mesh.txt as DXF; saving then keeps that mesh.
    const Picture figure = viewer.Settled();
    viewer.Keys("F10 Up Up Up Up Return");
    ASSERT_TRUE(waitFor(dialogShown));
    Shell("xdotool type " + (folder / "mesh.txt"));
    std::this_thread::sleep_for(500ms);  // the location field completes what is typed
    viewer.Keys("Return");
    EXPECT_TRUE(waitFor([&] { return !dialogShown(); })) << "no message";
    EXPECT_NE(viewer.Settled(), figure);

    // Ouvrir un fichier ROK... on a file that is none empties the mesh: Save no longer names the scene.
    viewer.Keys("F10 Up Up Up Up Up Return");
    ASSERT_TRUE(waitFor(dialogShown));
    Shell("xdotool type " + (folder / "fig.abd"));
    std::this_thread::sleep_for(500ms);
    viewer.Keys("Return");
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(waitFor(dialogShown)) << "the refusal is said";
    viewer.Keys("Return");
    EXPECT_TRUE(waitFor([&] { return !dialogShown(); }));
    EXPECT_TRUE(viewer.WaitForWindow("Default - Quillomark")) << "the scene is no longer new-fig.abd";

    EXPECT_EQ(viewer.QuitFromMenu(), 0);
    EXPECT_EQ(FileText(ini).find("bad.abd"), std::string::npos) << FileText(ini);
}

} // namespace
} // namespace qm
