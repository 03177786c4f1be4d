#include "app/MainFrame.h"

#include <filesystem>
#include <functional>
#include <new>

#include <wx/accel.h>
#include <wx/busyinfo.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "app/AppIcon.h"
#include "app/Dialogs.h"
#include "app/FileKinds.h"
#include "app/ViewCanvas.h"
#include "formats/PngFile.h"
#include "formats/ModelFiles.h"
#include "platform/Files.h"
#include "platform/Translation.h"
#include "platform/wx/WxMessages.h"
#include "resources/DialogTexts.h"
#include "resources/MenuTable.h"
#include "resources/Strings.h"
#include "scene/SceneFile.h"

namespace qm {

namespace {

constexpr char kFrameState[] = "FrameState";
constexpr char kRecentFiles[] = "Recent File List";
constexpr int kRecentCount = 9;
constexpr int kDefaultWidth = 400, kDefaultHeight = 430;

// A text of the program's in the user's language.
wxString U(const char* text)
{
    return wxString::FromUTF8(Tr(text));
}

wxString Wildcard(const char* wildcard)
{
    return wxString::FromUTF8(TrWildcard(wildcard));
}

std::string Utf8(const wxString& text)
{
    return std::string(text.utf8_str());
}

// Files dropped on the window open as if chosen from the menu.
class FileDrop final : public wxFileDropTarget {
public:
    explicit FileDrop(CMainFrame& frame) : frame_(frame) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override
    {
        if (files.empty())
            return false;
        // Opened after the drop returns: a message box inside it would hold the drag.
        const std::string path = Utf8(files[0]);
        frame_.CallAfter([this, path] { frame_.OpenDropped(path); });
        return true;
    }

private:
    CMainFrame& frame_;
};

// A file dialog's filter for the model formats of a list, in either case.
template <size_t N> wxString ModelWildcard(const char* const (&extensions)[N])
{
    wxString shown, patterns;
    for (const char* extension : extensions) {
        const wxString lower = wxString("*.") + extension;
        shown += (shown.empty() ? "" : ";") + lower;
        patterns += (patterns.empty() ? "" : ";") + lower + ";" + lower.Upper();
    }
    return U(dialogs::kModelFilesLabel) + " (" + shown + ")|" + patterns + Wildcard(dialogs::kAllFilesFilter);
}

} // namespace

// 32768..32999 (the program's own commands) map to 2768..2999, 57600..57699
// (the standard file and application commands) to 7600..7699.
int WxIdOf(int command)
{
    if (command >= 32768 && command < 33000)
        return command - 30000;
    if (command >= 57600 && command < 57700)
        return command - 50000;
    return command;
}

int CommandOf(int wxId)
{
    if (wxId >= 2768 && wxId < 3000)
        return wxId + 30000;
    if (wxId >= 7600 && wxId < 7700)
        return wxId + 50000;
    return wxId;
}

CMainFrame::CMainFrame(CBodyView& view, SettingsStore& settings, std::string settingsFile, WxMessages& messages)
    : wxFrame(nullptr, wxID_ANY, U(dialogs::kWindowTitle), wxDefaultPosition,
              wxSize(ReadInt(settings, kFrameState, "Width", kDefaultWidth),
                     ReadInt(settings, kFrameState, "Height", kDefaultHeight))),
      view_(view), settings_(settings), settingsFile_(std::move(settingsFile)), messages_(messages),
      history_(kRecentCount, WxIdOf(kCmdRecentFirst))
{
    normalSize_ = GetSize();
    SetIcons(AppIcons());
    messages_.SetParent(this);
    canvas_ = new ViewCanvas(this, view_, messages_);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(canvas_, 1, wxEXPAND);
    SetSizer(sizer);
    CreateStatusBar();  // where warnings are shown

    BuildMenus();
    LoadRecentFiles();
    SetDropTarget(new FileDrop(*this));
    canvas_->SetDropTarget(new FileDrop(*this));

    Bind(wxEVT_MENU, &CMainFrame::OnMenu, this);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateUI, this);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    Bind(wxEVT_SIZE, &CMainFrame::OnFrameSize, this);
    UpdateTitle();
}

CMainFrame::~CMainFrame()
{
    delete pendingBar_;
}

