#pragma once

#include <array>
#include <cstdint>

namespace qm {

class CBodyDoc;

constexpr int kSheetMaxNodes = 100;
constexpr int kSheetMaxLinks = 200;

// A grid of nodes joined by links. Grid point (i, j) is node entry W*j + i;
// link slot (kind k, column i, row j) is entry (H*k + j)*W + i.
struct NodeSheet {
    std::array<int32_t, kSheetMaxNodes> node{};
    std::array<int32_t, kSheetMaxLinks> link{};
    int32_t width = 0;
    int32_t height = 0;
    CBodyDoc* document = nullptr;  // not owned; null until first built
    int32_t active = 0;
};

} // namespace qm
