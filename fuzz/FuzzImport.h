#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "formats/DxfExport.h"
#include "scene/BodyDoc.h"

namespace qm::fuzz {

// Stops the run when an import left a scene that would crash the viewer:
// counts beyond the arrays, corners outside the vertices, vertices bound to
// no node.
inline void CheckScene(const CBodyDoc& doc)
{
    if (doc.vertexCount < 0 || doc.vertexCount > doc.VertexCapacity() || doc.polygonCount < 0 ||
        doc.polygonCount > doc.PolygonCapacity() || doc.polygonCount > static_cast<int>(doc.polygonCorners.size()))
        std::abort();
    for (int p = 0; p < doc.polygonCount; ++p)
        for (int32_t c : doc.polygonCorners[static_cast<size_t>(p)])
            if (c < 0 || c >= doc.vertexCount)
                std::abort();
    for (int v = 0; v < doc.vertexCount; ++v) {
        const int32_t n = doc.boundNode[static_cast<size_t>(v)];
        if (n < 0 || n >= kNodePoolSize)
            std::abort();
    }
}

// Imports arbitrary bytes with import(doc, stream), checks the scene and
// exports it again. One document serves the whole run, as the viewer keeps
// one across imports.
template <class Import> int FuzzImport(const uint8_t* data, size_t size, Import import)
{
    static RecordingMessages messages;
    static CBodyDoc doc(messages);
    static const bool reset = (doc.ResetScene(), true);
    (void)reset;

    messages.shown.clear();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    import(doc, in);
    CheckScene(doc);
    if (FormatDxf(doc).empty())
        std::abort();
    return 0;
}

} // namespace qm::fuzz
