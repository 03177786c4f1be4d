#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

class CBodyDoc;

// The scene file: a length-prefixed header string "VURizu(006)", the view's
// camera and light, figure 0's pose, the mesh and the colour table, all
// little-endian. Versions 4, 5 and 6 are read; 6 is written.
inline constexpr int kSceneFileVersion = 6;
inline constexpr size_t kPoseBlockOffsetV6 = 84;

enum class LoadResult {
    Ok,
    CannotOpen,   // the file could not be opened or read
    BadFormat,    // unknown version, impossible counts or corners, numbers that are not finite
    Truncated,    // the file ends before its scene does
    OutOfMemory,  // the mesh did not fit
};

// Reads a scene into doc and the view state it is attached to, rebuilding
// normals and binding; a model scale below kMinModelScale is raised to it.
// The whole file is checked first: a refused file (anything but Ok or
// OutOfMemory) leaves the scene and the view state as they were; OutOfMemory
// leaves the freshly reset scene and the view state as it was. Either way the
// user has been told, the file named as name.
LoadResult LoadScene(CBodyDoc& doc, const uint8_t* data, size_t size, const std::string& name);
LoadResult LoadSceneFile(CBodyDoc& doc, const std::string& path);

std::vector<uint8_t> SaveScene(const CBodyDoc& doc);
// Writes atomically; on failure tells the user and leaves any old file intact.
bool SaveSceneFile(CBodyDoc& doc, const std::string& path);

// The version in a header string: its characters 7 to 9 as a decimal number
// (0 when there are none).
int SceneHeaderVersion(const std::string& header);

} // namespace qm
