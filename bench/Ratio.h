#pragma once

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace qm::bench {

// subject / peer, or (subject - minus) / peer when part of subject's work
// is measured on its own as minus.
struct RatioPair {
    std::string subject;
    std::string peer;
    std::string minus;
};

std::vector<RatioPair>& Ratios();

// Declares that subject's time is to be read against peer's.
struct DeclareRatio {
    DeclareRatio(const char* subject, const char* peer, const char* minus = "")
    {
        Ratios().push_back({subject, peer, minus});
    }
};

} // namespace qm::bench
