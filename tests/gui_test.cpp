// The viewer driven from outside, as a user would: under Xvfb with a window
// manager (openbox), with real key presses (xdotool), window dumps (xwd), and
// closed through the window manager (wmctrl). Run by CTest through xvfb-run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "PngPicture.h"
#include "TempFolder.h"
#include "resources/MenuTable.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"

#include <X11/Xlib.h>  // last: its macros would clash with the names above

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

// Whether done() holds within 10 s.
bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 100 && !done(); ++i)
        std::this_thread::sleep_for(100ms);
    return done();
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

// The box around the pixels below the menu bar (menuRows high) that differ
// from the background at the left edge, and how many they are: where the
// model is drawn.
struct ModelBox {
    int x0 = 1 << 30, x1 = -1, y0 = 1 << 30, y1 = -1, count = 0;
    double filled = 0;  // the larger of the box's width and height fractions
    // Below the menu bar and above the status bar.
    ModelBox(const Picture& p, int width, size_t menuRows = 45, size_t statusRows = 30)
    {
        const size_t top = size_t(width) * menuRows, bottom = p.size() - std::min(p.size(), size_t(width) * statusRows);
        for (size_t i = top; i < bottom; ++i)
            if (p[i] != p[top + 2]) {
                x0 = std::min(x0, int(i % size_t(width))), x1 = std::max(x1, int(i % size_t(width)));
                y0 = std::min(y0, int(i / size_t(width))), y1 = std::max(y1, int(i / size_t(width)));
                ++count;
            }
        filled = std::max(double(x1 - x0) / width,
                          double(y1 - y0) / double(p.size() / size_t(width) - menuRows - statusRows));
    }
};

// A process started with args (args[0] found on PATH), its output to the
// file given; -1 when it cannot be started.
pid_t Start(std::vector<std::string> args, const std::string& output)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status of pid once it has ended within the time given; -1 when it
// was killed by a signal, -2 when it still runs.
int WaitForExit(pid_t pid, std::chrono::milliseconds within)
{
    for (auto end = std::chrono::steady_clock::now() + within; std::chrono::steady_clock::now() < end;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(50ms);
    }
    return -2;
}

// Drops the file on the window as a file manager does, through the X
// drag-and-drop messages from a window of the test's own, which hands over
// the file's address when the viewer asks; whether the viewer took it.
bool DropFile(const std::string& window, const std::string& path)
{
    Display* display = XOpenDisplay(nullptr);
    const auto atom = [&](const char* name) { return XInternAtom(display, name, False); };
    const Window target = std::stoul(window), root = DefaultRootWindow(display);
    const Window source = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, atom("XdndSelection"), source, CurrentTime);
    const auto send = [&](const char* type, long a, long b, long c, long d) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = atom(type);
        e.xclient.format = 32;
        const long data[] = {long(source), a, b, c, d};
        std::copy(std::begin(data), std::end(data), e.xclient.data.l);
        XSendEvent(display, target, False, NoEventMask, &e);
        XFlush(display);
    };
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, target, root, 150, 150, &x, &y, &child);
    send("XdndEnter", 5L << 24, long(atom("text/uri-list")), 0, 0);
    send("XdndPosition", 0, long(x) << 16 | y, CurrentTime, long(atom("XdndActionCopy")));
    bool dropped = false, finished = false;
    for (int wait = 0; wait < 500 && !finished; ++wait, std::this_thread::sleep_for(20ms)) {
        while (XPending(display) && !finished) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == SelectionRequest) {
                const XSelectionRequestEvent r = e.xselectionrequest;
                const std::string uri = "file://" + path + "\r\n";
                XChangeProperty(display, r.requestor, r.property, r.target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(uri.data()), int(uri.size()));
                XEvent reply{};
                reply.xselection = {SelectionNotify, 0, True, display, r.requestor, r.selection, r.target, r.property,
                                    r.time};
                XSendEvent(display, r.requestor, False, NoEventMask, &reply);
            } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndStatus") && !dropped) {
                dropped = (e.xclient.data.l[1] & 1) != 0;  // accepted
                send("XdndDrop", 0, CurrentTime, 0, 0);
            } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndFinished")) {
                finished = dropped;
            }
        }
    }
    XDestroyWindow(display, source);
    XCloseDisplay(display);
    return finished;
}

