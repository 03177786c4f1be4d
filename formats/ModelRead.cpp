#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include <sys/stat.h>

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "formats/ColourQuantiser.h"
#include "formats/HumanoidMap.h"
#include "formats/ModelCheck.h"
#include "formats/ModelFileAccess.h"
#include "formats/ModelFiles.h"
#include "formats/ModelRead.h"
#include "platform/Files.h"

namespace qm {

namespace {

// A texture decoded to 8-bit RGBA, top row first.
struct Texture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    // The texel at (u, v), repeating outside 0..1; v grows upwards as the library gives it.
    // A coordinate that is not a number reads the corner texel.
    Rgb At(double u, double v) const
    {
        if (!std::isfinite(u) || !std::isfinite(v))
            u = v = 0.0;
        u -= std::floor(u);
        v -= std::floor(v);
        const int x = std::min(int(u * width), width - 1), y = std::min(int((1.0 - v) * height), height - 1);
        const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
    }
};

// Decoded texture pixels one model may use in all. Beyond them a texture is
// skipped and its material keeps its own colour.
constexpr uint64_t kTexturePixels = uint64_t(64) << 20;

// Decodes an image file's bytes when its pixels fit in what is left of the
// budget, and takes them from it.
Texture Decode(const uint8_t* bytes, size_t size, uint64_t& budget)
{
    Texture t;
    int channels = 0;
    if (size > size_t(std::numeric_limits<int>::max()) ||
        !stbi_info_from_memory(bytes, int(size), &t.width, &t.height, &channels) ||
        uint64_t(t.width) * uint64_t(t.height) > budget)
        return Texture{};
    stbi_uc* pixels = stbi_load_from_memory(bytes, int(size), &t.width, &t.height, &channels, 4);
    if (pixels == nullptr)
        return Texture{};
    budget -= uint64_t(t.width) * uint64_t(t.height);
    t.rgba.assign(pixels, pixels + size_t(t.width) * size_t(t.height) * 4);
    stbi_image_free(pixels);
    return t;
}

// The base colour textures of a scene's materials: embedded in the file, or
// files in the model's folder. Each image is decoded once, however many
// names lead to it, and only while the pixel budget lasts.
class Textures {
public:
    Textures(const aiScene& scene, std::string folder) : scene_(scene), folder_(std::move(folder)) {}

    const Texture* Find(const std::string& name)
    {
        auto [it, added] = byName_.try_emplace(name, nullptr);
        if (added)
            it->second = Load(name);
        return it->second;
    }

    // The names of the textures that could not be found or decoded, or did not fit the budget.
    const std::vector<std::string>& Missing() const { return missing_; }

private:
    // The texture name gives, or null; each image that cannot be used is
    // named once among the missing, by the first name that led to it.
    const Texture* Load(const std::string& name)
    {
        Texture* texture = nullptr;
        bool added = false;
        FileBytes file;
        struct stat st{};
        if (const aiTexture* embedded = scene_.GetEmbeddedTexture(name.c_str())) {
            std::tie(texture, added) = Entry(embedded_, embedded);
            if (added)
                *texture = Unpack(*embedded);
        } else if (const std::string path = name.empty() ? "" : FindSideFile(folder_, name);
                   !path.empty() && stat(path.c_str(), &st) == 0) {
            std::tie(texture, added) = Entry(files_, std::make_pair(uint64_t(st.st_dev), uint64_t(st.st_ino)));
            if (added && file.Open(path, kSideFileLimit))
                *texture = Decode(file.Data(), file.Size(), budget_);
        } else {
            added = true;
        }
        if (texture == nullptr || texture->rgba.empty()) {
            if (added)
                missing_.push_back(name);
            return nullptr;
        }
        return texture;
    }

    template <class Map, class Key> static std::pair<Texture*, bool> Entry(Map& map, const Key& key)
    {
        const auto [it, added] = map.try_emplace(key);
        return {&it->second, added};
    }

