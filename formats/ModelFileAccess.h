#pragma once

#include <cstddef>
#include <string>

namespace Assimp {
class Importer;
}

namespace qm {

// The largest side file (material library, buffer, texture) read for a model.
inline constexpr size_t kSideFileLimit = size_t(1) << 30;

// Where a file that a model names (a material library, a buffer, a texture)
// is read from: the name as a path inside the model's folder, each part
// matched in any case where it is not there as spelt; else, and for a name
// that is absolute, leads out of the folder or is a Windows path, its last
// part in the model's folder, in any case. Empty when nothing is found, or
// when what is found lies outside the folder (through a link).
std::string FindSideFile(const std::string& modelFolder, const std::string& name);

// Makes the library read through our own file access: the model file itself
// and the side files FindSideFile finds, regular files only (a pipe or device
// is refused, never waited on), read-only, at most kSideFileLimit bytes.
void UseConfinedFileAccess(Assimp::Importer& importer, const std::string& modelPath);

} // namespace qm
