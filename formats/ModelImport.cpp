#include <algorithm>
#include <cctype>
#include <string_view>

#include "formats/ColourQuantiser.h"
#include "formats/DxfImport.h"
#include "formats/ModelFiles.h"
#include "formats/ModelRead.h"
#include "formats/ModelReadApart.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "scene/FigureFitting.h"

namespace qm {

namespace {

ExchangeResult Apply(CBodyDoc& doc, ModelData& model, const std::string& extension)
{
    const QuantisedColours colours = QuantiseColours(model.colours, kColourCount);

    doc.ViewState().groupBinding = true;
    doc.ResetMesh(true);
    doc.vertexCount = int32_t(std::min<size_t>(model.positions.size(), size_t(kMaxMeshEntries) + 1));
    doc.polygonCount = int32_t(std::min<size_t>(model.polygons.size(), size_t(kMaxMeshEntries) + 1));
    const bool discarded = doc.GrowMesh();
    MeshBounds bounds;
    for (int v = 0; v < doc.vertexCount; ++v) {
        doc.restVertices[size_t(v)] = model.positions[size_t(v)];
        doc.vertexGroup[size_t(v)] = model.groups[size_t(v)];
        bounds.Widen(model.positions[size_t(v)]);
    }
    for (int p = 0; p < doc.polygonCount; ++p) {
        doc.polygonCorners[size_t(p)] = model.polygons[size_t(p)];
        doc.polygonColour[size_t(p)] = colours.entry[size_t(p)];
    }
    if (!discarded && model.rig.vertexBone.size() == model.positions.size())
        doc.rig = std::move(model.rig);
    doc.SetDefaultColours();
    std::copy(colours.palette.begin(), colours.palette.end(), doc.colourTable.begin());
    FitMeshToView(doc, bounds);
    // STL repeats every corner per face, to the last digit or not: weld as DXF does.
    const bool welded = extension != "stl" || WeldVertices(doc);
    RestoreDefaultPoseAndBind(doc);
    // A character is fitted as it comes in; anything else keeps the default figure.
    if (!discarded)
        FitFigureToModel(doc, false);
    return (discarded || !welded) ? ExchangeResult::kOutOfMemory : ExchangeResult::kOk;
}

// The textures a model names but could not give, as one warning: names
// from the file, with anything a terminal would act on made harmless.
void WarnOfMissingTextures(CBodyDoc& doc, const std::vector<std::string>& names)
{
    constexpr size_t kListed = 5;
    if (names.empty())
        return;
    std::string list;
    for (size_t i = 0; i < std::min(names.size(), kListed); ++i) {
        std::string name = names[i];
        std::replace_if(name.begin(), name.end(), [](unsigned char c) { return c < ' ' || c == 0x7f; }, '?');
        list += (i ? "、" : "") + name;
    }
    doc.Messages().ShowWarning({strings::kNotFound, list + (names.size() > kListed ? "…" : "")});
}

} // namespace

std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

bool IsModelImportExtension(std::string_view extension)
{
    return std::find(std::begin(kModelImportExtensions), std::end(kModelImportExtensions), extension) !=
           std::end(kModelImportExtensions);
}

bool IsModelExportExtension(std::string_view extension)
{
    return std::find(std::begin(kModelExportExtensions), std::end(kModelExportExtensions), extension) !=
           std::end(kModelExportExtensions);
}

ExchangeResult ImportModel(CBodyDoc& doc, const std::string& path, const ModelReadLimits& limits)
{
    return ImportModelWith(doc, path, [&limits](const std::string& file, ModelData& model) {
        return ReadModelApart(file, model, limits);
    });
}

ExchangeResult ImportModelWith(CBodyDoc& doc, const std::string& path,
                               const std::function<ModelReadStatus(const std::string&, ModelData&)>& read)
{
    ModelData model;
    switch (read(path, model)) {
    case ModelReadStatus::kOk: {
        const NamedImport naming(doc, path);
        const ExchangeResult result = Apply(doc, model, LowerExtension(path));
        WarnOfMissingTextures(doc, model.missingTextures);
        return result;
    }
    case ModelReadStatus::kNoReader:
        doc.Messages().ShowMessage({strings::kCannotOpen, "quillo-model-reader"});
        return ExchangeResult::kCannotOpen;
    case ModelReadStatus::kCannotOpen:
        ReportCannotOpen(doc, path);
        return ExchangeResult::kCannotOpen;
    case ModelReadStatus::kOutOfMemory:
        doc.Messages().ShowMessage(strings::kOutOfMemory);
        return ExchangeResult::kOutOfMemory;
    case ModelReadStatus::kBadFormat:
        break;
    }
    doc.Messages().ShowMessage({AboutFile{strings::kBadFormat}, FullPath(path)});
    return ExchangeResult::kWrongFormat;
}

} // namespace qm
