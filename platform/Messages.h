#pragma once

#include <string>
#include <vector>

namespace qm {

// A modal message with an OK button. The core calls it and carries on once the
// user has dismissed it; texts are UTF-8. A warning tells of something that
// went partly wrong in work that went on (a texture not found): it is shown
// without stopping the user, as a status line.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void ShowWarning(const std::string& text) { ShowMessage(text); }
};

// Keeps every message and warning shown, for tests.
class RecordingMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    void ShowWarning(const std::string& text) override { warned.push_back(text); }
    std::vector<std::string> shown, warned;
};

// For modes without a display: each message or warning becomes a line on standard error.
class StderrMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override { ShowMessage(text); }
};

} // namespace qm
