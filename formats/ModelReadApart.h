#pragma once

#include <cstdint>
#include <string>

#include "formats/ModelData.h"

namespace qm {

// What a reading of a model file may take.
struct ModelReadLimits {
    uint64_t memoryBytes = 0;  // address space of the reading process; 0: as the file's size asks (below)
    int seconds = 120;         // wall-clock and processor time, at most
};

// What reading the model at path may take when the caller set no memory
// bound: a small file gets what a thumbnail gets, so that a hostile one ends
// within seconds; a large model, counted with the files beside it (its
// buffers and textures), gets room in proportion, up to half of the
// machine's memory and limits.seconds.
ModelReadLimits LimitsForModel(const std::string& path, const ModelReadLimits& limits);
// Pictures drawn for file managers, where anything may be offered.
inline constexpr ModelReadLimits kPictureReadLimits{uint64_t(1) << 30, 60};

// The program that reads model files for us: beside the running program, as
// in the build tree, or where it is installed. Empty when there is none.
std::string ModelReaderProgram();

// ReadModel in a process of its own, confined and within limits, so that no
// file can harm the program: the data it hands back is checked before it is
// taken. A crash, a signal, a limit or the time running out is kBadFormat;
// a missing reading program kNoReader.
ModelReadStatus ReadModelApart(const std::string& path, ModelData& data, const ModelReadLimits& limits = {});

} // namespace qm
