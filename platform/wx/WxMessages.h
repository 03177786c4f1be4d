#pragma once

#include "platform/Messages.h"

class wxWindow;

namespace qm {

// Every message as a modal box with an OK button over the main window; a
// warning in the main window's status bar (or as a message without one).
class WxMessages final : public MessageSink {
public:
    void SetParent(wxWindow* parent) { parent_ = parent; }
    void ShowMessage(const Message& message) override;
    void ShowWarning(const Message& message) override;

private:
    wxWindow* parent_ = nullptr;
};

} // namespace qm
