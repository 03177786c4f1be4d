#include "formats/ModelCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include <libxml/xmlreader.h>
#include <nlohmann/json.hpp>

#include "formats/ModelFileAccess.h"

namespace qm {

namespace {

using Json = nlohmann::json;

// Deeper than any model needs; the library's readers recurse once a level.
constexpr int kDeepestText = 64;     // JSON and FBX nesting
constexpr int kDeepestXml = 200;     // Collada elements
constexpr int kDeepestNodes = 500;   // a glTF node tree
constexpr uint64_t kMostElements = uint64_t(1) << 24;  // in a glTF accessor
constexpr uint64_t kMostNodeInstances = 1000000;      // a Collada scene expanded
// The library's OBJ reader takes time growing with the square of the
// objects and groups: 20k take a second.
constexpr size_t kMostObjGroups = 20000;

template <class T> T Little(std::string_view bytes, size_t at)
{
    T value{};
    if (at <= bytes.size() && sizeof value <= bytes.size() - at)
        std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::string_view SkipSpace(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n'))
        text.remove_prefix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

bool HasNul(std::string_view bytes)
{
    return std::memchr(bytes.data(), 0, bytes.size()) != nullptr;
}

ModelReadStatus Status(bool sound)
{
    return sound ? ModelReadStatus::kOk : ModelReadStatus::kBadFormat;
}

// ---- OBJ: text (a NUL byte sends the library's material lookup astray), of
// a bounded number of objects and groups.
ModelReadStatus CheckObj(std::string_view text)
{
    if (HasNul(text))
        return ModelReadStatus::kBadFormat;
    size_t groups = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = SkipSpace(text.substr(at, end - at));
        groups += line.size() > 1 && (line[0] == 'o' || line[0] == 'g') && (line[1] == ' ' || line[1] == '\t');
        at = end + 1;
    }
    return groups > kMostObjGroups ? ModelReadStatus::kOutOfMemory : ModelReadStatus::kOk;
}

// ---- PLY: the library loops forever on some damaged headers, so only
// headers of printable text made of known lines with known types go to it.
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

// ---- glTF

// Stops a JSON parse that nests deeper than kDeepestText.
class DepthLimit final : public nlohmann::json_sax<Json> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return ++depth_ <= kDeepestText; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return --depth_ >= 0; }
    bool start_array(std::size_t) override { return ++depth_ <= kDeepestText; }
    bool end_array() override { return --depth_ >= 0; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    int depth_ = 0;
};

// A whole number of at most limit at key (fallback when absent); false when
// it is anything else.
bool Whole(const Json& object, const char* key, uint64_t& value, uint64_t limit, uint64_t fallback = 0)
{
    const auto it = object.find(key);
    if (it == object.end()) {
        value = fallback;
        return true;
    }
    if (it->is_number_unsigned())
        value = it->get<uint64_t>();
    else if (it->is_number_integer() && it->get<int64_t>() >= 0)
        value = uint64_t(it->get<int64_t>());
    else
        return false;
    return value <= limit;
}

// The array at key (empty when absent); null when key holds something else.
const Json* ArrayAt(const Json& object, const char* key)
{
    static const Json kEmpty = Json::array();
    const auto it = object.find(key);
    if (it == object.end())
        return &kEmpty;
    return it->is_array() ? &*it : nullptr;
}

// Every node has at most one parent, none is its own ancestor, and no tree
// is deeper than kDeepestNodes: the library copies a node for each parent
// and recurses down the tree.
bool NodesAreTrees(const Json& nodes)
{
    const size_t count = nodes.size();
    std::vector<int64_t> parent(count, -1);
    for (size_t n = 0; n < count; ++n) {
        if (!nodes[n].is_object())
            return false;
        const Json* children = ArrayAt(nodes[n], "children");
        if (!children)
            return false;
        for (const Json& child : *children) {
            if (!child.is_number_unsigned() || child.get<uint64_t>() >= count)
                return false;
            int64_t& p = parent[child.get<size_t>()];
            if (p >= 0 || child.get<size_t>() == n)
                return false;
            p = int64_t(n);
        }
    }
    // Depth by following parents; a walk longer than the deepest tree allowed is a loop or too deep.
    std::vector<int> depth(count, -1);
    std::vector<size_t> path;
    for (size_t n = 0; n < count; ++n) {
        path.clear();
        int64_t at = int64_t(n);
        while (at >= 0 && depth[size_t(at)] < 0) {
            path.push_back(size_t(at));
            if (path.size() > size_t(kDeepestNodes))
                return false;
            at = parent[size_t(at)];
        }
        int d = at >= 0 ? depth[size_t(at)] : -1;
        for (auto p = path.rbegin(); p != path.rend(); ++p)
            depth[*p] = ++d;
        if (d > kDeepestNodes)
            return false;
    }
    return true;
}

uint64_t ComponentBytes(uint64_t type)
{
    switch (type) {
    case 5120: case 5121: return 1;
    case 5122: case 5123: return 2;
    case 5125: case 5126: return 4;
    default: return 0;
    }
}

uint64_t Components(const Json& accessor)
{
    static const std::map<std::string, uint64_t> kTypes = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                           {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
    const auto it = accessor.find("type");
    if (it == accessor.end() || !it->is_string())
        return 0;
    const auto type = kTypes.find(it->get<std::string>());
    return type == kTypes.end() ? 0 : type->second;
}

struct View {
    uint64_t length = 0, stride = 0;
};

// count elements of size bytes, stride apart (0: packed), from offset in a
// view, lie inside it.
bool Inside(const View& view, uint64_t offset, uint64_t count, uint64_t size)
{
    const uint64_t stride = view.stride ? view.stride : size;
    return count == 0 || (stride >= size && offset <= view.length && (count - 1) * stride + size <= view.length - offset);
}

// Sizes are bounded (kSideFileLimit, kMostElements), so that no sum or
// product below can wrap.
bool AccessorsInsideBuffers(const Json& gltf, uint64_t binaryChunk)
{
    const Json *buffers = ArrayAt(gltf, "buffers"), *views = ArrayAt(gltf, "bufferViews"),
               *accessors = ArrayAt(gltf, "accessors"), *images = ArrayAt(gltf, "images");
    if (!buffers || !views || !accessors || !images)
        return false;
    std::vector<uint64_t> bufferLength;
    for (const Json& buffer : *buffers) {
        uint64_t length = 0;
        if (!buffer.is_object() || !Whole(buffer, "byteLength", length, kSideFileLimit))
            return false;
        // A binary file's first buffer without a name is its binary chunk.
        if (bufferLength.empty() && !buffer.contains("uri") && length > binaryChunk)
            return false;
        bufferLength.push_back(length);
    }
    std::vector<View> viewOf;
    for (const Json& view : *views) {
        uint64_t buffer = 0, offset = 0, length = 0, stride = 0;
        if (!view.is_object() || !Whole(view, "buffer", buffer, bufferLength.size()) ||
            buffer >= bufferLength.size() || !Whole(view, "byteOffset", offset, kSideFileLimit) ||
            !Whole(view, "byteLength", length, kSideFileLimit) || !Whole(view, "byteStride", stride, 252) ||
            offset + length > bufferLength[buffer])
            return false;
        viewOf.push_back({length, stride});
    }
    auto viewAt = [&](const Json& object, const View*& view) {
        uint64_t index = 0;
        view = nullptr;
        if (!object.contains("bufferView"))
            return true;
        if (!Whole(object, "bufferView", index, viewOf.size()) || index >= viewOf.size())
            return false;
        view = &viewOf[index];
        return true;
    };
    for (const Json& accessor : *accessors) {
        uint64_t type = 0, count = 0, offset = 0;
        const View* view = nullptr;
        if (!accessor.is_object() || !Whole(accessor, "componentType", type, UINT32_MAX) ||
            !accessor.contains("componentType") || !Whole(accessor, "count", count, kMostElements) ||
            !Whole(accessor, "byteOffset", offset, kSideFileLimit) || !viewAt(accessor, view))
            return false;
        const uint64_t size = ComponentBytes(type) * Components(accessor);
        if (size == 0 || count == 0 || (view && !Inside(*view, offset, count, size)))
            return false;
        if (const auto sparse = accessor.find("sparse"); sparse != accessor.end()) {
            uint64_t entries = 0, indexType = 0, indexOffset = 0, valueOffset = 0;
            const View *indexView = nullptr, *valueView = nullptr;
            if (!sparse->is_object() || !Whole(*sparse, "count", entries, count) || !sparse->contains("indices") ||
                !sparse->contains("values") || !(*sparse)["indices"].is_object() || !(*sparse)["values"].is_object())
                return false;
            const Json &indices = (*sparse)["indices"], &values = (*sparse)["values"];
            if (!Whole(indices, "componentType", indexType, UINT32_MAX) || !Whole(indices, "byteOffset", indexOffset, kSideFileLimit) ||
                !Whole(values, "byteOffset", valueOffset, kSideFileLimit) || !viewAt(indices, indexView) ||
                !viewAt(values, valueView) || !indexView || !valueView || ComponentBytes(indexType) == 0 ||
                !Inside({indexView->length, 0}, indexOffset, entries, ComponentBytes(indexType)) ||
                !Inside({valueView->length, 0}, valueOffset, entries, size))
                return false;
        }
    }
    for (const Json& image : *images) {
        const View* view = nullptr;
        if (!image.is_object() || !viewAt(image, view))
            return false;
    }
    return true;
}

// Every primitive names its positions, and has corners enough for its mode.
// The library reads a line loop drawn by indices past its faces, and takes a
// strip or fan of too few corners for billions of faces: such files are
// refused before it sees them.
bool PrimitivesReadable(const Json& gltf)
{
    const Json *meshes = ArrayAt(gltf, "meshes"), *accessors = ArrayAt(gltf, "accessors");
    if (!meshes || !accessors)
        return false;
    auto countOf = [&](uint64_t accessor) { return (*accessors)[accessor].value("count", uint64_t(0)); };
    for (const Json& mesh : *meshes) {
        const Json* primitives = mesh.is_object() ? ArrayAt(mesh, "primitives") : nullptr;
        if (!primitives)
            return false;
        for (const Json& primitive : *primitives) {
            uint64_t mode = 4, positions = 0, indices = 0;
            if (!primitive.is_object() || !Whole(primitive, "mode", mode, 6, 4) || !Whole(primitive, "indices", indices, accessors->size()) ||
                !primitive.contains("attributes") || !primitive["attributes"].is_object())
                return false;
            const Json& attributes = primitive["attributes"];
            if (!attributes.contains("POSITION") || !Whole(attributes, "POSITION", positions, accessors->size()) ||
                positions >= accessors->size())
                return false;
            const bool indexed = primitive.contains("indices");
            if (indexed && indices >= accessors->size())
                return false;
            const uint64_t corners = countOf(indexed ? indices : positions);
            const uint64_t fewest = mode == 0 ? 1 : mode <= 3 ? 2 : 3;
            if (corners < fewest || (mode == 2 && indexed))
                return false;
        }
    }
    return true;
}

bool GltfJsonAcceptable(std::string_view text, uint64_t binaryChunk)
{
    DepthLimit depth;
    if (!Json::sax_parse(text.begin(), text.end(), &depth))
        return false;
    const Json gltf = Json::parse(text.begin(), text.end(), nullptr, false);
    if (!gltf.is_object())
        return false;
    const Json* nodes = ArrayAt(gltf, "nodes");
    return nodes && NodesAreTrees(*nodes) && AccessorsInsideBuffers(gltf, binaryChunk) && PrimitivesReadable(gltf);
}

// A binary glTF: header, a JSON chunk, and maybe a binary chunk, each inside the file.
bool GlbAcceptable(std::string_view bytes)
{
    constexpr uint32_t kJson = 0x4E4F534A, kBinary = 0x004E4942;
    const uint64_t jsonLength = Little<uint32_t>(bytes, 12);
    if (bytes.size() < 20 || !StartsWith(bytes, "glTF") || Little<uint32_t>(bytes, 4) != 2 ||
        Little<uint32_t>(bytes, 16) != kJson || jsonLength > bytes.size() - 20)
        return false;
    const size_t binaryAt = 20 + ((jsonLength + 3) & ~uint64_t(3));
    uint64_t binaryLength = 0;
    if (binaryAt + 8 <= bytes.size() && Little<uint32_t>(bytes, binaryAt + 4) == kBinary)
        binaryLength = std::min<uint64_t>(Little<uint32_t>(bytes, binaryAt), bytes.size() - binaryAt - 8);
    return GltfJsonAcceptable(bytes.substr(20, jsonLength), binaryLength);
}

// ---- Collada

std::string Attribute(xmlTextReaderPtr reader, const char* name)
{
    xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool Number(const std::string& text, uint64_t& value, uint64_t fallback)
{
    if (text.empty()) {
        value = fallback;
        return true;
    }
    if (text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

struct ColladaNode {
    std::vector<size_t> children;
    std::vector<std::string> instances;  // ids of the nodes it instantiates
    uint64_t expanded = 0;               // nodes it places, itself included; 0 until known
};

// How many nodes each root places once instances are expanded: kBadFormat
// when a node is placed inside itself, kOutOfMemory when too many.
ModelReadStatus InstancesBounded(std::vector<ColladaNode>& nodes, const std::map<std::string, size_t>& ids,
                      const std::vector<size_t>& roots)
{
    std::vector<uint8_t> onPath(nodes.size(), 0);
    std::vector<std::pair<size_t, bool>> stack;
    auto targets = [&](size_t n) {
        std::vector<size_t> t = nodes[n].children;
        for (const std::string& id : nodes[n].instances)
            if (const auto it = ids.find(id); it != ids.end())
                t.push_back(it->second);
        return t;
    };
    uint64_t total = 0;
    for (const size_t root : roots) {
        stack.assign(1, {root, false});
        while (!stack.empty()) {
            auto [n, done] = stack.back();
            stack.pop_back();
            if (done) {
                uint64_t sum = 1;
                for (const size_t t : targets(n))
                    sum = std::min(sum + nodes[t].expanded, kMostNodeInstances + 1);
                nodes[n].expanded = sum;
                onPath[n] = 0;
                continue;
            }
            if (nodes[n].expanded)
                continue;
            if (onPath[n])
                return ModelReadStatus::kBadFormat;
            onPath[n] = 1;
            stack.push_back({n, true});
            for (const size_t t : targets(n)) {
                if (onPath[t])
                    return ModelReadStatus::kBadFormat;
                if (!nodes[t].expanded)
                    stack.push_back({t, false});
            }
        }
        total += nodes[root].expanded;
        if (total > kMostNodeInstances)
            return ModelReadStatus::kOutOfMemory;
    }
    return ModelReadStatus::kOk;
}

ModelReadStatus CheckCollada(std::string_view bytes)
{
    const std::string_view text = SkipSpace(bytes);
    if ((!StartsWith(text, "<?xml") && !StartsWith(text, "<COLLADA")) ||
        text.substr(0, 4096).find("<COLLADA") == std::string_view::npos)
        return ModelReadStatus::kBadFormat;
    const std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
        xmlReaderForMemory(bytes.data(), int(bytes.size()), "model.dae", nullptr, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR),
        xmlFreeTextReader);
    if (!reader || bytes.size() > size_t(INT32_MAX))
        return ModelReadStatus::kBadFormat;
    std::vector<ColladaNode> nodes;
    std::map<std::string, size_t> nodeIds;
    std::map<std::string, uint64_t> arrays;
    struct Accessor {
        std::string source;
        uint64_t count = 0, stride = 1, offset = 0, params = 0;
        int depth = 0;
    };
    std::vector<Accessor> accessors;
    std::vector<std::pair<int, size_t>> open;  // the node elements around the current one, with their depths
    std::vector<size_t> roots;
    int status;
    std::string element;  // the name of the last element begun
    while ((status = xmlTextReaderRead(reader.get())) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        // Index lists hold whole numbers only: the library takes anything else for a huge count.
        if (type == XML_READER_TYPE_TEXT && (element == "p" || element == "vcount" || element == "v" || element == "h")) {
            const char* text = reinterpret_cast<const char*>(xmlTextReaderConstValue(reader.get()));
            if (text && std::string_view(text).find_first_not_of("0123456789 \t\r\n") != std::string_view::npos)
                return ModelReadStatus::kBadFormat;
        }
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        element = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get()));
        const int depth = xmlTextReaderDepth(reader.get());
        if (depth > kDeepestXml)
            return ModelReadStatus::kBadFormat;
        while (!open.empty() && open.back().first >= depth)
            open.pop_back();
        const std::string name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get()));
        if (name == "node") {
            const size_t n = nodes.size();
            nodes.emplace_back();
            (open.empty() ? roots : nodes[open.back().second].children).push_back(n);
            if (const std::string id = Attribute(reader.get(), "id"); !id.empty())
                nodeIds.emplace(id, n);
            open.emplace_back(depth, n);
        } else if (name == "instance_node" && !open.empty()) {
            const std::string url = Attribute(reader.get(), "url");
            nodes[open.back().second].instances.push_back(url.substr(url.empty() || url[0] != '#' ? 0 : 1));
        } else if (name.size() > 6 && name.compare(name.size() - 6, 6, "_array") == 0) {
            uint64_t count = 0;
            if (!Number(Attribute(reader.get(), "count"), count, 0) || count > bytes.size())
                return ModelReadStatus::kBadFormat;
            arrays[Attribute(reader.get(), "id")] = count;
        } else if (name == "accessor") {
            Accessor a;
            const std::string source = Attribute(reader.get(), "source");
            a.source = source.substr(source.empty() || source[0] != '#' ? 0 : 1);
            a.depth = depth;
            if (!Number(Attribute(reader.get(), "count"), a.count, 0) ||
                !Number(Attribute(reader.get(), "stride"), a.stride, 1) ||
                !Number(Attribute(reader.get(), "offset"), a.offset, 0) || a.count > bytes.size() ||
                a.stride > bytes.size() || a.offset > bytes.size())
                return ModelReadStatus::kBadFormat;
            accessors.push_back(a);
        } else if (name == "param" && !accessors.empty() && accessors.back().depth + 1 == depth) {
            ++accessors.back().params;
        }
    }
    if (status != 0)
        return ModelReadStatus::kBadFormat;
    for (const Accessor& a : accessors) {
        const auto array = arrays.find(a.source);
        if (array != arrays.end() && a.count > 0 &&
            (a.stride == 0 || a.offset + (a.count - 1) * a.stride + std::max<uint64_t>(a.params, 1) > array->second))
            return ModelReadStatus::kBadFormat;
    }
    return InstancesBounded(nodes, nodeIds, roots);
}

// ---- FBX: records nest no deeper than kDeepestText.
bool FbxAcceptable(std::string_view bytes)
{
    static constexpr std::string_view kBinary("Kaydara FBX Binary  \0\x1a\0", 23);
    if (StartsWith(bytes, kBinary)) {
        const bool wide = Little<uint32_t>(bytes, 23) >= 7500;
        const uint64_t header = wide ? 25 : 13;
        std::vector<uint64_t> ends;
        for (uint64_t at = 27;;) {
            while (!ends.empty() && at >= ends.back()) {
                at = ends.back();
                ends.pop_back();
            }
            const uint64_t limit = ends.empty() ? bytes.size() : ends.back();
            if (at + header > limit)
                return ends.empty();
            const uint64_t end = wide ? Little<uint64_t>(bytes, at) : Little<uint32_t>(bytes, at);
            const uint64_t properties = wide ? Little<uint64_t>(bytes, at + 16) : Little<uint32_t>(bytes, at + 8);
            const uint64_t nested = at + header + uint8_t(bytes[at + header - 1]) + std::min<uint64_t>(properties, limit);
            if (end == 0) {  // the end of a list of records
                if (ends.empty())
                    return true;
                at = ends.back();
                ends.pop_back();
                continue;
            }
            if (end <= at || end > limit || nested > end)
                return false;
            if (nested < end) {
                ends.push_back(end);
                if (ends.size() > size_t(kDeepestText))
                    return false;
            }
            at = nested < end ? nested : end;
        }
    }
    if (HasNul(bytes.substr(0, 4096)) || bytes.substr(0, 4096).find("FBX") == std::string_view::npos)
        return false;
    int depth = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ';') {
            i = std::min(bytes.find('\n', i), bytes.size());
        } else if (c == '"') {
            i = std::min(bytes.find('"', i + 1), bytes.size());
        } else if (c == '{' && ++depth > kDeepestText) {
            return false;
        } else if (c == '}') {
            --depth;
        }
    }
    return true;
}

