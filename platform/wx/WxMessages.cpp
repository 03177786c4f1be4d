#include "platform/wx/WxMessages.h"

#include <wx/msgdlg.h>

namespace qm {

void WxMessages::ShowMessage(const std::string& text)
{
    wxMessageBox(wxString::FromUTF8(text.c_str()), "Quillomark", wxOK | wxICON_EXCLAMATION, parent_);
}

} // namespace qm
