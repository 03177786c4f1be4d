#pragma once

#include <string>

#include "formats/ModelData.h"

namespace qm {

// Reads a model file of one of the import extensions through the Open Asset
// Import Library: every mesh the scene graph places, in the file's units
// turned into the scene's axes; per polygon the material's colour times its
// base colour texture at the polygon's centre (or the vertices' own colours);
// per vertex a group (its mesh's, or its most weighted bone's); the skeleton
// of a skinned mesh in its bind pose.
ModelReadStatus ReadModel(const std::string& path, ModelData& data);

} // namespace qm