void CMainFrame::BuildMenus()
{
    auto* bar = new wxMenuBar;
    for (const menus::Menu& m : menus::kMenus) {
        auto* menu = new wxMenu;
        for (int i = 0; i < m.count; ++i) {
            const menus::MenuItem& item = m.items[i];
            switch (item.kind) {
            case menus::ItemKind::Separator:
                menu->AppendSeparator();
                break;
            case menus::ItemKind::Command:
                menu->Append(WxIdOf(item.id), U(item.label));
                break;
            case menus::ItemKind::Check:
                menu->AppendCheckItem(WxIdOf(item.id), U(item.label));
                break;
            case menus::ItemKind::RecentFiles: {
                auto* recent = new wxMenu;
                menu->AppendSubMenu(recent, U(item.label));
                history_.UseMenu(recent);
                break;
            }
            }
        }
        bar->Append(menu, U(m.title));
    }
    // The bar joins the frame once it is shown. A frame shown with a window
    // manager first lays out its children at a width of one pixel, which a
    // menu bar cannot have (GTK warns at every start).
    pendingBar_ = bar;
    Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
        if (event.IsShown() && pendingBar_) {
            SetMenuBar(pendingBar_);
            pendingBar_ = nullptr;
        }
        event.Skip();
    });

    // Ctrl+N on the keyboard resets the scene here; the menu item of the
    // same text starts another copy of the program.
    wxAcceleratorEntry keys[] = {
        {wxACCEL_CTRL, 'N', WxIdOf(kCmdNewDocument)},
        {wxACCEL_CTRL, 'O', WxIdOf(kCmdFileOpen)},
        {wxACCEL_CTRL, 'S', WxIdOf(kCmdFileSave)},
        {wxACCEL_NORMAL, 'F', WxIdOf(kCmdFitModel)},
    };
    SetAcceleratorTable(wxAcceleratorTable(int(std::size(keys)), keys));
}

void CMainFrame::LoadRecentFiles()
{
    // Oldest first, so that File1 ends up on top.
    for (int i = kRecentCount; i >= 1; --i)
        if (auto path = settings_.Read(kRecentFiles, "File" + std::to_string(i)); path && !path->empty())
            history_.AddFileToHistory(wxString::FromUTF8(*path));
}

void CMainFrame::SaveRecentFiles()
{
    for (int i = 0; i < kRecentCount; ++i) {
        const std::string value = i < int(history_.GetCount()) ? Utf8(history_.GetHistoryFile(size_t(i))) : "";
        settings_.Write(kRecentFiles, "File" + std::to_string(i + 1), value);
    }
    settings_.Flush();
}

void CMainFrame::UpdateTitle()
{
    const CBodyDoc& doc = view_.Document();
    const wxString title = (doc.IsModified() ? "*" : "") + SceneTitle() + " - " + U(dialogs::kWindowTitle);
    if (title != GetTitle())
        SetTitle(title);
}

wxString CMainFrame::SceneTitle() const
{
    const std::string& title = view_.Document().Title();
    return title == dialogs::kUntitled ? U(dialogs::kUntitled) : wxString::FromUTF8(title);
}

