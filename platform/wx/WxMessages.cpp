#include "platform/wx/WxMessages.h"

#include <wx/msgdlg.h>

#include "platform/Translation.h"

namespace qm {

void WxMessages::ShowMessage(const Message& message)
{
    wxMessageBox(wxString::FromUTF8(Tr(message)), "Quillomark", wxOK | wxICON_EXCLAMATION, parent_);
}

} // namespace qm
