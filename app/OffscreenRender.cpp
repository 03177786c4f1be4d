#include "app/OffscreenRender.h"

#include <new>

#include <sys/mman.h>

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

int Render(const RenderRequest& request)
{
    const std::unique_ptr<IniFileSettings> settings = OpenProgramSettings(request.settingsFile, SettingsAccess::ReadOnly);
    for (const auto& [key, value] : request.settings)
        settings->Write(ViewOptions::SectionOf(key), key, value);

    // The view comes first, as in the viewer, so that the file's camera and
    // light land in the one state the view and the renderer share.
    BatchScene scene;
    CBodyView view(*scene.doc, *settings);
    if (!ReadFileInto(*scene.doc, request.in))
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
