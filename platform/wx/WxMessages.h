#pragma once

#include "platform/Messages.h"

class wxWindow;

namespace qm {

// Every message as a modal box with an OK button over the main window.
class WxMessages final : public MessageSink {
public:
    void SetParent(wxWindow* parent) { parent_ = parent; }
    void ShowMessage(const Message& message) override;

private:
    wxWindow* parent_ = nullptr;
};

} // namespace qm
