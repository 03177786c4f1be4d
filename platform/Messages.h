#pragma once

#include <string>
#include <utility>
#include <vector>

#include "resources/Translatable.h"

namespace qm {

// One of the program's own messages: a text of resources/Strings.h, with the
// file it is about where the text has a place for one. Each sink words it in
// the language it shows messages in.
struct Message {
    Message(const char* text) : text(text) {}  // NOLINT: every plain text is a message
    Message(AboutFile about, std::string path) : text(about.format), path(std::move(path)), aboutFile(true) {}

    // As the program's source texts say it.
    std::string Untranslated() const { return aboutFile ? path + AboutFile{text} : text; }

    const char* text;
    std::string path;
    bool aboutFile = false;
};

// A modal message with an OK button. The core calls it and carries on once the
// user has dismissed it; texts are UTF-8. A warning tells of something that
// went partly wrong in work that went on (a texture not found): it is shown
// without stopping the user, as a status line.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const Message& message) = 0;
    virtual void ShowWarning(const Message& message) { ShowMessage(message); }
};

// Keeps every message and warning shown, untranslated, for tests.
class RecordingMessages : public MessageSink {
public:
    void ShowMessage(const Message& message) override { shown.push_back(message.Untranslated()); }
    void ShowWarning(const Message& message) override { warned.push_back(message.Untranslated()); }
    std::vector<std::string> shown, warned;
};

// For modes without a display: each message or warning, in the user's
// language, becomes a line on standard error.
class StderrMessages : public MessageSink {
public:
    void ShowMessage(const Message& message) override;
    void ShowWarning(const Message& message) override { ShowMessage(message); }
};

} // namespace qm
