#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/BodyDoc.h"
#include "scene/ModelRig.h"

namespace qm {

// A model file as its reader hands it over: the scene graph flattened into
// one mesh in the file's own units, turned into the scene's axes, before it
// is centred, scaled, coloured from the table and bound. Plain data, so that
// it can come back from a reader that runs apart from the program.
struct ModelData {
    std::vector<Vec3> positions;
    std::vector<int32_t> groups;           // per vertex, 0 to 255
    std::vector<PolygonCorners> polygons;  // corners index positions; a triangle repeats one
    std::vector<Rgb> colours;              // per polygon, each channel 0 to 1, before quantising
    ModelRig rig;                          // empty when the file has no skeleton
    std::vector<std::string> missingTextures;  // named by a material, not found or not read
};

// How a reading went; anything but kOk leaves data unspecified.
enum class ModelReadStatus {
    kOk,
    kCannotOpen,   // the file could not be opened or read
    kBadFormat,    // not a model of its extension's format, or damaged
    kOutOfMemory,  // more than the reader may hold
    kNoReader,     // the program that reads model files is not there
};

} // namespace qm
