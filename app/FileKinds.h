#pragma once

#include <memory>
#include <string>

#include "platform/Messages.h"
#include "scene/BodyDoc.h"

namespace qm {

// The kinds of file quillo reads and writes, told apart by extension in any case.
// Model is any of the common formats read through the model importer.
enum class FileKind { Unknown, Scene, Dxf, Rok, Model };

FileKind KindOf(const std::string& path);
bool CanWrite(FileKind kind);
// Whether quillo writes files of path's extension.
bool CanWrite(const std::string& path);

// Reads path into doc as opening it in the viewer would: a scene replaces the
// scene, a DXF, ROK or model file replaces the mesh. False (the user told through
// doc's messages) when it cannot be read.
bool ReadFileInto(CBodyDoc& doc, const std::string& path);
// Writes doc to path as saving or exporting would; false (the user told) on
// failure. ROK files are only read.
bool WriteFileFrom(CBodyDoc& doc, const std::string& path);

// A scene as a batch run starts it: freshly reset, with the view's initial
// state (the document's own until a view attaches), no default scene read;
// messages go to standard error.
struct BatchScene {
    StderrMessages messages;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    BatchScene() { doc->ResetScene(); }
};

} // namespace qm
