#pragma once

#include <functional>
#include <memory>
#include <string>

#include <wx/filehistory.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include "app/FileKinds.h"
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
    // settingsFile is the file behind settings, handed to further copies.
    CMainFrame(CBodyView& view, SettingsStore& settings, std::string settingsFile, WxMessages& messages);
    ~CMainFrame() override;

    ViewCanvas& Canvas() { return *canvas_; }

    // Opens a scene, or imports a DXF, ROK or model file's mesh into the scene,
    // as the menus do, the kind told by the name or else the first bytes.
    bool OpenFile(const std::string& path);
    // A dropped file, opened as "Ouvrir..." would (once the changes to the
    // scene are saved or given up), with the commands' guard.
    void OpenDropped(const std::string& path);
    // Runs a command as a menu pick would, if its update rule allows.
    void RunCommand(int id);
    // The scene's name in the title, marked while the scene holds unsaved
    // work; nothing is done when the title is already so.
    void UpdateTitle();

private:
    void BuildMenus();
    void LoadRecentFiles();
    void SaveRecentFiles();

    void OnMenu(wxCommandEvent& event);
    void OnUpdateUI(wxUpdateUIEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnFrameSize(wxSizeEvent& event);

    void RunGuarded(const std::function<void()>& run);
    void RunCommandUnguarded(int id);
    bool OpenFileAs(const std::string& path, FileKind kind);
    void ForgetRecentFile(const std::string& path);
    // Whether the scene may be replaced or closed: it holds no unsaved work,
    // or the user saved it or chose to give the changes up. Cancel, or a save
    // that fails or is cancelled, keeps it.
    bool MayReplaceScene();
    // Where file dialogs start: the scene's folder, else the last one used.
    wxString DialogFolder() const;
    // The scene's name as the title shows it, and without the extension of its file.
    wxString SceneTitle() const;
    wxString SceneName() const;
    // The path chosen in a save dialog for a file of the kind, extension
    // added to a name that the kind would not be known by; the user is asked
    // before any file that the write replaces (side files too). Empty when
    // the dialog was cancelled.
    std::string AskPathToWrite(const wxString& title, const wxString& name, const wxString& wildcard,
                               const char* extension, FileKind kind);
    bool SaveAs();
    bool SaveTo(const std::string& path);
    void ImportWithDialog(const wxString& wildcard, FileKind kind, const wxString& title = wxEmptyString);
    void ExportWithDialog(const wxString& wildcard, const wxString& name, const char* extension, FileKind kind,
                          const wxString& title = wxEmptyString);
    void SaveImageWithDialog();
    void StartAnotherCopy();

    CBodyView& view_;
    SettingsStore& settings_;
    std::string settingsFile_;
    WxMessages& messages_;
    ViewCanvas* canvas_ = nullptr;
    wxFileHistory history_;
    wxMenuBar* pendingBar_ = nullptr;  // the menu bar until the frame is first shown
    std::string scenePath_;  // the scene's file, empty until opened or saved
    std::string lastFolder_;  // of the last file opened, imported, saved or exported
    wxSize normalSize_;      // the last size while neither maximised nor minimised
};

} // namespace qm
