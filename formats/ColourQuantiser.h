#pragma once

#include <cstdint>
#include <vector>

#include "scene/BodyDoc.h"

namespace qm {

// A colour table for many colours and, for each input colour, its entry.
struct QuantisedColours {
    std::vector<Rgb> palette;    // at most the requested size
    std::vector<int32_t> entry;  // one per input colour
};

// Reduces colours to at most maxEntries table entries. When there are no more
// distinct colours (at 8 bits a channel) than that, each keeps its own entry,
// the first in order of appearance. Otherwise the distinct colours, weighted
// by use, are cut by median cut in the Oklab space (where equal distances look
// about equally different), the cut refined by a few rounds of k-means, and
// each colour takes the nearest entry.
QuantisedColours QuantiseColours(const std::vector<Rgb>& colours, int maxEntries);

} // namespace qm
