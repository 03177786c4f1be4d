#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/ModelReadApart.h"
#include "platform/Messages.h"
#include "scene/BodyDoc.h"

namespace qm {

// The kinds of file quillo reads and writes. Model is any of the common
// formats read through the model importer.
enum class FileKind { Unknown, Scene, Dxf, Rok, Model };

// A file's kind by its extension in any case, else, for a file to read, by
// its first bytes (a scene header, "ROKU4", DXF group-code pairs).
FileKind KindOf(const std::string& path);
// By the extension alone, for a file to be written.
FileKind KindByName(const std::string& path);
bool CanWrite(FileKind kind);
// Whether quillo writes files of path's extension (of the model formats, only
// some are written).
bool CanWrite(const std::string& path);

// Reads path into doc as the kind says, whatever its name: a scene replaces
// the scene (a refused one leaves it as it was), a DXF, ROK or model file
// replaces the mesh. False (the user told through doc's messages) when it
// cannot be read. A model file is read within limits.
bool ReadFileAs(CBodyDoc& doc, const std::string& path, FileKind kind, const ModelReadLimits& limits = {});
// Reads path as opening it in the viewer would, its kind from KindOf.
bool ReadFileInto(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits = {});
// Writes doc to path in the kind's format, whatever the name; false (the user
// told) on failure. ROK files are only read; a model file's format is its
// extension's.
bool WriteFileAs(CBodyDoc& doc, const std::string& path, FileKind kind);

// The files a write of the kind to path replaces: path, then any files
// written beside it (a model's .mtl or .bin).
std::vector<std::string> FilesWritten(const std::string& path, FileKind kind);
// Whether reading in may read file: in itself, or a file that a model file
// names in its own folder or below (where its side files are looked up by
// name, in any case), or by its full path.
bool ReadingMayRead(const std::string& in, const std::string& file);

// A scene as a batch run starts it: freshly reset, with the view's initial
// state (the document's own until a view attaches), no default scene read;
// messages go to standard error.
struct BatchScene {
    StderrMessages messages;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    BatchScene() { doc->ResetScene(); }
};

} // namespace qm
