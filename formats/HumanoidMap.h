#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// The humanoid bone map of a VRM avatar (0.x or 1.0), read from its glTF JSON
// (the JSON chunk of a binary file, or the whole of a text one): each role as
// the format spells it ("hips", "leftUpperArm", ...) with the name the model
// reader gives that bone's node. Empty when the file has none or is damaged.
std::vector<std::pair<std::string, std::string>> ReadHumanoidMap(std::string_view file);

} // namespace qm
