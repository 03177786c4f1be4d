#include <algorithm>
#include <memory>
#include <vector>

#include <assimp/Exporter.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include "formats/ModelFiles.h"
#include "platform/Files.h"
#include "resources/Strings.h"

namespace qm {

namespace {

// A file's y-up, z-forward axes from the scene's; the turn is its own inverse.
aiVector3D FileAxes(const Vec3& p)
{
    return aiVector3D(-p.x, -p.z, -p.y);
}

// The polygon's corners in the file's turning order, each once: a triangle
// stored with a corner repeated anywhere, (b, a, c, a) too, is one triangle.
// Fewer than three means it has no surface.
std::vector<int32_t> FileCorners(const PolygonCorners& c)
{
    std::vector<int32_t> out;
    for (const int32_t corner : {c[0], c[3], c[2], c[1]})
        if (std::find(out.begin(), out.end(), corner) == out.end())
            out.push_back(corner);
    return out;
}

// The mesh as a library scene: one mesh and one material per colour used.
// Triangles only when the format has nothing else.
std::unique_ptr<aiScene> BuildScene(const CBodyDoc& doc, bool trianglesOnly, bool vertexColours)
{
    std::vector<std::vector<int32_t>> byColour(kColourCount);
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[size_t(p)];
        if (std::any_of(c.begin(), c.end(), [&](int32_t v) { return v < 0 || v >= doc.vertexCount; }))
            continue;
        int colour = doc.polygonColour[size_t(p)];
        byColour[size_t(colour >= 0 && colour < kColourCount ? colour : 0)].push_back(p);
    }

    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Quillomark");
    std::vector<aiMesh*> meshes;
    std::vector<aiMaterial*> materials;
    for (int colour = 0; colour < kColourCount; ++colour) {
        std::vector<std::vector<int32_t>> faces;
        for (const int32_t p : byColour[size_t(colour)]) {
            const std::vector<int32_t> corners = FileCorners(doc.polygonCorners[size_t(p)]);
            if (corners.size() < 3)
                continue;
            if (trianglesOnly && corners.size() == 4) {
                faces.push_back({corners[0], corners[1], corners[2]});
                faces.push_back({corners[0], corners[2], corners[3]});
            } else {
                faces.push_back(corners);
            }
        }
        if (faces.empty())
            continue;

        auto* mesh = new aiMesh;
        mesh->mName = "colour" + std::to_string(colour);
        mesh->mMaterialIndex = unsigned(materials.size());
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE | (trianglesOnly ? 0 : aiPrimitiveType_POLYGON);
        std::vector<int32_t> local(size_t(doc.vertexCount), -1);
        std::vector<aiVector3D> positions;
        mesh->mNumFaces = unsigned(faces.size());
        mesh->mFaces = new aiFace[faces.size()];
        for (size_t f = 0; f < faces.size(); ++f) {
            aiFace& face = mesh->mFaces[f];
            face.mNumIndices = unsigned(faces[f].size());
            face.mIndices = new unsigned[faces[f].size()];
            for (size_t k = 0; k < faces[f].size(); ++k) {
                int32_t& index = local[size_t(faces[f][k])];
                if (index < 0) {
                    index = int32_t(positions.size());
                    positions.push_back(FileAxes(doc.restVertices[size_t(faces[f][k])]));
                }
                face.mIndices[k] = unsigned(index);
            }
        }
        mesh->mNumVertices = unsigned(positions.size());
        mesh->mVertices = new aiVector3D[positions.size()];
        std::copy(positions.begin(), positions.end(), mesh->mVertices);
        meshes.push_back(mesh);

        const Rgb& rgb = doc.colourTable[size_t(colour)];
        if (vertexColours) {
            mesh->mColors[0] = new aiColor4D[positions.size()];
            std::fill_n(mesh->mColors[0], positions.size(), aiColor4D(rgb.r, rgb.g, rgb.b, 1.0f));
        }
        auto* material = new aiMaterial;
        const aiString name(mesh->mName);
        const aiColor3D diffuse(rgb.r, rgb.g, rgb.b);
        const aiColor4D base(rgb.r, rgb.g, rgb.b, 1.0f);
        material->AddProperty(&name, AI_MATKEY_NAME);
        material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
        material->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
        materials.push_back(material);
    }
    if (materials.empty())
        materials.push_back(new aiMaterial); // the library wants one

    scene->mNumMeshes = unsigned(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    std::copy(meshes.begin(), meshes.end(), scene->mMeshes);
    scene->mNumMaterials = unsigned(materials.size());
    scene->mMaterials = new aiMaterial*[materials.size()];
    std::copy(materials.begin(), materials.end(), scene->mMaterials);
    scene->mRootNode->mNumMeshes = unsigned(meshes.size());
    scene->mRootNode->mMeshes = new unsigned[meshes.size()];
    for (unsigned i = 0; i < meshes.size(); ++i)
        scene->mRootNode->mMeshes[i] = i;
    return scene;
}

struct ExportFormat {
    const char* extension;
    const char* id; // the library's exporter
    bool trianglesOnly;
    bool vertexColours; // colours only as the vertices' own
    const char* sideExtension; // of the file written beside, named as the main one
};

constexpr ExportFormat kFormats[] = {
    {"obj", "obj", false, false, "mtl"}, {"gltf", "gltf2", true, false, "bin"}, {"glb", "glb2", true, false, nullptr},
    {"stl", "stlb", true, false, nullptr}, {"ply", "ply", false, true, nullptr},
};

const ExportFormat* FormatOf(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    for (const ExportFormat& format : kFormats)
        if (extension == format.extension)
            return &format;
    return nullptr;
}

// A file the exporter names beside path.
std::string Beside(const std::string& path, const std::string& name)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

} // namespace

std::vector<std::string> ModelSideFiles(const std::string& path)
{
    const ExportFormat* format = FormatOf(path);
    if (!format || !format->sideExtension)
        return {};
    return {path.substr(0, path.rfind('.') + 1) + format->sideExtension};
}

ExchangeResult ExportModel(CBodyDoc& doc, const std::string& path)
{
    // The files are made in memory and written together through the one
    // writer, so that nothing is written before every file may be.
    std::string failed = path;
    if (const ExportFormat* format = FormatOf(path)) {
        const std::unique_ptr<aiScene> scene = BuildScene(doc, format->trianglesOnly, format->vertexColours);
        Assimp::Exporter exporter;
        Assimp::ExportProperties properties;
        properties.SetPropertyString(AI_CONFIG_EXPORT_BLOB_NAME, path.substr(path.rfind('/') + 1));
        std::vector<FileContents> files;
        for (const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), format->id, 0, &properties); blob;
             blob = blob->next)
            files.push_back({Beside(path, blob->name.C_Str()),
                             std::string_view(static_cast<const char*>(blob->data), blob->size)});
        if (!files.empty() && ReplaceFilesAtomically(files, &failed))
            return ExchangeResult::kOk;
    }
    doc.Messages().ShowMessage({strings::kCannotWrite, FullPath(failed)});
    return ExchangeResult::kCannotOpen;
}

} // namespace qm