// ---- PMX: the library allocates the vertices and corners its header
// counts before reading them; each count must fit in the bytes that follow.
bool PmxAcceptable(std::string_view bytes)
{
    if (!StartsWith(bytes, "PMX ") || bytes.size() < 9)
        return false;
    const uint64_t globals = uint8_t(bytes[8]);
    if (globals < 8 || 9 + globals > bytes.size())
        return false;
    const uint64_t extraUvs = uint8_t(bytes[10]), vertexIndex = uint8_t(bytes[11]), boneIndex = uint8_t(bytes[14]);
    uint64_t at = 9 + globals;
    for (int text = 0; text < 4; ++text) {  // names and comments
        const int32_t length = Little<int32_t>(bytes, at);
        if (length < 0 || uint64_t(length) > bytes.size() - std::min<uint64_t>(at + 4, bytes.size()))
            return false;
        at += 4 + uint64_t(length);
    }
    const int32_t vertices = Little<int32_t>(bytes, at);
    const uint64_t smallestVertex = 32 + 16 * extraUvs + 1 + boneIndex + 4;
    if (vertices < 0 || at + 4 > bytes.size() || uint64_t(vertices) * smallestVertex > bytes.size() - at - 4)
        return false;
    at += 4 + uint64_t(vertices) * smallestVertex;
    // The corners follow the vertices, which may be larger than the smallest.
    const int32_t corners = Little<int32_t>(bytes, at);
    return at + 4 > bytes.size() || (corners >= 0 && uint64_t(corners) * std::max<uint64_t>(vertexIndex, 1) <= bytes.size());
}