    Texture Unpack(const aiTexture& embedded)
    {
        if (embedded.mHeight == 0)
            return Decode(reinterpret_cast<const uint8_t*>(embedded.pcData), embedded.mWidth, budget_);
        const uint64_t pixels = uint64_t(embedded.mWidth) * embedded.mHeight;
        if (pixels > budget_)
            return Texture{};
        budget_ -= pixels;
        Texture t{int(embedded.mWidth), int(embedded.mHeight), {}};
        t.rgba.reserve(size_t(pixels) * 4);
        for (size_t i = 0; i < pixels; ++i) {
            const aiTexel& texel = embedded.pcData[i];
            t.rgba.insert(t.rgba.end(), {texel.r, texel.g, texel.b, texel.a});
        }
        return t;
    }

    const aiScene& scene_;
    std::string folder_;
    uint64_t budget_ = kTexturePixels;
    std::map<std::string, const Texture*> byName_;
    std::map<std::pair<uint64_t, uint64_t>, Texture> files_;  // by device and inode
    std::map<const aiTexture*, Texture> embedded_;
    std::vector<std::string> missing_;
};

// What a material gives its polygons: a colour, and maybe a texture over it.
struct Look {
    Rgb base{1.0f, 1.0f, 1.0f};
    const Texture* texture = nullptr;
};

// A colour channel within 0..1; one that is not a number counts as full.
float Channel(float c)
{
    return std::isnan(c) ? 1.0f : std::clamp(c, 0.0f, 1.0f);
}

Look LookOf(const aiMaterial& material, Textures& textures)
{
    Look look;
    aiColor4D c;
    if (material.Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || material.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
        look.base = {Channel(c.r), Channel(c.g), Channel(c.b)};
    aiString path;
    if (material.GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS ||
        material.GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS)
        look.texture = textures.Find(path.C_Str());
    return look;
}

// The scene's axes from a file's y-up, z-forward ones. The turn is its own inverse.
Vec3 SceneAxes(const aiVector3D& p)
{
    return Vec3(-p.x, -p.z, -p.y);
}

// A position's exact bits, -0 made +0, as the key that joins the corners a
// file repeats per face back into one vertex.
struct PositionKey {
    uint32_t x = 0, y = 0, z = 0;
    static uint32_t Bits(float f)
    {
        f += 0.0f;
        uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        return b;
    }
    PositionKey() = default;
    explicit PositionKey(const Vec3& p) : x(Bits(p.x)), y(Bits(p.y)), z(Bits(p.z)) {}
    bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

// Positions seen so far and their vertex numbers: open addressing in a
// power-of-two table kept at most half full.
class JoinTable {
public:
    // Room for about this many positions before the table grows.
    void Expect(size_t positions)
    {
        size_t size = 1u << 12;
        while (size < std::min(positions, kLargestStart) * 2)
            size *= 2;
        if (used_ == 0 && size > slots_.size()) {
            slots_.assign(size, Slot{});
            mask_ = size - 1;
        }
    }

    // The vertex numbers of count positions in turn: a position seen before
    // gets its number, a new one the next number from next on. The slots are
    // fetched a few positions ahead, so that a large table's cache misses
    // overlap instead of following one another.
    void FindAll(const Vec3* positions, size_t count, int32_t next, int32_t* numbers)
    {
        constexpr size_t kAhead = 16;
        while ((used_ + count) * 2 > slots_.size())
            Grow();
        keys_.resize(count);
        hashes_.resize(count);
        for (size_t i = 0; i < count; ++i) {
            keys_[i] = PositionKey(positions[i]);
            hashes_[i] = Hash(keys_[i]);
        }
        for (size_t i = 0; i < count; ++i) {
            if (i + kAhead < count)
                __builtin_prefetch(&slots_[hashes_[i + kAhead] & mask_], 1);
            numbers[i] = Find(keys_[i], hashes_[i], next);
            next += numbers[i] == next ? 1 : 0;
        }
    }

private:
    struct Slot {
        PositionKey key{};
        int32_t index = -1;
    };

    // The number of the vertex at key, or next when key is new (and then
    // recorded as next). The table has room.
    int32_t Find(const PositionKey& key, size_t hash, int32_t next)
    {
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.index < 0) {
                slot = {key, next};
                ++used_;
                return next;
            }
            if (slot.key == key)
                return slot.index;
        }
    }

    static size_t Hash(const PositionKey& k)
    {
        uint64_t h = (uint64_t(k.x) << 32 | k.y) * 0x9E3779B97F4A7C15ull ^ uint64_t(k.z) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        return size_t(h ^ (h >> 33));
    }

    void Grow()
    {
        std::vector<Slot> old(std::max<size_t>(slots_.size() * 2, 1u << 12));
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        used_ = 0;
        for (const Slot& slot : old)
            if (slot.index >= 0)
                Find(slot.key, Hash(slot.key), slot.index);
    }

    // Files that repeat corners per face hold several times fewer positions
    // than vertices: past this, the table grows as it fills.
    static constexpr size_t kLargestStart = size_t(1) << 20;

    std::vector<Slot> slots_;
    size_t mask_ = 0, used_ = 0;
    std::vector<PositionKey> keys_;
    std::vector<size_t> hashes_;
};

// The flattened model as it is gathered: the data handed over, and the
// tables that join vertices and number groups and bones on the way.
struct Gathered : ModelData {
    JoinTable joined;
    std::map<std::string, int32_t> groupNumbers;
    std::map<std::string, int32_t> boneNumbers;