bool CMainFrame::MayReplaceScene()
{
    if (!view_.Document().IsModified())
        return true;
    switch (AskToSaveChanges(this, Utf8(SceneTitle()))) {
    case SaveAnswer::Discard:
        return true;
    case SaveAnswer::Save:
        return scenePath_.empty() ? SaveAs() : SaveTo(scenePath_);
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void CMainFrame::OpenDropped(const std::string& path)
{
    RunGuarded([&] {
        if (MayReplaceScene())
            OpenFile(path);
    });
}

bool CMainFrame::OpenFile(const std::string& path)
{
    return OpenFileAs(path, KindOf(path));
}

bool CMainFrame::OpenFileAs(const std::string& path, FileKind kind)
{
    if (kind == FileKind::Unknown) {
        messages_.ShowMessage({strings::kCannotOpen, FullPath(path)});
        ForgetRecentFile(path);
        return false;
    }
    CBodyDoc& doc = view_.Document();
    const uint64_t revisionBefore = doc.MeshRevision();
    bool ok;
    {
        wxBusyCursor wait;
        SetStatusText(wxEmptyString);  // the last file's warnings
        ok = ReadFileAs(doc, path, kind);
    }
    lastFolder_ = FolderOf(FullPath(path));
    if (ok && kind == FileKind::Scene) {
        scenePath_ = path;
        doc.SetTitle(Utf8(wxFileName(wxString::FromUTF8(path)).GetFullName()));
        history_.AddFileToHistory(wxString::FromUTF8(FullPath(path)));
        SaveRecentFiles();
    } else if (ok && kind == FileKind::Model) {
        // A model file brings no camera: it is shown from the front, filling
        // the window, as the headless renderer and the thumbnails show it.
        view_.Execute(kCmdFrontView);
        view_.Execute(kCmdFitModel);
    } else if (!ok) {
        // A refused scene leaves the one on screen as it was, under its own
        // name. A scene that ran out of memory half-way, or a mesh import that
        // failed (which leaves the mesh empty), has changed the scene: the
        // window then holds a new document that Save does not put over the
        // file it came from.
        if (doc.MeshRevision() != revisionBefore) {
            scenePath_.clear();
            doc.SetTitle(dialogs::kUntitled);
        }
        if (kind == FileKind::Scene)
            ForgetRecentFile(path);
    }
    UpdateTitle();
    canvas_->Refresh(false);
    return ok;
}

void CMainFrame::ForgetRecentFile(const std::string& path)
{
    const wxString full = wxString::FromUTF8(FullPath(path));
    for (size_t i = 0; i < history_.GetCount(); ++i) {
        if (history_.GetHistoryFile(i) == full) {
            history_.RemoveFileFromHistory(i);
            SaveRecentFiles();
            return;
        }
    }
}

wxString CMainFrame::DialogFolder() const
{
    return wxString::FromUTF8(scenePath_.empty() ? lastFolder_ : FolderOf(FullPath(scenePath_)));
}

wxString CMainFrame::SceneName() const
{
    wxFileName name(SceneTitle());
    if (name.GetExt().Lower() == "abd")
        name.ClearExt();
    return name.GetFullName();
}

bool CMainFrame::SaveTo(const std::string& path)
{
    bool ok;
    {
        wxBusyCursor wait;
        ok = WriteFileAs(view_.Document(), path, FileKind::Scene);
    }
    if (ok) {
        scenePath_ = path;
        lastFolder_ = FolderOf(FullPath(path));
        view_.Document().SetTitle(Utf8(wxFileName(wxString::FromUTF8(path)).GetFullName()));
        history_.AddFileToHistory(wxString::FromUTF8(FullPath(path)));
        SaveRecentFiles();
        UpdateTitle();
    }
    return ok;
}

bool CMainFrame::SaveAs()
{
    const std::string path = AskPathToWrite(U(dialogs::kSaveAsTitle), SceneName() + ".abd",
                                            Wildcard(dialogs::kSceneWildcard), "abd", FileKind::Scene);
    return !path.empty() && SaveTo(path);
}

void CMainFrame::ImportWithDialog(const wxString& wildcard, FileKind kind, const wxString& title)
{
    wxFileDialog dialog(this, title, DialogFolder(), wxEmptyString, wildcard,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK && MayReplaceScene())
        OpenFileAs(Utf8(dialog.GetPath()), kind);
}

std::string CMainFrame::AskPathToWrite(const wxString& title, const wxString& name, const wxString& wildcard,
                                       const char* extension, FileKind kind)
{
    // The dialog itself does not ask before replacing a file: the extension
    // is added first, and the question names every file that the write replaces.
    wxString folder = DialogFolder(), proposed = name;
    for (;;) {
        wxFileDialog dialog(this, title, folder, proposed, wildcard, wxFD_SAVE);
        if (dialog.ShowModal() != wxID_OK)
            return "";
        std::string path = Utf8(dialog.GetPath());
        // The command's format whatever the name, unless the name would be
        // taken for another: a scene is .abd, a model's format its extension.
        const bool known = kind == FileKind::Scene   ? KindByName(path) == FileKind::Scene
                           : kind == FileKind::Model ? CanWrite(path)
                                                     : !LowerExtension(path).empty();
        if (!known)
            path += std::string(".") + extension;
        std::vector<std::string> existing;
        std::error_code error;
        for (const std::string& file : FilesWritten(path, kind))
            if (std::filesystem::exists(file, error))
                existing.push_back(FullPath(file));
        folder = wxString::FromUTF8(FolderOf(FullPath(path)));
        if (existing.empty() || AskToReplace(this, existing)) {
            lastFolder_ = Utf8(folder);
            return path;
        }
        proposed = wxFileName(wxString::FromUTF8(path)).GetFullName();
    }
}

void CMainFrame::ExportWithDialog(const wxString& wildcard, const wxString& name, const char* extension,
                                  FileKind kind, const wxString& title)
{
    const std::string path = AskPathToWrite(title, name, wildcard, extension, kind);
    if (path.empty())
        return;
    wxBusyCursor wait;
    WriteFileAs(view_.Document(), path, kind);
}

void CMainFrame::SaveImageWithDialog()
{
    const std::string path = AskPathToWrite(U(dialogs::kSaveImageTitle), SceneName() + ".png",
                                            Wildcard(dialogs::kPngWildcard), "png", FileKind::Unknown);
    if (path.empty())
        return;
    int width = 0, height = 0;
    const std::vector<uint8_t> picture = canvas_->Picture(width, height);
    if (picture.empty())
        return;  // no GL context: the user has been told
    if (!WritePngRgb(path, width, height, picture))
        messages_.ShowMessage({strings::kCannotWrite, FullPath(path)});
}

void CMainFrame::StartAnotherCopy()
{
    // The same program that is running, wherever it was started from, with
    // the same settings file.
    std::string exe = Utf8(wxStandardPaths::Get().GetExecutablePath());
    std::string option = "--settings";
    char* argv[] = {exe.data(), option.data(), settingsFile_.data(), nullptr};
    wxExecute(argv, wxEXEC_ASYNC);
}

void CMainFrame::RunGuarded(const std::function<void()>& run)
{
    // A command that finds no memory for its work says so; the window goes on.
    try {
        run();
    } catch (const std::bad_alloc&) {
        messages_.ShowMessage(strings::kOutOfMemory);
    }
}

void CMainFrame::RunCommand(int id)
{
    RunGuarded([&] { RunCommandUnguarded(id); });
}

void CMainFrame::RunCommandUnguarded(int id)
{
    switch (id) {
    case kCmdNewWindow:
        StartAnotherCopy();
        return;
    case kCmdNewDocument:
        if (!MayReplaceScene())
            return;
        view_.Document().OnNewDocument();
        scenePath_.clear();
        UpdateTitle();
        return;
    case kCmdFileOpen: {
        wxFileDialog dialog(this, U(dialogs::kOpenTitle), DialogFolder(), wxEmptyString, Wildcard(dialogs::kSceneWildcard),
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        if (dialog.ShowModal() == wxID_OK && MayReplaceScene())
            OpenFile(Utf8(dialog.GetPath()));
        return;
    }
    case kCmdFileSave:
        if (scenePath_.empty())
            SaveAs();
        else
            SaveTo(scenePath_);
        return;
    case kCmdFileSaveAs:
        SaveAs();
        return;
    case kCmdImportDxf:
        ImportWithDialog(Wildcard(dialogs::kDxfWildcard), FileKind::Dxf);
        return;
    case kCmdImportRok:
        ImportWithDialog(Wildcard(dialogs::kRokWildcard), FileKind::Rok);
        return;
    case kCmdExportDxf:
        ExportWithDialog(Wildcard(dialogs::kDxfWildcard), dialogs::kDefaultDxfName, "dxf", FileKind::Dxf);
        return;
    case kCmdImportModel:
        ImportWithDialog(ModelWildcard(kModelImportExtensions), FileKind::Model, U(dialogs::kImportModelTitle));
        return;
    case kCmdExportModel:
        ExportWithDialog(ModelWildcard(kModelExportExtensions), SceneName() + ".glb", "glb", FileKind::Model,
                         U(dialogs::kExportModelTitle));
        return;
    case kCmdSaveImage:
        SaveImageWithDialog();
        return;
    case kCmdExit:
        Close();
        return;
    case kCmdWebSite: {
        // A page that cannot be shown is not reported; the toolkit's own
        // message would be in another language.
        wxLogNull quiet;
        wxLaunchDefaultBrowser(dialogs::kProjectPage);
        return;
    }
    case kCmdShortcuts:
        ShowShortcutsSheet(this);
        return;
    case kCmdAbout:
        ShowAboutBox(this);
        return;
    default:
        break;
    }
    if (id >= kCmdRecentFirst && id < kCmdRecentFirst + kRecentCount) {
        const size_t index = size_t(id - kCmdRecentFirst);
        if (index < history_.GetCount() && MayReplaceScene())
            OpenFile(Utf8(history_.GetHistoryFile(index)));
        return;
    }
    // Everything else belongs to the view, which checks the update rule itself.
    view_.Execute(id);
}

void CMainFrame::OnMenu(wxCommandEvent& event)
{
    RunCommand(CommandOf(event.GetId()));
}

void CMainFrame::OnUpdateUI(wxUpdateUIEvent& event)
{
    const CommandState state = view_.Query(CommandOf(event.GetId()));
    if (!state.handled) {
        event.Skip();
        return;
    }
    event.Enable(state.enabled);
    if (event.IsCheckable())
        event.Check(state.checked);
}

void CMainFrame::OnFrameSize(wxSizeEvent& event)
{
    if (!IsMaximized() && !IsIconized() && !IsFullScreen())
        normalSize_ = GetSize();
    event.Skip();
}

void CMainFrame::OnClose(wxCloseEvent& event)
{
    if (event.CanVeto() && !MayReplaceScene()) {
        event.Veto();
        return;
    }
    // The size of the normal placement, also when closed maximised.
    WriteInt(settings_, kFrameState, "Width", normalSize_.x);
    WriteInt(settings_, kFrameState, "Height", normalSize_.y);
    settings_.Flush();
    event.Skip();  // the frame is destroyed, which ends the program
}

} // namespace qm