bool StlAcceptable(std::string_view bytes)
{
    if (bytes.size() >= 84 && 84 + 50 * uint64_t(Little<uint32_t>(bytes, 80)) == bytes.size())
        return true;
    const std::string_view text = SkipSpace(bytes);
    return text.size() >= 5 && std::equal(text.begin(), text.begin() + 5, "solid", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           }) && !HasNul(bytes);
}

// Each keyframe track of a 3DS file holds no more keys than its bytes can:
// the library reserves room for the count it reads before it reads a key.
// Chunks are walked as the library walks them, which stops at a chunk that
// does not fit in its parent.
bool ChunksSound3ds(std::string_view bytes, uint64_t at, uint64_t end, int depth)
{
    if (depth > 16)
        return false;
    while (at < end && end - at >= 6) {
        const uint16_t id = Little<uint16_t>(bytes, at);
        const uint64_t length = Little<uint32_t>(bytes, at + 2);
        if (length < 6 || length > end - at)
            return true;
        uint64_t inner = at + 6;
        if (id == 0x4000) {  // an object: its name, then its chunks
            const size_t nul = bytes.find('\0', inner);
            inner = nul == std::string_view::npos ? at + length : std::min<uint64_t>(nul + 1, at + length);
        }
        const bool container = id == 0x4D4D || id == 0x3D3D || id == 0x4000 || id == 0x4100 || id == 0xAFFF ||
                               id == 0xB000 || (id >= 0xB001 && id <= 0xB007);
        if (container && !ChunksSound3ds(bytes, inner, at + length, depth + 1))
            return false;
        if (id >= 0xB020 && id <= 0xB029) {
            constexpr uint64_t kHeader = 6 + 10 + 4 + 2, kSmallestKey = 6;
            if (length < kHeader || uint64_t(Little<uint32_t>(bytes, at + 16)) * kSmallestKey > length - kHeader)
                return false;
        }
        at += length;
    }
    return true;
}

} // namespace

