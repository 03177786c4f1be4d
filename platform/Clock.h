#pragma once

#include <chrono>
#include <cstdint>

namespace qm {

// A millisecond tick count that wraps like any 32-bit counter; only
// differences between ticks mean anything.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t Milliseconds() = 0;
};

class SteadyClock : public Clock {
public:
    uint32_t Milliseconds() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
};

// Advances only when told to, for tests.
class ManualClock : public Clock {
public:
    uint32_t Milliseconds() override { return now; }
    uint32_t now = 0;
};

} // namespace qm
