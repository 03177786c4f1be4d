#include "app/OffscreenRender.h"

#include "app/FileKinds.h"
#include "formats/PngFile.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/IniFileSettings.h"
#include "platform/OsMesaSurface.h"
#include "platform/SettingsLocation.h"
#include "render/FrameRenderer.h"
#include "resources/Strings.h"
#include "view/Animation.h"

namespace qm {

int RenderOffscreen(const RenderRequest& request)
{
    BatchScene scene;
    if (!ReadFileInto(*scene.doc, request.in))
        return 1;

    IniFileSettings settings(LocateSettingsFile(CurrentSettingsLocationInputs(request.settingsFile)),
                             SettingsAccess::ReadOnly);
    for (const auto& [key, value] : request.settings)
        settings.Write(ViewOptions::SectionOf(key), key, value);
    const ViewOptions options(settings);

    OsMesaSurface surface(request.width, request.height);
    SteadyClock clock;
    FrameRenderer renderer(surface, clock, scene.messages, *scene.doc, options, scene.view);
    CameraMotion motion;
    for (int frame = 0; frame < request.frames; ++frame) {
        float edgeWidth = renderer.EdgeWidthInWorld();
        StepWithoutKeys(scene.view, motion, options.Parameters().edgeWidth, edgeWidth);
        renderer.SetEdgeWidthInWorld(edgeWidth);
        if (renderer.RenderFrame() == FrameRenderer::FrameResult::NoContext)
            return 1;
    }
    if (!WritePngRgb(request.out, surface.Width(), surface.Height(), surface.ReadRgb())) {
        scene.messages.ShowMessage(FullPath(request.out) + strings::kCannotWrite);
        return 1;
    }
    return 0;
}

} // namespace qm
