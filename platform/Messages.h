#pragma once

#include <string>
#include <vector>

namespace qm {

// A modal message with an OK button. The core calls it and carries on once the
// user has dismissed it; texts are UTF-8.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

// Keeps every message shown, for tests.
class RecordingMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// For modes without a display: each message becomes a line on standard error.
class StderrMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override;
};

} // namespace qm
