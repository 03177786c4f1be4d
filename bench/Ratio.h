#pragma once

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace qm::bench {

// subject / peer, or (subject - minus) / peer when part of subject's work
// is measured on its own as minus; in CPU time, or in wall-clock time where
// the work is done by other processes.
struct RatioPair {
    std::string subject;
    std::string peer;
    std::string minus;
    bool wallClock = false;
};

std::vector<RatioPair>& Ratios();

// Declares that subject's time is to be read against peer's.
struct DeclareRatio {
    DeclareRatio(const char* subject, const char* peer, const char* minus = "", bool wallClock = false)
    {
        Ratios().push_back({subject, peer, minus, wallClock});
    }
};

} // namespace qm::bench