// A window manager on the test display, as every desktop has: it gives the
// windows their focus and frames and passes on close requests.
class WindowManager final : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            return;
        // On a loaded machine openbox can give up on a display that is still
        // coming up: it is started again while a minute lasts.
        const std::string log = (std::filesystem::temp_directory_path() / "qm_gui_openbox.log").string();
        for (int i = 0; i < 1200 && Shell("wmctrl -m 2>/dev/null").empty(); ++i) {
            if (pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) == pid_)
                pid_ = Start({"openbox"}, log);
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_FALSE(Shell("wmctrl -m 2>/dev/null").empty()) << "openbox did not start: " << Shell("tail -5 " + log);
    }
    void TearDown() override
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};
[[maybe_unused]] const auto* const windowManager = ::testing::AddGlobalTestEnvironment(new WindowManager);

// The keys that pick an item of a menu (kMenus[menu]) by its label (without
// its shortcut), counted in the menu table so that new items move nothing here.
std::string MenuKeys(int menu, const std::string& label)
{
    std::string keys = "F10";
    for (int m = 0; m < menu; ++m)
        keys += " Right";
    const menus::Menu& items = menus::kMenus[menu];
    for (int i = 0; i < items.count; ++i) {
        const menus::MenuItem& item = items.items[i];
        if (item.kind == menus::ItemKind::Separator)
            continue;
        keys += " Down";
        if (std::string(item.label).substr(0, std::string(item.label).find('\t')) == label)
            return keys + " Return";
    }
    ADD_FAILURE() << "no item " << label;
    return "Escape";
}

std::string FileMenuKeys(const std::string& label)
{
    return MenuKeys(0, label);
}

// The nodes drawn over the mesh in skeleton edit mode (white squares of six
// pixels) from left to right: their centres.
std::vector<std::pair<int, int>> NodesDrawn(const Picture& p, int width)
{
    std::vector<std::pair<int, int>> nodes;
    const int height = int(p.size()) / width;
    auto white = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height && p[size_t(y * width + x)] == 0xffffffu;
    };
    for (int x = 0; x + 5 < width; ++x)
        for (int y = 30; y + 5 < height; ++y) {
            bool square = true;
            for (int i = 0; i < 6 && square; ++i)
                for (int j = 0; j < 6 && square; ++j)
                    square = white(x + i, y + j);
            const bool seen = std::any_of(nodes.begin(), nodes.end(), [&](auto n) {
                return std::abs(n.first - x - 3) < 6 && std::abs(n.second - y - 3) < 6;
            });
            if (square && !seen)
                nodes.emplace_back(x + 3, y + 3);
        }
    return nodes;
}