    int32_t GroupOf(const std::string& key)
    {
        const auto [it, added] = groupNumbers.try_emplace(key, int32_t(groupNumbers.size() % kGroupCount));
        return it->second;
    }

    // The rig's number of a bone, added with its head where the bind pose
    // puts it when it is first seen.
    int32_t BoneOf(const std::string& name, const aiMatrix4x4& bind)
    {
        const auto [it, added] = boneNumbers.try_emplace(name, int32_t(rig.bones.size()));
        if (added)
            rig.bones.push_back({name, -1, SceneAxes(bind * aiVector3D())});
        return it->second;
    }

    // The roles of a humanoid bone map, for the bones the rig has.
    void MapHumanoid(const std::vector<std::pair<std::string, std::string>>& roles)
    {
        for (const auto& [role, node] : roles)
            if (const auto it = boneNumbers.find(node); it != boneNumbers.end())
                rig.humanoid.emplace_back(role, it->second);
    }

    // Each bone's parent: the nearest of its node's ancestors that is a bone too.
    void LinkBones(const aiNode& root)
    {
        for (RigBone& bone : rig.bones) {
            const aiNode* node = root.FindNode(bone.name.c_str());
            for (const aiNode* up = node ? node->mParent : nullptr; up != nullptr; up = up->mParent) {
                const auto it = boneNumbers.find(up->mName.C_Str());
                if (it != boneNumbers.end()) {
                    bone.parent = it->second;
                    break;
                }
            }
        }
        if (rig.bones.empty())
            rig.vertexBone.clear();
    }
};

// Node trees deeper than this are cut off there: no model nests so deep,
// and a damaged file must not exhaust the stack.
constexpr int kDeepestNode = 1000;

// Where a rigged model's parts stand in its bind pose, the pose its meshes
// were skinned in, whatever pose its nodes were left in. A skinned mesh is
// placed by its skin alone: its own node's transform does not count (glTF
// says so, and exporters leave scales there). A part hung under a bone goes
// with that bone's bind transform.
class BindPose {
public:
    BindPose(const aiScene& scene, Gathered& out)
    {
        Walk(*scene.mRootNode, aiMatrix4x4(), 0);
        // The skin reaching nearest the skeleton's root first: the others follow
        // the bones it has placed.
        std::vector<const aiMesh*> skinned;
        for (unsigned m = 0; m < scene.mNumMeshes; ++m)
            if (scene.mMeshes[m]->HasBones())
                skinned.push_back(scene.mMeshes[m]);
        std::stable_sort(skinned.begin(), skinned.end(),
                         [&](const aiMesh* a, const aiMesh* b) { return RootDepth(*a) < RootDepth(*b); });
        for (const aiMesh* each : skinned) {
            const aiMesh& mesh = *each;
            const aiMatrix4x4 placement = SkinPlacement(mesh);
            placements_[&mesh] = placement;
            for (unsigned b = 0; b < mesh.mNumBones; ++b) {
                const aiBone& bone = *mesh.mBones[b];
                aiMatrix4x4 bind = bone.mOffsetMatrix;
                bind = placement * bind.Inverse();
                // An offset that cannot be inverted says nothing: the bone stands where its node does.
                if (!Finite(bind)) {
                    const auto node = nodes_.find(bone.mName.C_Str());
                    bind = node != nodes_.end() && Finite(node->second.global) ? node->second.global : aiMatrix4x4();
                }
                if (bones_.emplace(bone.mName.C_Str(), bind).second)
                    out.BoneOf(bone.mName.C_Str(), bind);
            }
        }
    }

