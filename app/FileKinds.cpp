#include "app/FileKinds.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "formats/DxfExport.h"
#include "formats/DxfImport.h"
#include "formats/ModelFiles.h"
#include "formats/RokImport.h"
#include "formats/TextScan.h"
#include "platform/Files.h"
#include "scene/SceneFile.h"

namespace qm {

namespace {

// How many of a file's first bytes its kind is told by.
constexpr size_t kHeadBytes = 256;

bool LooksLikeScene(std::string_view head)
{
    // The header string follows a length prefix of one to seven bytes.
    return head.substr(0, 16).find("VURizu(") != std::string_view::npos;
}

bool LooksLikeRok(std::string_view head)
{
    while (!head.empty() && IsSpace(head.front()))
        head.remove_prefix(1);
    return StartsWith(head, "ROKU4");
}

// The next line of text, without the white space around it; false at the end.
bool TakeLine(std::string_view& text, std::string_view& line)
{
    const size_t end = text.find('\n');
    if (end == std::string_view::npos)
        return false;
    line = text.substr(0, end);
    text.remove_prefix(end + 1);
    while (!line.empty() && IsSpace(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsSpace(line.back()))
        line.remove_suffix(1);
    return true;
}

// Group code 0 and a name (SECTION, 3DFACE...) on the next line, after any
// comments (code 999): lines of numbers alone are no DXF.
bool LooksLikeDxf(std::string_view head)
{
    std::string_view code, value;
    while (TakeLine(head, code) && TakeLine(head, value)) {
        if (code == "999")
            continue;
        const auto nameCharacter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
        const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
        return code == "0" && std::all_of(value.begin(), value.end(), nameCharacter) &&
               std::any_of(value.begin(), value.end(), letter);
    }
    return false;
}

bool ReadScene(CBodyDoc& doc, const std::string& path, const ModelReadLimits&)
{
    return LoadSceneFile(doc, path) == LoadResult::Ok;
}

// An importer or exporter as the table calls it: done or not.
template <ExchangeResult (*exchange)(CBodyDoc&, const std::string&)>
bool Done(CBodyDoc& doc, const std::string& path)
{
    return exchange(doc, path) == ExchangeResult::kOk;
}
template <ExchangeResult (*exchange)(CBodyDoc&, const std::string&)>
bool Read(CBodyDoc& doc, const std::string& path, const ModelReadLimits&)
{
    return exchange(doc, path) == ExchangeResult::kOk;
}
bool ReadModel(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits)
{
    return ImportModel(doc, path, limits) == ExchangeResult::kOk;
}

// Every kind of file, with its extension, how its first bytes look, and how it
// is read and (where it can be) written.
struct KindEntry {
    FileKind kind;
    bool (*named)(std::string_view extension);  // lower case, without the dot
    bool (*looksLike)(std::string_view head);   // null: told by name alone
    bool (*read)(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits);
    bool (*write)(CBodyDoc& doc, const std::string& path);
};

constexpr KindEntry kKinds[] = {
    {FileKind::Scene, [](std::string_view e) { return e == "abd"; }, LooksLikeScene, ReadScene, SaveSceneFile},
    {FileKind::Rok, [](std::string_view e) { return e == "rok"; }, LooksLikeRok, Read<ImportRok>, nullptr},
    {FileKind::Dxf, [](std::string_view e) { return e == "dxf"; }, LooksLikeDxf, Read<ImportDxf>, Done<ExportDxf>},
    {FileKind::Model, IsModelImportExtension, nullptr, ReadModel, Done<ExportModel>},
};

const KindEntry* EntryOf(FileKind kind)
{
    for (const KindEntry& entry : kKinds)
        if (entry.kind == kind)
            return &entry;
    return nullptr;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word)
{
    const auto same = [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); };
    return !word.empty() && std::search(text.begin(), text.end(), word.begin(), word.end(), same) != text.end();
}

} // namespace

std::vector<std::string> FilesWritten(const std::string& path, FileKind kind)
{
    std::vector<std::string> files{path};
    if (kind == FileKind::Model)
        for (std::string& side : ModelSideFiles(path))
            files.push_back(std::move(side));
    return files;
}

bool ReadingMayRead(const std::string& in, const std::string& file)
{
    if (SameFile(in, file))
        return true;
    std::error_code error;
    FileBytes bytes;
    if (KindOf(in) != FileKind::Model || !std::filesystem::exists(file, error) || !bytes.Open(in))
        return false;
    const std::filesystem::path full = std::filesystem::weakly_canonical(file, error);
    const std::filesystem::path folder = std::filesystem::weakly_canonical(in, error).parent_path();
    const std::string_view text(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    const bool below = std::mismatch(folder.begin(), folder.end(), full.begin(), full.end()).first == folder.end();
    return (below && ContainsIgnoringCase(text, full.filename().string())) ||
           ContainsIgnoringCase(text, full.string());
}

FileKind KindByName(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    for (const KindEntry& entry : kKinds)
        if (entry.named(ext))
            return entry.kind;
    return FileKind::Unknown;
}

FileKind KindOf(const std::string& path)
{
    if (const FileKind byName = KindByName(path); byName != FileKind::Unknown)
        return byName;
    std::string head;
    if (ReadFileHead(path, head, kHeadBytes) != FileRead::Ok)
        return FileKind::Unknown;
    for (const KindEntry& entry : kKinds)
        if (entry.looksLike && entry.looksLike(head))
            return entry.kind;
    return FileKind::Unknown;
}

bool CanWrite(FileKind kind)
{
    const KindEntry* entry = EntryOf(kind);
    return entry && entry->write;
}

bool ReadFileAs(CBodyDoc& doc, const std::string& path, FileKind kind, const ModelReadLimits& limits)
{
    const KindEntry* entry = EntryOf(kind);
    return entry && entry->read(doc, path, limits);
}

bool CanWrite(const std::string& path)
{
    const FileKind kind = KindByName(path);
    return kind == FileKind::Model ? IsModelExportExtension(LowerExtension(path)) : CanWrite(kind);
}

bool ReadFileInto(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits)
{
    return ReadFileAs(doc, path, KindOf(path), limits);
}

bool WriteFileAs(CBodyDoc& doc, const std::string& path, FileKind kind)
{
    const KindEntry* entry = EntryOf(kind);
    return entry && entry->write && entry->write(doc, path);
}

} // namespace qm
