#include "app/FileKinds.h"

#include <algorithm>
#include <cctype>

#include "formats/DxfExport.h"
#include "formats/DxfImport.h"
#include "formats/RokImport.h"
#include "scene/SceneFile.h"

namespace qm {

FileKind KindOf(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileKind::Unknown;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == "abd")
        return FileKind::Scene;
    if (ext == "dxf")
        return FileKind::Dxf;
    if (ext == "rok")
        return FileKind::Rok;
    return FileKind::Unknown;
}

bool CanWrite(FileKind kind)
{
    return kind == FileKind::Scene || kind == FileKind::Dxf;
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
    case FileKind::Unknown:
        break;
    }
    return false;
}

} // namespace qm