// The viewer started with args, killed at the end unless it has exited.
class Viewer {
public:
    Viewer(std::vector<std::string> args, const TempFolder& folder)
        : dump_(folder / "window.xwd"), output_(folder / "viewer.txt")
    {
        args.insert(args.begin(), QUILLO_BIN);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        pid_ = Start(std::move(args), output_);
    }
    ~Viewer()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The window whose title contains name, once it is shown, active, with the pointer over it.
    bool WaitForWindow(const std::string& name)
    {
        window_.clear();
        for (int attempt = 0; attempt < 3 && window_.empty(); ++attempt)  // a window closing mid-search fails it
            window_ = Shell("timeout 30 xdotool search --all --sync --onlyvisible --pid " + std::to_string(pid_) +
                            " --name '" + name + "' | head -n 1");
        if (window_.empty())
            return false;
        Shell("xdotool windowactivate --sync " + window_ + " mousemove --window " + window_ + " 120 200");
        return true;
    }
    const std::string& Id() const { return window_; }
    std::string Output() const { return FileText(output_); }
    // The size of the window's client area, without the frame the window manager adds.
    std::string Geometry() const
    {
        return Shell("xdotool getwindowgeometry " + window_ + " | sed -n 's/.*Geometry: //p'");
    }
    // The size with the window manager's frame, as the program sets and keeps it.
    std::string OuterGeometry() const
    {
        int width = 0, height = 0, left = 0, right = 0, top = 0, bottom = 0;
        std::sscanf(Geometry().c_str(), "%dx%d", &width, &height);
        std::sscanf(Shell("xprop -id " + window_ + " _NET_FRAME_EXTENTS | sed 's/.*= //'").c_str(), "%d, %d, %d, %d",
                    &left, &right, &top, &bottom);
        return std::to_string(width + left + right) + "x" + std::to_string(height + top + bottom);
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
    // From (x, y) by dy pixels down, in five moves.
    void DragDown(int x, int y, int dy) const
    {
        std::string command = "xdotool mousemove --window " + window_ + " " + std::to_string(x) + " " +
                              std::to_string(y) + " mousedown 1";
        for (int i = 1; i <= 5; ++i)
            command += " mousemove --window " + window_ + " " + std::to_string(x) + " " +
                       std::to_string(y + dy * i / 5) + " sleep 0.05";
        Shell(command + " mouseup 1");
    }
    // Waits until the drawn picture stops changing; the picture of that
    // moment, or none when it still changes after 9 s.
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
        return {};  // still moving
    }
    // "Quitter", the last item of the first menu, from the keyboard, the
    // question to save answered with keys if given; the exit status.
    int QuitFromMenu(const std::string& answer = "")
    {
        Keys("F10 Up Return");
        return answer.empty() || Answer(answer) ? Exited() : -2;
    }
    // How many windows of the viewer are shown: the main one and its dialogs.
    size_t Windows() const { return std::stoul(Shell("xdotool search --onlyvisible --class quillo | wc -l")); }
    // Whether a dialog is shown (or, wanted false, none) within 10 s.
    bool Dialog(bool shown = true) const { return WaitUntil([&] { return (Windows() > 1) == shown; }); }
    // The item of "Fichier" chosen; in its dialog, keys pressed, text typed and Return.
    bool FileDialog(const std::string& item, const std::string& keys, const std::string& typed) const
    {
        if (!Dialog(false))  // the last one gone first
            return false;
        Keys(FileMenuKeys(item));
        if (!Dialog())
            return false;
        Shell("xdotool " + (keys.empty() ? "" : "key " + keys + " ") + "type --delay 30 '" + typed + "'");
        std::this_thread::sleep_for(500ms);  // the location field completes what is typed
        Keys("Return");
        return true;
    }
    // The program's own message box (titled as the program alone) answered
    // with keys; false when none is shown within 10 s or it stays.
    bool Answer(const std::string& keys) const
    {
        const std::string search = "xdotool search --all --onlyvisible --pid " + std::to_string(pid_);
        std::string box;
        for (int attempt = 0; attempt < 3 && box.empty(); ++attempt)  // as in WaitForWindow
            box = Shell("timeout 10 " + search + " --sync --name '^Quillomark$' | head -n 1");
        return !box.empty() && Shell("xdotool windowactivate --sync " + box + " key " + keys).empty() &&
               WaitUntil([&] { return Shell(search + " --name '^Quillomark$' | grep -x " + box).empty(); });
    }
    // The window closed as a desktop closes it (its title bar's close button,
    // through the window manager), the question to save answered with keys if
    // given; the exit status.
    int Close(const std::string& answer = "")
    {
        Shell("wmctrl -i -c " + window_);
        return answer.empty() || Answer(answer) ? Exited() : -2;
    }

private:
    // The exit status once the viewer has ended within 10 s; -2 when it still runs.
    int Exited()
    {
        const int status = WaitForExit(pid_, 10s);
        exited_ = status != -2;
        return status;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    std::string window_, dump_, output_;
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
    std::string closedWith;
    {
        Viewer viewer({"--settings", ini}, folder);
        ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
        EXPECT_EQ(viewer.OuterGeometry(), "400x430");
        EXPECT_EQ(viewer.Output(), "") << "no toolkit warnings";
        const std::string text = FileText(ini);  // the defaults, and a switch only once it is changed
        EXPECT_TRUE(text.find("EdgeWidth=0.002") != std::string::npos && text.find("DrawGround") == std::string::npos);
        // Affichage > Sol: the third item of the second menu.
        viewer.Keys("F10 Right Down Down Down Return");
        EXPECT_TRUE(WaitUntil([&] { return FileText(ini).find("DrawGround=0") != std::string::npos; }))
            << FileText(ini);
        viewer.Resize("800 600");
        closedWith = viewer.OuterGeometry();
        EXPECT_EQ(viewer.Close(), 0);
    }
    Viewer again({"--settings", ini}, folder);
    ASSERT_TRUE(again.WaitForWindow("Quillomark"));
    EXPECT_EQ(again.Geometry(), "800x600");
    EXPECT_EQ(again.OuterGeometry(), closedWith);

    // Fichier > Nouveau: another copy, on the same settings file, so of the same size.
    again.Keys(FileMenuKeys("Nouveau"));
    const std::string other = Shell("for i in $(seq 50); do xdotool search --onlyvisible --name Quillomark | "
                                    "grep -vx " + again.Id() + " && break; sleep 0.2; done | head -n 1");
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(Shell("xdotool getwindowgeometry " + other + " | sed -n 's/.*Geometry: //p'"), "800x600");
    Shell("wmctrl -i -c " + other + "; xdotool windowactivate --sync " + again.Id());
    EXPECT_EQ(again.QuitFromMenu(), 0);
}

// Each action changes the picture of the sample, lit, opened from the command
// line. The frame rate of the overlay would change every frame: it stays off.
TEST_F(GuiTest, SampleMovesWithADragTurnsWithTheArrowsAndShowsAndCommitsItsSkeleton)
{
    SetFileText(ini, "[View]\nDrawCount=0\n");
    const std::string scene = folder / "figure.abd";
    std::filesystem::copy_file(QM_SAMPLE_FIGURE, scene);
    // No browser to be found: the web page command has nothing to start.
    const std::string path = std::getenv("PATH");
    setenv("PATH", "/nonexistent", 1);
    Viewer viewer({"--settings", ini, scene}, folder);
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    Picture last = viewer.Settled();
    EXPECT_GT(Colours(last), 50u);  // a lit figure, not a cleared window

    // "Enregistrer l'image..." saves what the headless renderer draws of the same scene at the same size.
    const std::string saved = folder / "saved.png", drawn = folder / "drawn.png";
    ASSERT_TRUE(viewer.FileDialog("Enregistrer l'image...", "ctrl+a", saved));
    WaitUntil([&] { return std::filesystem::exists(saved); });
    const test::RgbPicture window = test::ReadPng(saved);
    ASSERT_GT(window.width, 100) << "no picture saved";
    const std::string size = std::to_string(window.width) + "x" + std::to_string(window.height);
    ASSERT_EQ(std::system((std::string(QUILLO_BIN) + " --render " + scene + " " + drawn + " --size " + size +
                           " --frames 2 --settings " + ini).c_str()),
              0);
    const test::RgbPicture headless = test::ReadPng(drawn);
    ASSERT_EQ(headless.rgb.size(), window.rgb.size());
    int worst = 0;
    for (size_t i = 0; i < window.rgb.size(); ++i)
        worst = std::max(worst, std::abs(int(window.rgb[i]) - int(headless.rgb[i])));
    EXPECT_LE(worst, 2);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));  // the focus back from the dialog

    const std::pair<const char*, std::function<void()>> actions[] = {
        {"drag from empty space at the left", [&] { viewer.Drag(60, 160, 300); }},
        {"left arrow", [] { Shell("xdotool keydown Left sleep 0.4 keyup Left"); }},
        // The menu holds the keyboard when the key comes up: the camera stops all the same.
        {"left arrow released in a menu",
         [] { Shell("xdotool keydown Left sleep 0.3 key F10 sleep 0.3 keyup Left sleep 0.2 key Escape Escape"); }},
        {"skeleton edit mode from its menu", [&] { viewer.Keys("F10 Right Right Down Return"); }},
        {"drag of the skeleton, committed", [&] { viewer.Drag(60, 100, 300); }}};
    for (const auto& [action, run] : actions) {
        run();
        Picture next = viewer.Settled();
        ASSERT_EQ(next.size(), last.size()) << action;
        EXPECT_NE(next, last) << action;
        last = std::move(next);
    }

    // Aide > Site de l'auteur... without a browser: nothing is shown.
    viewer.Keys("F10 Left Down Return");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(viewer.Windows(), 1u);

    // Page Up held for half a second from the farthest zoom, then the scene
    // saved (Ctrl+S): the zoom moves 2 a frame at most, and in a small window
    // the frames still come at the display's rate (60 Hz under Xvfb), not as
    // fast as they can be drawn.
    viewer.Resize("160 120");
    RecordingMessages messages;
    CBodyDoc doc(messages);
    float distance[2] = {};
    for (const char* key : {"Next sleep 2.5 keyup Next", "KP_Prior sleep 0.5 keyup KP_Prior"}) {
        Shell(std::string("xdotool keydown ") + key);
        viewer.Settled();
        viewer.Keys("ctrl+s");
        std::this_thread::sleep_for(500ms);
        ASSERT_EQ(LoadSceneFile(doc, scene), LoadResult::Ok);
        distance[key[0] == 'K'] = doc.ViewState().cameraDistance;
    }
    EXPECT_EQ(distance[0], 200.0f);
    EXPECT_GT(distance[0] - distance[1], 5.0f) << "Page Up (of the numpad, held) zooms in";
    EXPECT_LT(distance[0] - distance[1], 100.0f) << "more than 50 frames in half a second";
    EXPECT_EQ(viewer.Close(), 0);
}