ModelReadStatus CheckModelBytes(std::string_view bytes, const std::string& extension)
{
    if (bytes.empty())
        return ModelReadStatus::kBadFormat;
    if (extension == "obj")
        return CheckObj(bytes);
    if (extension == "gltf")
        return Status(StartsWith(SkipSpace(bytes), "{") && GltfJsonAcceptable(bytes, 0));
    if (extension == "glb" || extension == "vrm")
        return Status(GlbAcceptable(bytes));
    if (extension == "ply")
        return Status(PlyHeaderIsSound(bytes));
    if (extension == "stl")
        return Status(StlAcceptable(bytes));
    if (extension == "fbx")
        return Status(FbxAcceptable(bytes));
    if (extension == "dae")
        return CheckCollada(bytes);
    if (extension == "pmx")
        return Status(PmxAcceptable(bytes));
    if (extension == "3ds")
        return Status(bytes.size() >= 6 && Little<uint16_t>(bytes, 0) == 0x4D4D && Little<uint32_t>(bytes, 2) >= 6 &&
                      Little<uint32_t>(bytes, 2) <= bytes.size() &&
                      ChunksSound3ds(bytes, 0, Little<uint32_t>(bytes, 2), 0));
    return ModelReadStatus::kBadFormat;
}

} // namespace qm