    // Mesh space to the bind pose for a skinned mesh; null for any other.
    const aiMatrix4x4* Placement(const aiMesh& mesh) const
    {
        const auto it = placements_.find(&mesh);
        return it == placements_.end() ? nullptr : &it->second;
    }

    // The bind transform of a node that is a bone of some skin; null for any other.
    const aiMatrix4x4* Bone(const aiNode& node) const
    {
        const auto it = bones_.find(node.mName.C_Str());
        return it == bones_.end() ? nullptr : &it->second;
    }

private:
    static bool Finite(const aiMatrix4x4& m)
    {
        for (unsigned r = 0; r < 4; ++r)
            for (unsigned c = 0; c < 4; ++c)
                if (!std::isfinite(m[r][c]))
                    return false;
        return true;
    }

    struct Seen {
        aiMatrix4x4 global;  // in the pose the nodes hold
        int depth = 0;
    };

    // The first node of each name, depth first, as the library's own search finds it.
    void Walk(const aiNode& node, const aiMatrix4x4& parent, int depth)
    {
        if (depth > kDeepestNode)
            return;
        const aiMatrix4x4 global = parent * node.mTransformation;
        nodes_.try_emplace(node.mName.C_Str(), Seen{global, depth});
        for (unsigned i = 0; i < node.mNumChildren; ++i)
            if (node.mChildren[i] != nullptr)
                Walk(*node.mChildren[i], global, depth + 1);
    }

    // How deep in the node tree a mesh's skin begins.
    int RootDepth(const aiMesh& mesh) const
    {
        int depth = kDeepestNode + 1;
        for (unsigned b = 0; b < mesh.mNumBones; ++b) {
            const auto it = nodes_.find(mesh.mBones[b]->mName.C_Str());
            if (it != nodes_.end())
                depth = std::min(depth, it->second.depth);
        }
        return depth;
    }

    // A bone an earlier skin has placed puts the mesh where that skin's
    // meshes are; else the skeleton's root bone, the one least likely to be
    // posed away from its bind pose: the mesh goes where that bone's node and
    // offset put it.
    aiMatrix4x4 SkinPlacement(const aiMesh& mesh) const
    {
        const Seen* root = nullptr;
        const aiBone* rootBone = nullptr;
        const aiBone* placed = nullptr;
        for (unsigned b = 0; b < mesh.mNumBones; ++b) {
            const auto it = nodes_.find(mesh.mBones[b]->mName.C_Str());
            if (it != nodes_.end() && (root == nullptr || it->second.depth < root->depth)) {
                root = &it->second;
                rootBone = mesh.mBones[b];
            }
            if (placed == nullptr && bones_.count(mesh.mBones[b]->mName.C_Str()))
                placed = mesh.mBones[b];
        }
        if (placed)
            return bones_.at(placed->mName.C_Str()) * placed->mOffsetMatrix;
        return root ? root->global * rootBone->mOffsetMatrix : aiMatrix4x4();
    }

    std::map<std::string, Seen> nodes_;
    std::map<std::string, aiMatrix4x4> bones_;
    std::map<const aiMesh*, aiMatrix4x4> placements_;
};

class Flattener {
public:
    Flattener(const aiScene& scene, Textures& textures, const BindPose& bind) : scene_(scene), bind_(bind)
    {
        for (unsigned m = 0; m < scene.mNumMaterials; ++m)
            looks_.push_back(LookOf(*scene.mMaterials[m], textures));
    }