// In skeleton edit mode a drag from a joint moves that joint alone, and with
// "Miroir" on its partner too, the mirror way; each release is kept as the
// rest pose, which the saved scene holds.
TEST_F(GuiTest, SkeletonEditDragsOneJointAndMiroirMovesItsPartnerMirrored)
{
    SetFileText(ini, "[View]\nDrawCount=0\nDrawGround=0\nDrawShadow=0\n");
    const std::string scene = folder / "figure.abd";
    std::filesystem::copy_file(QM_SAMPLE_FIGURE, scene);
    Viewer viewer({"--settings", ini, scene}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const int width = std::stoi(viewer.Geometry());
    viewer.Keys(MenuKeys(2, "Mode édition du squelette"));
    RecordingMessages messages;
    CBodyDoc before(messages), after(messages);
    ASSERT_EQ(LoadSceneFile(before, scene), LoadResult::Ok);
    const auto rest = [](CBodyDoc& doc, int joint) { return JointNode(doc.figures[0], joint).restPosition; };
    // The drawn nodes farthest right and left: the character's left hand (it
    // faces the camera) and its right hand.
    const auto dragHand = [&](bool left, int dy) {
        const auto nodes = NodesDrawn(viewer.Settled(), width);
        ASSERT_GE(nodes.size(), 15u);
        const auto [x, y] = left ? nodes.back() : nodes.front();
        const std::string saved = FileText(scene);
        viewer.DragDown(x, y, dy);
        viewer.Settled();
        viewer.Keys("ctrl+s");
        ASSERT_TRUE(WaitUntil([&] { return FileText(scene) != saved; }));
        ASSERT_EQ(LoadSceneFile(after, scene), LoadResult::Ok);
    };

    dragHand(true, 40);
    EXPECT_GT(rest(after, kHandNeg).z - rest(before, kHandNeg).z, 1.0f) << "the left hand went down";
    for (int joint : {kWaist, kNeck, kShoulderNeg, kElbowNeg, kHandPos, kFootNeg})
        EXPECT_EQ(rest(after, joint), rest(before, joint)) << joint;

    viewer.Keys(MenuKeys(2, "Miroir"));
    EXPECT_TRUE(WaitUntil([&] { return FileText(ini).find("MirrorEdit=1") != std::string::npos; })) << FileText(ini);
    ASSERT_EQ(LoadSceneFile(before, scene), LoadResult::Ok);
    dragHand(false, -30);
    const Vec3 right = rest(after, kHandPos) - rest(before, kHandPos);
    const Vec3 left = rest(after, kHandNeg) - rest(before, kHandNeg);
    EXPECT_LT(right.z, -1.0f) << "the right hand went up";
    EXPECT_NEAR(left.z, right.z, 1e-3);
    EXPECT_NEAR(left.x, -right.x, 1e-3);
    EXPECT_EQ(rest(after, kElbowNeg), rest(before, kElbowNeg));
    EXPECT_EQ(viewer.Close(), 0);
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
    viewer.Keys("Left f");  // framed while the camera still turns: it stops where it was framed
    const Picture framedPicture = viewer.Settled();
    const ModelBox framed(framedPicture, width);
    EXPECT_GT(framed.filled, 0.8) << framed.count;
    viewer.Keys("f");
    EXPECT_TRUE(viewer.Settled() == framedPicture) << "no glide after the framing";

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

// On a desktop scaled to 200 %, the view's pixels are the display's: the
// scene fills them, a click picks the joint under the pointer, and pictures
// are saved at that size, without the empty view's hint.
TEST_F(GuiTest, AtTwiceTheScaleTheSceneFillsTheViewAndAClickPicksTheJointUnderThePointer)
{
    SetFileText(ini, "[View]\nDrawCount=0\nDrawGround=0\nDrawShadow=0\n");
    setenv("GDK_SCALE", "2", 1);
    Viewer viewer({"--settings", ini}, folder);
    unsetenv("GDK_SCALE");
    ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
    const int width = std::stoi(viewer.Geometry());
    EXPECT_EQ(width, 800) << "400 points";
    const Picture empty = viewer.Settled();
    const auto middle = empty.begin() + std::ptrdiff_t(empty.size() / 2);
    EXPECT_GT(Colours(Picture(middle - 60 * width, middle + 60 * width)), 3u) << "the hint's text in the middle";
    const std::string saved = folder / "empty.png";
    ASSERT_TRUE(viewer.FileDialog("Enregistrer l'image...", "ctrl+a", saved));
    WaitUntil([&] { return std::filesystem::exists(saved); });
    const test::RgbPicture picture = test::ReadPng(saved);
    EXPECT_EQ(picture.width, width);
    EXPECT_TRUE(picture.rgb.size() > 3 && std::equal(picture.rgb.begin() + 3, picture.rgb.end(), picture.rgb.begin()))
        << "the background alone";

    ASSERT_TRUE(viewer.FileDialog("Ouvrir...", "", QM_SAMPLE_FIGURE));
    ASSERT_TRUE(viewer.WaitForWindow("figure.abd - Quillomark"));
    const ModelBox box(viewer.Settled(), width, 100);
    EXPECT_NEAR(box.x0 + box.x1, width, width / 10) << "centred, not in the lower left quarter";
    EXPECT_LT(box.y0, 400) << "the head in the upper half";

    // Skeleton edit mode; the first node drawn whole (a white square of 12
    // pixels) is clicked, and turns red, selected.
    viewer.Keys("F10 Right Right Down Return");
    const Picture skeleton = viewer.Settled();
    const auto white = [&](int x, int y) { return skeleton[size_t(y * width + x)] == 0xffffffu; };
    int node = -1;
    for (int at = 100 * width; node < 0 && at + 13 * width < int(skeleton.size()); ++at) {
        bool square = !white(at % width - 1, at / width) && !white(at % width + 12, at / width);
        for (int i = 0; square && i < 144; ++i)
            square = white(at % width + i % 12, at / width + i / 12);
        node = square ? at + 6 * width + 6 : -1;
    }
    ASSERT_GE(node, 0) << "no node drawn";
    Shell("xdotool mousemove --window " + viewer.Id() + " " + std::to_string(node % width) + " " +
          std::to_string(node / width) + " click 1");
    EXPECT_EQ(viewer.Settled()[size_t(node)], 0xff2626u) << "red";
    EXPECT_EQ(viewer.Close(), 0);
}

// The file commands as a user meets them: a damaged scene from the recent
// list, export, Save As and imports through the file dialogs, which start in
// the scene's folder (the viewer runs elsewhere) and go by the command, not
// by the name typed.
TEST_F(GuiTest, FileCommandsKeepTheSceneAndWriteWhatTheyNameWhereTheSceneIs)
{
    const std::string scene = folder / "fig.abd", bad = folder / "bad.abd";
    std::filesystem::copy_file(QM_SAMPLE_FIGURE, scene);
    SetFileText(bad, "\x0bVURizu(009)");
    SetFileText(ini, "[View]\nDrawCount=0\n[Recent File List]\nFile1=" + bad + "\n");
    const auto inode = [](const std::string& path) { return Shell("stat -c %i " + path + " 2>/dev/null"); };
    Viewer viewer({"--settings", ini, scene}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));

    // Fichier récent > bad.abd, the second entry: refused, said, and forgotten.
    viewer.Keys("F10 Up Up Right Down Return");
    ASSERT_TRUE(viewer.Dialog()) << "the refusal is said";
    viewer.Keys("Return");
    EXPECT_TRUE(viewer.Dialog(false));
    ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));
    const std::string before = inode(scene);
    viewer.Keys("ctrl+s");
    EXPECT_TRUE(WaitUntil([&] { return inode(scene) != before; })) << "saved";
    EXPECT_EQ(FileText(scene).size(), FileText(QM_SAMPLE_FIGURE).size()) << "the whole figure, not an empty scene";

    // The picture and the model are proposed under the scene's name.
    for (const char* item : {"Enregistrer l'image...", "Exporter le modèle..."}) {
        ASSERT_TRUE(viewer.FileDialog(item, "", "") && viewer.Dialog(false));
        ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));
    }
    EXPECT_TRUE(std::filesystem::exists(folder / "fig.png") && std::filesystem::exists(folder / "fig.glb"));

    // Enregistrer en format DXF... to a name that is no DXF name.
    ASSERT_TRUE(viewer.FileDialog("Enregistrer en format DXF...", "ctrl+a", "mesh.txt"));
    EXPECT_TRUE(WaitUntil([&] { return FileText(folder / "mesh.txt").find("3DFACE") != std::string::npos; }));

    // A model export whose side file exists asks first, under the name that
    // gets its extension: No brings the dialog back, and nothing is written.
    SetFileText(folder / "x.bin", "old");
    ASSERT_TRUE(viewer.FileDialog("Exporter le modèle...", "ctrl+a", "x.gltf") && viewer.Answer("alt+n"));
    ASSERT_TRUE(viewer.Dialog());
    std::this_thread::sleep_for(1s);
    viewer.Keys("Escape");
    EXPECT_TRUE(viewer.Dialog(false));
    EXPECT_TRUE(FileText(folder / "x.bin") == "old" && !std::filesystem::exists(folder / "x.gltf"));

    // Enregistrer Sous... proposes the scene's name: "new-" typed before it;
    // the existing file of that name is replaced once the user agrees.
    SetFileText(folder / "new-fig.abd", "old");
    ASSERT_TRUE(viewer.FileDialog("Enregistrer &Sous...", "Home", "new-") && viewer.Answer("alt+y"));
    EXPECT_TRUE(WaitUntil([&] { return FileText(folder / "new-fig.abd").size() > 3; }));
    EXPECT_FALSE(std::filesystem::exists(folder / "new-fig.abd.abd"));
    ASSERT_TRUE(viewer.WaitForWindow("new-fig.abd - Quillomark"));

    // Ouvrir un fichier DXF... reads mesh.txt as DXF; saving then keeps that mesh.
    const Picture figure = viewer.Settled();
    ASSERT_TRUE(viewer.FileDialog("Ouvrir un fichier DXF...", "", folder / "mesh.txt"));
    EXPECT_TRUE(viewer.Dialog(false)) << "no message";
    EXPECT_NE(viewer.Settled(), figure);

    // Ouvrir un fichier ROK... on a file that is none empties the mesh (the
    // imported one given up): Save no longer names the scene.
    ASSERT_TRUE(viewer.FileDialog("Ouvrir un fichier ROK... ( Format de Hexagreat 3D )", "", folder / "fig.abd"));
    ASSERT_TRUE(viewer.Answer("alt+n") && viewer.Answer("Return")) << "the refusal is said";
    ASSERT_TRUE(viewer.WaitForWindow("Default - Quillomark")) << "the scene is no longer new-fig.abd";

    // The model items: a tall OBJ box fills the empty scene, and goes out again as binary STL.
    SetFileText(folder / "box.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nv 0 3 0\nv 1 3 0\nv 1 3 1\nv 0 3 1\n"
                                    "f 1 2 3 4\nf 8 7 6 5\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 4 8 5 1\n");
    const Picture empty = viewer.Settled();
    ASSERT_TRUE(viewer.FileDialog("Importer un modèle...", "", folder / "box.obj") && viewer.Answer("alt+n"));
    ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));  // the focus back from the dialog
    EXPECT_NE(viewer.Settled(), empty);
    ASSERT_TRUE(viewer.FileDialog("Exporter le modèle...", "Home shift+End", folder / "box.stl"));  // over the name
    WaitUntil([&] { return FileText(folder / "box.stl").size() >= 84; });
    EXPECT_EQ(FileText(folder / "box.stl").size(), 84u + 12 * 50) << "twelve triangles";

    EXPECT_EQ(viewer.QuitFromMenu("alt+n"), 0);
    EXPECT_EQ(FileText(ini).find("bad.abd"), std::string::npos) << FileText(ini);
}

