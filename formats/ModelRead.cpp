#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

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

Texture Decode(const uint8_t* bytes, size_t size)
{
    Texture t;
    int channels = 0;
    if (size > size_t(std::numeric_limits<int>::max()))
        return t;
    stbi_uc* pixels = stbi_load_from_memory(bytes, int(size), &t.width, &t.height, &channels, 4);
    if (pixels == nullptr)
        return Texture{};
    t.rgba.assign(pixels, pixels + size_t(t.width) * size_t(t.height) * 4);
    stbi_image_free(pixels);
    return t;
}

// The base colour textures of a scene's materials, decoded once each: embedded
// in the file, or files beside the model.
class Textures {
public:
    Textures(const aiScene& scene, std::string folder) : scene_(scene), folder_(std::move(folder)) {}

    const Texture* Find(const std::string& name)
    {
        auto [it, added] = decoded_.try_emplace(name);
        if (added) {
            it->second = Load(name);
            if (it->second.rgba.empty())
                missing_.push_back(name);
        }
        return it->second.rgba.empty() ? nullptr : &it->second;
    }

    // The names of the textures that could not be found or decoded.
    const std::vector<std::string>& Missing() const { return missing_; }

private:
    Texture Load(const std::string& name) const
    {
        if (const aiTexture* embedded = scene_.GetEmbeddedTexture(name.c_str())) {
            if (embedded->mHeight == 0)
                return Decode(reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth);
            Texture t{int(embedded->mWidth), int(embedded->mHeight), {}};
            for (size_t i = 0; i < size_t(t.width) * size_t(t.height); ++i) {
                const aiTexel& texel = embedded->pcData[i];
                t.rgba.insert(t.rgba.end(), {texel.r, texel.g, texel.b, texel.a});
            }
            return t;
        }
        if (folder_.empty() || name.empty())
            return Texture{};
        FileBytes file;
        if (!file.Open(name[0] == '/' ? name : folder_ + "/" + name))
            return Texture{};
        return Decode(file.Data(), file.Size());
    }

    const aiScene& scene_;
    std::string folder_;
    std::map<std::string, Texture> decoded_;
    std::vector<std::string> missing_;
};

// What a material gives its polygons: a colour, and maybe a texture over it.
struct Look {
    Rgb base{1.0f, 1.0f, 1.0f};
    const Texture* texture = nullptr;
};

