#pragma once

#include <memory>
#include <string>

#include <wx/filehistory.h>
#include <wx/frame.h>

#include "platform/Settings.h"
#include "view/BodyView.h"

namespace qm {

// The toolkit's menu ids stop below 0x7fff; the program's command ids do not.
// Menus and events carry WxIdOf(command) and are read back with CommandOf.
int WxIdOf(int command);
int CommandOf(int wxId);

class ViewCanvas;
class WxMessages;

// The one top-level window: menus, accelerators, the view filling the client
// area, the recent-file list, dropped files, and its size kept in the
// settings file between runs.
class CMainFrame final : public wxFrame {
public:
    CMainFrame(CBodyView& view, SettingsStore& settings, WxMessages& messages);

    ViewCanvas& Canvas() { return *canvas_; }

    // Opens a scene, or imports a DXF, ROK or model file's mesh into the scene, as the menus do.
    bool OpenFile(const std::string& path);
    // Runs a command as a menu pick would, if its update rule allows.
    void RunCommand(int id);
    void UpdateTitle();

private:
    void BuildMenus();
    void LoadRecentFiles();
    void SaveRecentFiles();

    void OnMenu(wxCommandEvent& event);
    void OnUpdateUI(wxUpdateUIEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnFrameSize(wxSizeEvent& event);

    bool SaveAs();
    bool SaveTo(const std::string& path);
    void ImportWithDialog(const wxString& wildcard, const wxString& title = wxEmptyString);
    void ExportWithDialog(const wxString& wildcard, const char* defaultName, const char* defaultExtension,
                          const wxString& title = wxEmptyString);
    void StartAnotherCopy();

    CBodyView& view_;
    SettingsStore& settings_;
    WxMessages& messages_;
    ViewCanvas* canvas_ = nullptr;
    wxFileHistory history_;
    std::string scenePath_;  // the scene's file, empty until opened or saved
    wxSize normalSize_;      // the last size while neither maximised nor minimised
};

} // namespace qm
