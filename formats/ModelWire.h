#pragma once

#include <cstddef>
#include <functional>

#include "formats/ModelData.h"

namespace qm {

// A model reading as the reading process hands it to the program: the
// status and, when it is kOk, every field of the model data, in the
// machine's own byte order.
using WireSink = std::function<bool(const void* data, size_t size)>;
bool WriteModelWire(ModelReadStatus status, const ModelData& data, const WireSink& sink);

// Reads what WriteModelWire wrote, trusting none of it: counts within the
// scene's bounds, corners and bones in range, positions finite, colours
// within 0..1, groups within the table, names of bounded length, a bone
// chain without loops. Anything else, or too few bytes, is kBadFormat.
using WireSource = std::function<bool(void* data, size_t size)>;
ModelReadStatus ReadModelWire(const WireSource& source, ModelData& data);

} // namespace qm
