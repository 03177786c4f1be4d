#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Settings.h"

namespace qm {

// Far more than any settings file holds: a larger one (or a device that never
// ends) is not read, nor rewritten, nor copied as a user's first settings.
inline constexpr size_t kMaxSettingsBytes = size_t(1) << 20;

// Settings kept in an INI file. The file is read once when the store is
// opened; each flush reads it again, applies the writes made since, and
// replaces it atomically, so that sections, keys and comments the program
// does not own survive, and so do changes another running copy has flushed
// meanwhile. Sections and keys are found without regard to case.
class IniFileSettings final : public SettingsStore {
public:
    IniFileSettings(std::string path, SettingsAccess access);
    ~IniFileSettings() override;
    IniFileSettings(const IniFileSettings&) = delete;
    IniFileSettings& operator=(const IniFileSettings&) = delete;

    const std::string& Path() const { return path_; }

    std::optional<std::string> Read(std::string_view section, std::string_view key) const override;
    void Write(std::string_view section, std::string_view key, std::string_view value) override;
    // Does not write when the store is read-only, or when the file exists but
    // cannot be read or is write-protected: writing then would lose its contents
    // or override the user's protection.
    bool Flush() override;

private:
    struct Document;

    std::string path_;
    SettingsAccess access_;
    std::unique_ptr<Document> document_;
    std::vector<SettingsEntry> pending_; // written since the last flush
};

} // namespace qm