// Work that no file holds is asked about before it goes, whatever takes it
// away: Cancel keeps it, No gives it up, Yes saves it first, and a save that
// fails keeps the window.
TEST_F(GuiTest, ChangesAreSavedOrGivenUpAsAnsweredBeforeTheSceneGoes)
{
    const std::string scene = folder / "fig.abd", other = folder / "other.abd";
    for (const std::string& copy : {scene, other})
        std::filesystem::copy_file(QM_SAMPLE_FIGURE, copy);
    SetFileText(ini, "[View]\nDrawCount=0\n");
    Viewer viewer({"--settings", ini, scene}, folder);
    ASSERT_TRUE(viewer.WaitForWindow("fig.abd - Quillomark"));
    const auto change = [&](const std::string& name) {  // Affichage > Eclairage Inversé turns every polygon
        viewer.Keys("F10 Right Up Up Return");
        return viewer.WaitForWindow("^\\*" + name + " - Quillomark");
    };
    ASSERT_TRUE(change("fig.abd"));
    Shell("wmctrl -i -c " + viewer.Id());
    ASSERT_TRUE(viewer.Answer("Escape"));
    ASSERT_TRUE(viewer.WaitForWindow("^\\*fig.abd - Quillomark"));

    ASSERT_TRUE(viewer.FileDialog("Ouvrir...", "", other) && viewer.Answer("alt+n"));
    ASSERT_TRUE(viewer.WaitForWindow("^other.abd - Quillomark"));
    EXPECT_EQ(FileText(scene), FileText(QM_SAMPLE_FIGURE));

    ASSERT_TRUE(change("other.abd"));
    ASSERT_TRUE(DropFile(viewer.Id(), scene) && viewer.Answer("Return"));
    ASSERT_TRUE(viewer.WaitForWindow("^fig.abd - Quillomark"));
    EXPECT_NE(FileText(other), FileText(QM_SAMPLE_FIGURE)) << "saved before the dropped scene opened";

    ASSERT_TRUE(change("fig.abd"));
    chmod(scene.c_str(), 0444);
    EXPECT_EQ(viewer.QuitFromMenu("Return"), -2);
    ASSERT_TRUE(viewer.Answer("Return")) << "the failed save is said";
    ASSERT_TRUE(viewer.WaitForWindow("^\\*fig.abd - Quillomark"));
    EXPECT_EQ(viewer.Close("alt+n"), 0);
    EXPECT_EQ(FileText(scene), FileText(QM_SAMPLE_FIGURE));
}

