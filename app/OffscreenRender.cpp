#include "app/OffscreenRender.h"

#include "app/FileKinds.h"
#include "formats/PngFile.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/IniFileSettings.h"
#include "platform/Keyboard.h"
#include "platform/OsMesaSurface.h"
#include "platform/SettingsLocation.h"
#include "render/FrameRenderer.h"
#include "render/ViewFrames.h"
#include "resources/Strings.h"
#include "view/BodyView.h"

namespace qm {

int RenderOffscreen(const RenderRequest& request)
{
    IniFileSettings settings(LocateSettingsFile(CurrentSettingsLocationInputs(request.settingsFile)),
                             SettingsAccess::ReadOnly);
    for (const auto& [key, value] : request.settings)
        settings.Write(ViewOptions::SectionOf(key), key, value);

    // The view comes first, as in the viewer, so that the file's camera and
    // light land in the one state the view and the renderer share.
    BatchScene scene;
    CBodyView view(*scene.doc, settings);
    if (!ReadFileInto(*scene.doc, request.in))
        return 1;

    OsMesaSurface surface(request.width, request.height);
    SteadyClock clock;
    FrameRenderer renderer(surface, clock, scene.messages, *scene.doc, view.Options(), view.State());
    ViewFrames frames(renderer);
    view.SetFrameSink(&frames);
    view.SetProjection(&renderer);
    if (const int status = RunBatchCommands(view, request.commands))
        return status;
    // After the commands, which may turn the camera or change what is drawn.
    if (request.fit)
        view.FrameModel();

    LatchedKeyboard noKeys;
    for (int frame = 0; frame < request.frames; ++frame) {
        view.AnimateStep(true, noKeys);
        if (frames.LastResult() == FrameRenderer::FrameResult::NoContext)
            return 1;
    }
    if (!WritePngRgb(request.out, surface.Width(), surface.Height(), surface.ReadRgb())) {
        scene.messages.ShowMessage(FullPath(request.out) + strings::kCannotWrite);
        return 1;
    }
    return 0;
}

} // namespace qm
