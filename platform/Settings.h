#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// The program's settings: text values under keys, grouped in sections.
// Writes change the store at once; Flush makes them durable. A store that
// cannot persist keeps the values for the rest of the run, and nothing is
// reported: settings are a convenience, never a reason to stop.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The text under key in section; nothing when either is missing.
    virtual std::optional<std::string> Read(std::string_view section, std::string_view key) const = 0;
    virtual void Write(std::string_view section, std::string_view key, std::string_view value) = 0;
    // Returns false when the writes could not be made durable; they are kept
    // for the next flush.
    virtual bool Flush() = 0;
};

// Conversion and rendering from the command line read the settings but must
// not change a file that a running viewer may be using.
enum class SettingsAccess { ReadWrite, ReadOnly };

// An integer setting: the leading decimal number of the text (with optional
// sign; beyond the int32 range it is clamped), 0 when the text has none, and
// the default when the key is missing or its value empty.
int32_t ReadInt(const SettingsStore& settings, std::string_view section, std::string_view key, int32_t defaultValue);
void WriteInt(SettingsStore& settings, std::string_view section, std::string_view key, int32_t value);

struct SettingsEntry {
    std::string section;
    std::string key;
    std::string value;
    friend bool operator==(const SettingsEntry& a, const SettingsEntry& b)
    {
        return a.section == b.section && a.key == b.key && a.value == b.value;
    }
};

// Settings in memory, for tests: keeps every write in order and counts flushes.
class MemorySettings : public SettingsStore {
public:
    std::optional<std::string> Read(std::string_view section, std::string_view key) const override
    {
        const auto found = values.find({std::string(section), std::string(key)});
        if (found == values.end())
            return std::nullopt;
        return found->second;
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override
    {
        values[{std::string(section), std::string(key)}] = std::string(value);
        written.push_back({std::string(section), std::string(key), std::string(value)});
    }
    bool Flush() override
    {
        ++flushes;
        return true;
    }

    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<SettingsEntry> written;
    int flushes = 0;
};

} // namespace qm
