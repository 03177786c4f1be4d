#include "app/OffscreenRender.h"

#include <cmath>
#include <csignal>
#include <new>

#include <sys/mman.h>
#include <sys/time.h>
#include <unistd.h>

#include "app/FileKinds.h"
#include "formats/PngFile.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/IniFileSettings.h"
#include "platform/Keyboard.h"
#include "platform/OsMesaSurface.h"
#include "platform/SettingsLocation.h"
#include "platform/Translation.h"
#include "render/FrameMemory.h"
#include "render/FrameRenderer.h"
#include "render/ViewFrames.h"
#include "resources/Strings.h"
#include "view/BodyView.h"

namespace qm {

namespace {

// Whether the process may still map the most a frame of this size can need.
// Mesa does not survive every failed allocation while it draws, so the
// headroom is checked before the first frame; the mapping is never touched.
bool FrameMemoryAvailable(int width, int height)
{
    const size_t bytes = WorstCaseFrameBytes(width, height);
    void* block = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED)
        return false;
    munmap(block, bytes);
    return true;
}

// Past the run's time limit the process ends wherever it is, reading or in
// the middle of a long drawing (and a reading process with it): no picture,
// exit status 1.
void EndAfter(double seconds)
{
    // Worded now: nothing but writing and leaving is safe in the signal handler.
    static const std::string text = Tr(strings::kTimedOut) + "\n";
    struct sigaction action {};
    action.sa_handler = [](int) {
        (void)!write(STDERR_FILENO, text.data(), text.size());
        _exit(1);
    };
    sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = time_t(seconds);
    timer.it_value.tv_usec = suseconds_t(std::fmod(seconds, 1.0) * 1e6) + (seconds < 1e-6 ? 1 : 0);
    setitimer(ITIMER_REAL, &timer, nullptr);
}

int Render(const RenderRequest& request)
{
    if (request.timeout > 0.0)
        EndAfter(request.timeout);
    const std::unique_ptr<IniFileSettings> settings = OpenProgramSettings(request.settingsFile, SettingsAccess::ReadOnly);
    for (const auto& [key, value] : request.settings)
        settings->Write(ViewOptions::SectionOf(key), key, value);

    // The view comes first, as in the viewer, so that the file's camera and
    // light land in the one state the view and the renderer share.
    BatchScene scene;
    CBodyView view(*scene.doc, *settings);
    // Pictures are drawn of any file a file manager offers: the reading gets less memory than the viewer's.
    if (!ReadFileInto(*scene.doc, request.in, kPictureReadLimits))
        return 1;

    OsMesaSurface surface(request.width, request.height);
    // The context ends with the process, which the render ends: Mesa may crash
    // tearing down a context that ran out of memory.
    struct LeaveContext {
        OsMesaSurface& surface;
        ~LeaveContext() { surface.Abandon(); }
    } leave{surface};
    if (!FrameMemoryAvailable(request.width, request.height)) {
        scene.messages.ShowMessage(strings::kOutOfMemory);
        return 1;
    }
    SteadyClock clock;
    FrameRenderer renderer(surface, clock, scene.messages, *scene.doc, view.Options(), view.State());
    renderer.SetOverlayWords(Tr(strings::kOverlayCounts), Tr(strings::kOverlayRate));
    ViewFrames frames(renderer);
    view.SetFrameSink(&frames);
    view.SetProjection(&renderer);
    // A model file brings no camera: it is drawn from the front, unless the
    // commands turn the camera elsewhere.
    if (KindOf(request.in) == FileKind::Model)
        view.Execute(kCmdFrontView);
    if (const int status = RunBatchCommands(view, request.commands))
        return status;
    // After the commands, which may turn the camera or change what is drawn.
    if (request.fit)
        view.FrameModel();

    LatchedKeyboard noKeys;
    for (int frame = 0; frame < request.frames; ++frame) {
        view.AnimateStep(true, noKeys);
        if (frames.LastResult() == FrameRenderer::FrameResult::NoContext ||
            frames.LastResult() == FrameRenderer::FrameResult::OutOfMemory)
            return 1;
    }
    if (!WritePngRgb(request.out, surface.Width(), surface.Height(), surface.ReadRgb())) {
        scene.messages.ShowMessage({strings::kCannotWrite, FullPath(request.out)});
        return 1;
    }
    return 0;
}

} // namespace

int RenderOffscreen(const RenderRequest& request)
{
    try {
        return Render(request);
    } catch (const std::bad_alloc&) {
        StderrMessages().ShowMessage(strings::kOutOfMemory);
        return 1;
    }
}

} // namespace qm
