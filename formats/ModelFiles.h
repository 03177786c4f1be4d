#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Exchange.h"
#include "formats/ModelData.h"
#include "formats/ModelReadApart.h"

namespace qm {

// Model files read through the Open Asset Import Library, by extension (lower
// case, no dot), and the ones written.
inline constexpr const char* kModelImportExtensions[] = {"obj", "gltf", "glb", "vrm", "fbx", "ply", "stl", "dae", "pmx", "3ds"};
inline constexpr const char* kModelExportExtensions[] = {"obj", "gltf", "glb", "stl", "ply"};

// The extension of a path's file name, lower case, without the dot; empty when it has none.
std::string LowerExtension(const std::string& path);
// The extensions of a list as ".a, .b and .c".
template <size_t N> std::string ListExtensions(const char* const (&extensions)[N])
{
    std::string list;
    for (size_t i = 0; i < N; ++i)
        list += std::string(i == 0 ? "." : i + 1 == N ? " and ." : ", .") + extensions[i];
    return list;
}

bool IsModelImportExtension(std::string_view extension);
bool IsModelExportExtension(std::string_view extension);

// Replaces the mesh and colours with every mesh of a model file, as the DXF
// import does: the scene graph flattened in the file's own units, turned from
// the file's y-up, z-forward axes into the scene's, centred and scaled to a
// 30-unit diagonal, figure slot 0 back in its default rest pose and the mesh
// bound to it with group binding on. Each source mesh (or, for a skinned mesh,
// each vertex's strongest bone) is a vertex group. Material colours, times
// their base colour textures sampled at each polygon's centre (or else the
// vertices' own colours), become the colour table, quantised when there are
// more than it holds. A file the library cannot read changes nothing: the user is
// told (cannot open, or bad format). The file is read apart from the program,
// within limits; textures it names but could not give are named in a warning.
ExchangeResult ImportModel(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits = {});
// The same with the reading done by read, as ReadModel does it in this process for fuzzing.
ExchangeResult ImportModelWith(CBodyDoc& doc, const std::string& path,
                               const std::function<ModelReadStatus(const std::string&, ModelData&)>& read);

// The files an export to path writes beside it (an OBJ's .mtl, a glTF's
// .bin), named as the exporter names them.
std::vector<std::string> ModelSideFiles(const std::string& path);

// Writes the mesh's rest positions, axes turned back, as OBJ (with an MTL of
// the colours used beside it), glTF (.gltf with its .bin, or .glb; one
// material per colour used, triangles), binary STL or PLY (with face
// colours), by the extension of path. The document is not changed. On
// failure the user is told (the file that could not be written, followed by
// the cannot-write text), and no file has been written.
ExchangeResult ExportModel(CBodyDoc& doc, const std::string& path);

} // namespace qm
