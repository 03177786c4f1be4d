#include "app/FileKinds.h"

#include "formats/DxfExport.h"
#include "formats/DxfImport.h"
#include "formats/ModelFiles.h"
#include "formats/RokImport.h"
#include "scene/SceneFile.h"

namespace qm {

FileKind KindOf(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == "abd")
        return FileKind::Scene;
    if (ext == "dxf")
        return FileKind::Dxf;
    if (ext == "rok")
        return FileKind::Rok;
    if (IsModelImportExtension(ext))
        return FileKind::Model;
    return FileKind::Unknown;
}

bool CanWrite(FileKind kind)
{
    return kind == FileKind::Scene || kind == FileKind::Dxf;
}

bool CanWrite(const std::string& path)
{
    return CanWrite(KindOf(path)) || IsModelExportExtension(LowerExtension(path));
}

bool ReadFileInto(CBodyDoc& doc, const std::string& path)
{
    switch (KindOf(path)) {
    case FileKind::Scene:
        return LoadSceneFile(doc, path) == LoadResult::Ok;
    case FileKind::Dxf:
        return ImportDxf(doc, path) == ExchangeResult::kOk;
    case FileKind::Rok:
        return ImportRok(doc, path) == ExchangeResult::kOk;
    case FileKind::Model:
        return ImportModel(doc, path) == ExchangeResult::kOk;
    case FileKind::Unknown:
        break;
    }
    return false;
}

bool WriteFileFrom(CBodyDoc& doc, const std::string& path)
{
    switch (KindOf(path)) {
    case FileKind::Scene:
        return SaveSceneFile(doc, path);
    case FileKind::Dxf:
        return ExportDxf(doc, path) == ExchangeResult::kOk;
    case FileKind::Rok:
    case FileKind::Model:
    case FileKind::Unknown:
        break;
    }
    return IsModelExportExtension(LowerExtension(path)) && ExportModel(doc, path) == ExchangeResult::kOk;
}

} // namespace qm
