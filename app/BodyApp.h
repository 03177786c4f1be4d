#pragma once

#include <memory>

#include <wx/app.h>

#include "app/CommandLine.h"
#include "platform/IniFileSettings.h"
#include "platform/wx/WxMessages.h"
#include "scene/BodyDoc.h"
#include "view/BodyView.h"

namespace qm {

class CMainFrame;

// The viewer: one settings file, one document, one view, one main window,
// and the idle hook that keeps the scene animating.
class CBodyApp final : public wxApp {
public:
    explicit CBodyApp(ViewerRequest request) : request_(std::move(request)) {}

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

private:
    void OnIdle(wxIdleEvent& event);

    ViewerRequest request_;
    std::unique_ptr<IniFileSettings> settings_;
    WxMessages messages_;
    std::unique_ptr<CBodyDoc> doc_;
    std::unique_ptr<CBodyView> view_;
    CMainFrame* frame_ = nullptr;
    int exitCode_ = 0;
};

// Runs the viewer for a request of the command line; returns the exit status.
int RunViewer(int argc, char** argv, const ViewerRequest& request);

} // namespace qm