    // Makes room in out for every mesh the nodes place, counted once per
    // placement; false, with nothing reserved, when they are more than a
    // scene holds.
    bool Reserve(const aiNode& node, Gathered& out, int depth = 0)
    {
        size_t vertices = 0, faces = 0;
        Count(node, vertices, faces, depth);
        if (vertices > size_t(kMaxMeshEntries) || faces > size_t(kMaxMeshEntries))
            return false;
        out.positions.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.groups.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.rig.vertexBone.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.polygons.reserve(std::min<size_t>(faces, kMaxMeshEntries));
        out.colours.reserve(std::min<size_t>(faces, kMaxMeshEntries));
        out.joined.Expect(vertices);
        return true;
    }

    // bone is the rig's number of the nearest bone at or above node, or -1.
    void Node(const aiNode& node, const aiMatrix4x4& parent, Gathered& out, int depth, int32_t bone = -1)
    {
        if (depth > kDeepestNode)
            return;
        const aiMatrix4x4* bind = bind_.Bone(node);
        const aiMatrix4x4 transform = bind ? *bind : parent * node.mTransformation;
        if (bind)
            bone = out.boneNumbers.at(node.mName.C_Str());
        else if (bone >= 0 && node.mNumMeshes == 0 && !std::strstr(node.mName.C_Str(), "$AssimpFbx$"))
            bone = out.BoneOf(node.mName.C_Str(), transform);  // a bone no skin names, or an end
        for (unsigned i = 0; i < node.mNumMeshes; ++i)
            if (node.mMeshes[i] < scene_.mNumMeshes)
                Mesh(*scene_.mMeshes[node.mMeshes[i]], transform, out, bone);
        for (unsigned i = 0; i < node.mNumChildren; ++i)
            if (node.mChildren[i] != nullptr)
                Node(*node.mChildren[i], transform, out, depth + 1, bone);
    }

private:
    void Count(const aiNode& node, size_t& vertices, size_t& faces, int depth) const
    {
        if (depth > kDeepestNode)
            return;
        for (unsigned i = 0; i < node.mNumMeshes; ++i)
            if (node.mMeshes[i] < scene_.mNumMeshes) {
                vertices += scene_.mMeshes[node.mMeshes[i]]->mNumVertices;
                faces += scene_.mMeshes[node.mMeshes[i]]->mNumFaces;
            }
        for (unsigned i = 0; i < node.mNumChildren; ++i)
            if (node.mChildren[i] != nullptr)
                Count(*node.mChildren[i], vertices, faces, depth + 1);
    }

    // Per vertex of a skinned mesh, the group and the rig's number of its most weighted bone.
    struct Strongest {
        std::vector<int32_t> groups, bones;
    };
    static Strongest StrongestBones(const aiMesh& mesh, Gathered& out, int32_t meshGroup)
    {
        Strongest strongest{std::vector<int32_t>(mesh.mNumVertices, meshGroup),
                            std::vector<int32_t>(mesh.mNumVertices, -1)};
        std::vector<float> best(mesh.mNumVertices, 0.0f);
        for (unsigned b = 0; b < mesh.mNumBones; ++b) {
            const aiBone& bone = *mesh.mBones[b];
            const int32_t group = out.GroupOf(std::string("bone ") + bone.mName.C_Str());
            const int32_t number = out.boneNumbers.at(bone.mName.C_Str());
            for (unsigned w = 0; w < bone.mNumWeights; ++w) {
                const aiVertexWeight& weight = bone.mWeights[w];
                if (weight.mVertexId < mesh.mNumVertices && weight.mWeight > best[weight.mVertexId]) {
                    best[weight.mVertexId] = weight.mWeight;
                    strongest.groups[weight.mVertexId] = group;
                    strongest.bones[weight.mVertexId] = number;
                }
            }
        }
        return strongest;
    }