// In each language with a catalog, chosen by LANGUAGE alone where no locale
// is set at all (as in a fresh container), or, for French, over the C.UTF-8
// locale that such a container may set: a refused file's message, read
// from the message box's text, and the shortcut sheet reached through "Aide",
// whose title is its menu item's label.
TEST_F(GuiTest, LanguageEnvironmentTranslatesMessagesAndMenus)
{
    const std::string bad = folder / "cut.abd";
    SetFileText(bad, std::string("\x0bVURizu(006)", 12));
    SetFileText(ini, "[View]\nDrawCount=0\n");
    const struct {
        const char* language;
        const char* message;
        const char* sheet;
    } cases[] = {{"en", " is truncated: the file ends", "Keyboard Shortcuts"},
                 {"fr", " est tronqué : le fichier", "Raccourcis clavier"},
                 {"ja", " は途中で切れています。", "キーボードショートカット"}};
    for (const char* name : {"LANG", "LC_ALL", "LC_MESSAGES"})
        unsetenv(name);
    for (const auto& c : cases) {
        setenv("LANGUAGE", c.language, 1);
        if (std::string(c.language) == "fr")
            setenv("LANG", "C.UTF-8", 1);
        Viewer viewer({"--settings", ini, bad}, folder);
        unsetenv("LANGUAGE");
        unsetenv("LANG");
        ASSERT_TRUE(viewer.Dialog()) << c.language;
        Shell("xdotool key Tab");  // onto the message, which selects it
        const auto message = [] { return Shell("xclip -o -selection primary 2>/dev/null"); };
        EXPECT_TRUE(WaitUntil([&] { return message().rfind(bad + c.message, 0) == 0; })) << c.language << ": " << message();
        viewer.Keys("Return");
        ASSERT_TRUE(viewer.Dialog(false));
        ASSERT_TRUE(viewer.WaitForWindow("Quillomark"));
        viewer.Keys("F10 Left Down Down Return");
        // Searched by name, a title that is not Latin-1 is never found.
        const auto titles = [] {
            return "\n" + Shell("for w in $(xdotool search --onlyvisible --class quillo); do xdotool getwindowname $w; done") + "\n";
        };
        EXPECT_TRUE(WaitUntil([&] { return titles().find("\n" + std::string(c.sheet) + "\n") != std::string::npos; }))
            << c.language << ": " << titles();
        viewer.Keys("Return");
        ASSERT_TRUE(viewer.Dialog(false) && viewer.WaitForWindow("Quillomark"));  // the focus back from the sheet
        EXPECT_EQ(viewer.QuitFromMenu(), 0) << c.language;
    }
}

} // namespace
} // namespace qm
