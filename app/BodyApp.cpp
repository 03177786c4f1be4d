#include "app/BodyApp.h"

#include <cstdio>
#include <cstdlib>

#include <wx/utils.h>

#include "app/FileKinds.h"
#include "app/MainFrame.h"
#include "app/ViewCanvas.h"
#include "platform/SettingsLocation.h"
#include "platform/Translation.h"
#include "resources/DialogTexts.h"
#include "platform/wx/GlxCanvas.h"

namespace qm {

bool CBodyApp::OnInit()
{
    // Not wxApp::OnInit: the command line has been read already.
    PreferLinearAccumulation();
    SetAppName("quillomark");
    SetAppDisplayName("Quillomark");

    settings_ = OpenProgramSettings(request_.settingsFile, SettingsAccess::ReadWrite);
    doc_ = std::make_unique<CBodyDoc>(messages_);
    view_ = std::make_unique<CBodyView>(*doc_, *settings_);

    frame_ = new CMainFrame(*view_, *settings_, settings_->Path(), messages_);
    if (request_.file.empty()) {
        doc_->OnNewDocument();
    } else {
        doc_->ResetScene();
        doc_->SetTitle(dialogs::kUntitled);
    }
    frame_->Show();
    frame_->Canvas().SetFocus();
    // A file named on the command line opens like one chosen from the menu
    // (a mesh is imported into the new scene); one that cannot be read is
    // reported and the viewer stays open on the empty scene.
    if (!request_.file.empty())
        frame_->OpenFile(request_.file);
    // --command ids run as menu picks would, each only if its rule allows it.
    for (const int id : request_.commands)
        frame_->RunCommand(id);
    frame_->UpdateTitle();

    Bind(wxEVT_IDLE, &CBodyApp::OnIdle, this);
    return true;
}

void CBodyApp::OnIdle(wxIdleEvent& event)
{
    if (!frame_)
        return;
    ViewCanvas& canvas = frame_->Canvas();
    if (canvas.ContextFailed()) {
        // Told already; nothing can be drawn without a context.
        exitCode_ = 1;
        frame_->Destroy();
        frame_ = nullptr;
        ExitMainLoop();
        return;
    }
    // Nothing of its own until the first frame has been painted.
    if (!canvas.FirstFrameDrawn())
        return;
    frame_->UpdateTitle();  // the scene's changes come from menus, keys and the mouse alike
    if (!canvas.IdleStep())
        wxMilliSleep(100);  // without the focus: keep the processor free, answer within 0.1 s
    event.RequestMore();
}

int CBodyApp::OnRun()
{
    const int result = wxApp::OnRun();
    return exitCode_ ? exitCode_ : result;
}

int CBodyApp::OnExit()
{
    frame_ = nullptr;
    view_.reset();
    doc_.reset();
    return wxApp::OnExit();
}

int RunViewer(int argc, char** argv, const ViewerRequest& request)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "quillo: %s\n",
                     Tr("the viewer needs a display (DISPLAY is not set); --convert and --render work without one")
                         .c_str());
        return 1;
    }
    wxApp::SetInstance(new CBodyApp(request));
    return wxEntry(argc, argv);
}

} // namespace qm