    // A mesh hung under a bone goes with that bone, as its group too.
    void Mesh(const aiMesh& mesh, const aiMatrix4x4& nodeTransform, Gathered& out, int32_t hungFrom)
    {
        const int32_t meshGroup = out.GroupOf(hungFrom >= 0 ? "bone " + out.rig.bones[size_t(hungFrom)].name
                                                            : "mesh " + std::to_string(meshOrdinal_++));
        const aiMatrix4x4* skin = bind_.Placement(mesh);
        const aiMatrix4x4& transform = skin ? *skin : nodeTransform;
        const Strongest strongest = skin ? StrongestBones(mesh, out, meshGroup) : Strongest{};
        // The polygons name the mesh's own vertices first, in the order they
        // are reached; those are joined all at once afterwards.
        std::vector<int32_t> index(mesh.mNumVertices, -1);
        std::vector<unsigned> reached;
        auto vertex = [&](unsigned local) {
            if (index[local] < 0) {
                index[local] = int32_t(reached.size());
                reached.push_back(local);
            }
            return int32_t(local);
        };
        const size_t firstPolygon = out.polygons.size();

        const Look look = mesh.mMaterialIndex < looks_.size() ? looks_[mesh.mMaterialIndex] : Look{};
        const aiVector3D* uv = (look.texture && mesh.HasTextureCoords(0)) ? mesh.mTextureCoords[0] : nullptr;
        const aiColor4D* shade = (!uv && mesh.HasVertexColors(0)) ? mesh.mColors[0] : nullptr;
        std::vector<unsigned> corners;
        // The scene's polygons turn the other way round, unless the placement mirrors them.
        const bool mirrored = transform.Determinant() < 0;
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            // Points and lines have no surface; a polygon of more corners than
            // the mesh has vertices repeats them to no end.
            if (face.mNumIndices < 3 || face.mIndices == nullptr || face.mNumIndices > mesh.mNumVertices)
                continue;
            corners.assign(1, face.mIndices[0]);
            if (mirrored)
                corners.insert(corners.end(), face.mIndices + 1, face.mIndices + face.mNumIndices);
            else
                for (unsigned k = face.mNumIndices - 1; k >= 1; --k)
                    corners.push_back(face.mIndices[k]);
            if (std::any_of(corners.begin(), corners.end(), [&](unsigned i) { return i >= mesh.mNumVertices; }))
                continue;
            // A fan of quads, ending in a triangle when the count is odd; no new vertices.
            for (size_t first = 1; first + 1 < corners.size(); first += 2) {
                const size_t last = std::min(first + 2, corners.size() - 1);
                const unsigned piece[4] = {corners[0], corners[first], corners[first + 1], corners[last]};
                PolygonCorners c;
                Rgb colour = look.base;
                // The centre of a triangle counts its repeated corner once.
                const size_t count = last == first + 1 ? 3 : 4;
                const double share = 1.0 / double(count);
                double u = 0.0, v = 0.0, r = 0.0, g = 0.0, b = 0.0;
                for (size_t k = 0; k < 4; ++k) {
                    c[k] = vertex(piece[k]);
                    if (k == count)
                        continue;
                    if (uv) {
                        u += uv[piece[k]].x * share;
                        v += uv[piece[k]].y * share;
                    } else if (shade) {
                        r += Channel(shade[piece[k]].r) * share;
                        g += Channel(shade[piece[k]].g) * share;
                        b += Channel(shade[piece[k]].b) * share;
                    }
                }
                // A texture, or else the vertices' own colours, over the material's.
                const Rgb over = uv ? look.texture->At(u, v) : Rgb{float(r), float(g), float(b)};
                if (uv || shade)
                    colour = {over.r * colour.r, over.g * colour.g, over.b * colour.b};
                out.polygons.push_back(c);
                out.colours.push_back(colour);
            }
        }
        Join(mesh, transform, reached, strongest, meshGroup, hungFrom, index, out);
        for (size_t p = firstPolygon; p < out.polygons.size(); ++p)
            for (int32_t& corner : out.polygons[p])
                corner = index[size_t(corner)];
    }

    // Gives the reached vertices their numbers in the whole model, in turn:
    // an earlier one's at the same position, or a new one's. index then maps
    // the mesh's vertices to them.
    static void Join(const aiMesh& mesh, const aiMatrix4x4& transform, const std::vector<unsigned>& reached,
                     const Strongest& strongest, int32_t meshGroup, int32_t hungFrom, std::vector<int32_t>& index,
                     Gathered& out)
    {
        constexpr size_t kChunk = 4096;
        std::vector<Vec3> turned(std::min(kChunk, reached.size()));
        std::vector<int32_t> numbers(turned.size());
        for (size_t start = 0; start < reached.size(); start += kChunk) {
            const size_t n = std::min(kChunk, reached.size() - start);
            for (size_t i = 0; i < n; ++i)
                turned[i] = SceneAxes(transform * mesh.mVertices[reached[start + i]]);
            out.joined.FindAll(turned.data(), n, int32_t(out.positions.size()), numbers.data());
            for (size_t i = 0; i < n; ++i) {
                if (numbers[i] == int32_t(out.positions.size())) {
                    out.positions.push_back(turned[i]);
                    const bool skinned = !strongest.bones.empty();
                    out.groups.push_back(skinned ? strongest.groups[reached[start + i]] : meshGroup);
                    out.rig.vertexBone.push_back(skinned ? strongest.bones[reached[start + i]] : hungFrom);
                }
                index[reached[start + i]] = numbers[i];
            }
        }
    }

