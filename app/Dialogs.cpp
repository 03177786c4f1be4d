#include "app/Dialogs.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/AppIcon.h"
#include "platform/Translation.h"
#include "resources/DialogTexts.h"
#include "resources/Strings.h"

namespace qm {

namespace {

wxString U(const char* text)
{
    return wxString::FromUTF8(Tr(text));
}

} // namespace

SaveAnswer AskToSaveChanges(wxWindow* parent, const std::string& name)
{
    wxMessageDialog question(parent, wxString::FromUTF8(TrFill(strings::kSaveChanges, {name})),
                             U(dialogs::kWindowTitle), wxYES_NO | wxCANCEL | wxICON_QUESTION);
    const int answer = question.ShowModal();
    return answer == wxID_YES ? SaveAnswer::Save : answer == wxID_NO ? SaveAnswer::Discard : SaveAnswer::Cancel;
}

bool AskToReplace(wxWindow* parent, const std::vector<std::string>& files)
{
    std::string text;
    for (const std::string& file : files)
        text += file + "\n";
    wxMessageDialog question(parent, wxString::FromUTF8(TrFill(strings::kReplaceFiles, {text})),
                             U(dialogs::kWindowTitle), wxYES_NO | wxNO_DEFAULT | wxICON_WARNING);
    return question.ShowModal() == wxID_YES;
}

void ShowAboutBox(wxWindow* parent)
{
    wxDialog dialog(parent, wxID_ANY, U(dialogs::kAboutTitle));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticBitmap(&dialog, wxID_ANY, AppIconBundle().GetBitmap(wxSize(48, 48))), 0,
             wxALL | wxALIGN_CENTER_VERTICAL, 12);
    auto* texts = new wxBoxSizer(wxVERTICAL);
    auto* name = new wxStaticText(&dialog, wxID_ANY, U(dialogs::kAboutName));
    name->SetFont(name->GetFont().Bold());
    texts->Add(name, 0, wxBOTTOM, 6);
    texts->Add(new wxStaticText(&dialog, wxID_ANY, U(dialogs::kAboutNotice)));
    row->Add(texts, 1, wxALL | wxALIGN_CENTER_VERTICAL, 12);
    auto* ok = new wxButton(&dialog, wxID_OK, U(dialogs::kOk));
    ok->SetDefault();
    row->Add(ok, 0, wxALL | wxALIGN_TOP, 12);
    dialog.SetSizerAndFit(row);
    dialog.CentreOnParent();
    dialog.ShowModal();
}

void ShowShortcutsSheet(wxWindow* parent)
{
    wxDialog dialog(parent, wxID_ANY, U(dialogs::kShortcutsTitle));
    auto* grid = new wxFlexGridSizer(2, wxSize(18, 10));
    for (const dialogs::Shortcut& s : dialogs::kShortcuts) {
        auto* keys = new wxStaticText(&dialog, wxID_ANY, U(s.keys));
        keys->Wrap(190);
        keys->SetFont(keys->GetFont().Bold());
        auto* action = new wxStaticText(&dialog, wxID_ANY, U(s.action));
        action->Wrap(260);
        grid->Add(keys);
        grid->Add(action);
    }
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 1, wxALL, 14);
    auto* ok = new wxButton(&dialog, wxID_OK, U(dialogs::kOk));
    ok->SetDefault();
    column->Add(ok, 0, wxALIGN_RIGHT | wxRIGHT | wxBOTTOM, 14);
    dialog.SetSizerAndFit(column);
    dialog.CentreOnParent();
    dialog.ShowModal();
}

} // namespace qm
