#include "formats/HumanoidMap.h"

#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

namespace qm {

namespace {

// Far more than any avatar's JSON nests or holds.
constexpr int kDeepest = 256;
constexpr size_t kLargestJson = size_t(16) << 20;

uint32_t Word(std::string_view bytes, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return v;
}

// The JSON of a glTF file, or empty when it is not where the format puts it.
std::string_view JsonOf(std::string_view file)
{
    if (file.substr(0, 4) != "glTF")
        return file.substr(0, 1) == "{" ? file.substr(0, kLargestJson) : std::string_view();
    if (file.size() < 20 || file.substr(16, 4) != "JSON")
        return {};
    const uint32_t length = Word(file, 12);
    return length <= file.size() - 20 && length <= kLargestJson ? file.substr(20, length) : std::string_view();
}

// Whether the text nests no deeper than kDeepest, so that parsing it cannot exhaust the stack.
bool ShallowEnough(std::string_view json)
{
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kDeepest)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

const nlohmann::json* Member(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const nlohmann::json* Path(const nlohmann::json& root, std::initializer_list<const char*> keys)
{
    const nlohmann::json* at = &root;
    for (const char* key : keys)
        if (!at || !(at = Member(*at, key)))
            return nullptr;
    return at;
}

// The name the model reader gives node i: its own, or the format's path to it.
std::string NodeName(const nlohmann::json& root, const nlohmann::json* index)
{
    const nlohmann::json* nodes = Member(root, "nodes");
    if (!index || !index->is_number_unsigned() || !nodes || !nodes->is_array() || index->get<uint64_t>() >= nodes->size())
        return {};
    const size_t i = index->get<size_t>();
    const nlohmann::json* name = Member((*nodes)[i], "name");
    if (name && name->is_string() && !name->get_ref<const std::string&>().empty())
        return name->get<std::string>();
    return "nodes[" + std::to_string(i) + "]";
}

} // namespace

std::vector<std::pair<std::string, std::string>> ReadHumanoidMap(std::string_view file)
{
    std::vector<std::pair<std::string, std::string>> map;
    const std::string_view text = JsonOf(file);
    if (text.empty() || !ShallowEnough(text))
        return map;
    const nlohmann::json root = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded())
        return map;
    auto add = [&](const nlohmann::json* role, const nlohmann::json* node) {
        std::string name = NodeName(root, node);
        if (role && role->is_string() && !name.empty())
            map.emplace_back(role->get<std::string>(), std::move(name));
    };
    // 1.0: an object of roles; 0.x: a list of role and node pairs.
    if (const nlohmann::json* bones = Path(root, {"extensions", "VRMC_vrm", "humanoid", "humanBones"});
        bones && bones->is_object()) {
        for (auto it = bones->begin(); it != bones->end(); ++it) {
            const nlohmann::json role = it.key();
            add(&role, Member(it.value(), "node"));
        }
    } else if (const nlohmann::json* list = Path(root, {"extensions", "VRM", "humanoid", "humanBones"});
               list && list->is_array()) {
        for (const nlohmann::json& bone : *list)
            add(Member(bone, "bone"), Member(bone, "node"));
    }
    return map;
}

} // namespace qm
