#pragma once

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace qm::bench {

struct RatioPair {
    std::string subject;
    std::string peer;
};

std::vector<RatioPair>& Ratios();

// Declares that subject's time is to be read against peer's.
struct DeclareRatio {
    DeclareRatio(const char* subject, const char* peer) { Ratios().push_back({subject, peer}); }
};

} // namespace qm::bench
