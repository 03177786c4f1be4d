#include "platform/wx/WxMessages.h"

#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>

namespace qm {

void WxMessages::ShowMessage(const std::string& text)
{
    wxMessageBox(wxString::FromUTF8(text.c_str()), "Quillomark", wxOK | wxICON_EXCLAMATION, parent_);
}

void WxMessages::ShowWarning(const std::string& text)
{
    auto* frame = wxDynamicCast(parent_, wxFrame);
    if (frame && frame->GetStatusBar())
        frame->SetStatusText(wxString::FromUTF8(text.c_str()));
    else
        ShowMessage(text);
}

} // namespace qm