    const aiScene& scene_;
    const BindPose& bind_;
    std::vector<Look> looks_;
    int meshOrdinal_ = 0;
};

// The library's reader for each extension; no other reader sees the file.
const char* ReaderName(const std::string& extension)
{
    static const std::map<std::string, const char*> kReaders = {
        {"obj", "Wavefront Object Importer"},
        {"gltf", "glTF2 Importer"},
        {"glb", "glTF2 Importer"},
        {"vrm", "glTF2 Importer"},
        {"fbx", "Autodesk FBX Importer"},
        {"ply", "Stanford Polygon Library (PLY) Importer"},
        {"stl", "Stereolithography (STL) Importer"},
        {"dae", "Collada Importer"},
        {"pmx", "MMD Importer"},
        {"3ds", "Discreet 3DS Importer"},
    };
    const auto it = kReaders.find(extension);
    return it == kReaders.end() ? "" : it->second;
}

// Leaves importer with the one reader of extension: the library would
// otherwise offer a file its reader refuses to every other reader by its
// content. The readers taken out go to others. False when there is no reader.
bool KeepOneReader(Assimp::Importer& importer, const std::string& extension,
                   std::vector<std::unique_ptr<Assimp::BaseImporter>>& others)
{
    const char* wanted = ReaderName(extension);
    bool kept = false;
    for (size_t i = importer.GetImporterCount(); i-- > 0;) {
        if (!kept && std::strcmp(importer.GetImporterInfo(i)->mName, wanted) == 0) {
            kept = true;
            continue;
        }
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        importer.UnregisterLoader(reader);
        others.emplace_back(reader);
    }
    return kept;
}

} // namespace

ModelReadStatus ReadModel(const std::string& path, ModelData& data)
{
    const std::string extension = LowerExtension(path);
    FileBytes bytes;
    if (!bytes.Open(path, kSideFileLimit))
        return ModelReadStatus::kCannotOpen;
    const std::string_view view(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    if (const ModelReadStatus checked = CheckModelBytes(view, extension); checked != ModelReadStatus::kOk)
        return checked;
    Assimp::Importer importer;
    std::vector<std::unique_ptr<Assimp::BaseImporter>> others;
    if (!KeepOneReader(importer, extension, others))
        return ModelReadStatus::kBadFormat;
    UseConfinedFileAccess(importer, path);
    // An avatar is binary glTF by another name, which the library's reader
    // takes only under its own extensions.
    const aiScene* scene = extension == "vrm" ? importer.ReadFileFromMemory(bytes.Data(), bytes.Size(), 0, "glb")
                                              : importer.ReadFile(path, 0);
    if (scene == nullptr || scene->mRootNode == nullptr)
        return ModelReadStatus::kBadFormat;
    Textures textures(*scene, FolderOf(path));
    Gathered model;
    const BindPose bind(*scene, model);
    Flattener flattener(*scene, textures, bind);
    if (!flattener.Reserve(*scene->mRootNode, model))
        return ModelReadStatus::kOutOfMemory;
    flattener.Node(*scene->mRootNode, aiMatrix4x4(), model, 0);
    model.LinkBones(*scene->mRootNode);
    if (extension == "vrm" || extension == "glb" || extension == "gltf")
        model.MapHumanoid(ReadHumanoidMap(view));
    model.missingTextures = textures.Missing();
    data = std::move(static_cast<ModelData&>(model));
    return ModelReadStatus::kOk;
}

} // namespace qm
