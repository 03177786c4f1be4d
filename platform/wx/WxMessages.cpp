#include "platform/wx/WxMessages.h"

#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>

#include "platform/Translation.h"

namespace qm {

void WxMessages::ShowMessage(const Message& message)
{
    wxMessageBox(wxString::FromUTF8(Tr(message)), "Quillomark", wxOK | wxICON_EXCLAMATION, parent_);
}

void WxMessages::ShowWarning(const Message& message)
{
    auto* frame = wxDynamicCast(parent_, wxFrame);
    if (frame && frame->GetStatusBar())
        frame->SetStatusText(wxString::FromUTF8(Tr(message)));
    else
        ShowMessage(message);
}

} // namespace qm