Look LookOf(const aiMaterial& material, Textures& textures)
{
    Look look;
    aiColor4D c;
    if (material.Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || material.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
        look.base = {std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f)};
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
        for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
            const aiMesh& mesh = *scene.mMeshes[m];
            if (!mesh.HasBones())
                continue;
            const aiMatrix4x4 placement = SkinPlacement(mesh);
            placements_[&mesh] = placement;
            for (unsigned b = 0; b < mesh.mNumBones; ++b) {
                const aiBone& bone = *mesh.mBones[b];
                aiMatrix4x4 bind = bone.mOffsetMatrix;
                bind = placement * bind.Inverse();
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

    // The skeleton's root bone is the one least likely to be posed away from
    // its bind pose: the mesh goes where that bone's node and offset put it.
    aiMatrix4x4 SkinPlacement(const aiMesh& mesh) const
    {
        const Seen* root = nullptr;
        const aiBone* rootBone = nullptr;
        for (unsigned b = 0; b < mesh.mNumBones; ++b) {
            const auto it = nodes_.find(mesh.mBones[b]->mName.C_Str());
            if (it != nodes_.end() && (root == nullptr || it->second.depth < root->depth)) {
                root = &it->second;
                rootBone = mesh.mBones[b];
            }
        }
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

    // Makes room in out for every mesh the nodes place, counted once per placement.
    void Reserve(const aiNode& node, Gathered& out, int depth = 0)
    {
        size_t vertices = 0, faces = 0;
        Count(node, vertices, faces, depth);
        out.positions.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.groups.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.rig.vertexBone.reserve(std::min<size_t>(vertices, kMaxMeshEntries));
        out.polygons.reserve(std::min<size_t>(faces, kMaxMeshEntries));
        out.colours.reserve(std::min<size_t>(faces, kMaxMeshEntries));
        out.joined.Expect(vertices);
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
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices < 3 || face.mIndices == nullptr)
                continue; // points and lines have no surface
            // The scene's polygons turn the other way round.
            corners.assign(1, face.mIndices[0]);
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
                        r += std::clamp(shade[piece[k]].r, 0.0f, 1.0f) * share;
                        g += std::clamp(shade[piece[k]].g, 0.0f, 1.0f) * share;
                        b += std::clamp(shade[piece[k]].b, 0.0f, 1.0f) * share;
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

// Whether a PLY file's header is one the library can read without losing its
// way: it loops forever on some damaged headers, so only headers of printable
// text made of known lines with known types go to it.
bool PlyHeaderIsSound(std::string_view bytes)
{
    static const std::set<std::string_view> kTypes = {
        "char",  "uchar",  "short", "ushort", "int",    "uint",    "float",   "double",
        "int8",  "uint8",  "int16", "uint16", "int32",  "uint32",  "float32", "float64"};
    size_t end = bytes.find("\nend_header\n");
    if (end == std::string_view::npos)
        end = bytes.find("\nend_header\r\n");
    if (bytes.substr(0, 4) != "ply\n" || end == std::string_view::npos ||
        std::any_of(bytes.begin(), bytes.begin() + long(end),
                    [](char c) { return (c < ' ' || c > '~') && c != '\n' && c != '\r'; }))
        return false;
    std::istringstream header{std::string(bytes.substr(0, end))};
    std::string line;
    std::getline(header, line);
    while (std::getline(header, line)) {
        std::istringstream words(line);
        std::string keyword, a, b, c, d;
        words >> keyword >> a >> b >> c >> d;
        const bool sound =
            keyword.empty() || keyword == "comment" || keyword == "obj_info" ||
            (keyword == "format" && (a == "ascii" || a == "binary_little_endian" || a == "binary_big_endian")) ||
            (keyword == "element" && !a.empty() && !b.empty() && c.empty() &&
             b.find_first_not_of("0123456789") == std::string::npos) ||
            (keyword == "property" && a == "list" && kTypes.count(b) && kTypes.count(c) && !d.empty()) ||
            (keyword == "property" && kTypes.count(a) && !b.empty() && c.empty());
        if (!sound)
            return false;
    }
    return true;
}

// Whether bytes may go to the library as a file of this extension.
bool Readable(std::string_view bytes, const std::string& extension)
{
    return !bytes.empty() && (extension != "ply" || PlyHeaderIsSound(bytes)) &&
           (extension != "vrm" || bytes.substr(0, 4) == "glTF");
}

} // namespace

ModelReadStatus ReadModel(const std::string& path, ModelData& data)
{
    const std::string extension = LowerExtension(path);
    FileBytes bytes;
    if (!bytes.Open(path))
        return ModelReadStatus::kCannotOpen;
    const std::string_view view(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    if (!Readable(view, extension))
        return ModelReadStatus::kBadFormat;
    Assimp::Importer importer;
    // An avatar is binary glTF by another name, which the library does not know.
    const aiScene* scene = extension == "vrm" ? importer.ReadFileFromMemory(bytes.Data(), bytes.Size(), 0, "glb")
                                              : importer.ReadFile(path, 0);
    if (scene == nullptr || scene->mRootNode == nullptr)
        return ModelReadStatus::kBadFormat;
    Textures textures(*scene, FolderOf(path));
    Gathered model;
    const BindPose bind(*scene, model);
    Flattener flattener(*scene, textures, bind);
    flattener.Reserve(*scene->mRootNode, model);
    flattener.Node(*scene->mRootNode, aiMatrix4x4(), model, 0);
    model.LinkBones(*scene->mRootNode);
    if (extension == "vrm" || extension == "glb" || extension == "gltf")
        model.MapHumanoid(ReadHumanoidMap(view));
    model.missingTextures = textures.Missing();
    data = std::move(static_cast<ModelData&>(model));
    return ModelReadStatus::kOk;
}

} // namespace qm
