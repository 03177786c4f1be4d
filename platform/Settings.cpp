#include <algorithm>
#include <limits>

#include "platform/Settings.h"

namespace qm {

int32_t ReadInt(const SettingsStore& settings, std::string_view section, std::string_view key, int32_t defaultValue)
{
    const std::optional<std::string> text = settings.Read(section, key);
    if (!text || text->empty())
        return defaultValue;

    size_t i = 0;
    while (i < text->size() && ((*text)[i] == ' ' || (*text)[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text->size() && ((*text)[i] == '-' || (*text)[i] == '+'))
        negative = (*text)[i++] == '-';

    // Accumulate beyond the int32 range before clamping, so that a long run of
    // digits saturates instead of wrapping.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9'; ++i)
        magnitude = std::min(magnitude * 10 + ((*text)[i] - '0'), kLimit);
    const int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void WriteInt(SettingsStore& settings, std::string_view section, std::string_view key, int32_t value)
{
    settings.Write(section, key, std::to_string(value));
}

} // namespace qm
