#pragma once

#include <string>
#include <string_view>

#include "formats/ModelData.h"

namespace qm {

// Whether a model file's bytes may go to the library as a file of its
// extension (lower case, no dot): its first bytes are that format's, so that
// no other reader ever sees them, and what the library would follow without
// bounds is within bounds: nesting of glTF JSON, Collada XML and FBX
// records, a glTF node graph of separate trees, glTF accessors inside their
// buffers, Collada accessors inside their arrays and node instances without
// loops, a PLY header of known lines. kOk when they may, kBadFormat when they
// are not such a file, kOutOfMemory when they hold more parts than the
// library reads in reasonable time and memory (Collada node instances, OBJ
// objects).
ModelReadStatus CheckModelBytes(std::string_view bytes, const std::string& extension);

} // namespace qm
