// The figure fitted to a model's own skeleton: its bones named after one of
// the common conventions, listed in a humanoid bone map, or recognised by the
// tree's shape; each figure joint on its bone's head in the bind pose.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <string>
#include <string_view>

#include "scene/RigMap.h"

namespace qm {

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Part : int8_t {
    kNone, kHips, kSpine, kChest, kNeck, kHead,
    kShoulder, kUpperArm, kLowerArm, kHand, kUpperLeg, kLowerLeg, kFoot, kToes,
    kArmUnsure, kLegUnsure, kHipSided,  // words that need the other bones' names to settle
};
enum Side : int8_t { kCentre, kLeft, kRight };

struct Label {
    Part part = Part::kNone;
    Side side = kCentre;
};

// Words a name may hold, after the side and the numbers are taken out.
const std::map<std::string, Part, std::less<>> kWords = {
    {"hips", Part::kHips}, {"pelvis", Part::kHips}, {"hip", Part::kHipSided},
    {"spine", Part::kSpine}, {"abdomen", Part::kSpine}, {"waist", Part::kSpine}, {"torso", Part::kSpine},
    {"chest", Part::kChest}, {"upperchest", Part::kChest}, {"thorax", Part::kChest}, {"ribcage", Part::kChest},
    {"neck", Part::kNeck}, {"head", Part::kHead},
    {"shoulder", Part::kShoulder}, {"clavicle", Part::kShoulder}, {"collar", Part::kShoulder},
    {"clav", Part::kShoulder}, {"collarbone", Part::kShoulder},
    {"upperarm", Part::kUpperArm}, {"uparm", Part::kUpperArm}, {"humerus", Part::kUpperArm}, {"shldr", Part::kUpperArm},
    {"forearm", Part::kLowerArm}, {"lowerarm", Part::kLowerArm}, {"loarm", Part::kLowerArm},
    {"elbow", Part::kLowerArm}, {"radius", Part::kLowerArm}, {"arm", Part::kArmUnsure},
    {"hand", Part::kHand}, {"wrist", Part::kHand}, {"palm", Part::kHand},
    {"upperleg", Part::kUpperLeg}, {"upleg", Part::kUpperLeg}, {"thigh", Part::kUpperLeg}, {"femur", Part::kUpperLeg},
    {"lowerleg", Part::kLowerLeg}, {"loleg", Part::kLowerLeg}, {"shin", Part::kLowerLeg}, {"calf", Part::kLowerLeg},
    {"knee", Part::kLowerLeg}, {"tibia", Part::kLowerLeg}, {"leg", Part::kLegUnsure},
    {"foot", Part::kFoot}, {"ankle", Part::kFoot},
    {"toe", Part::kToes}, {"toes", Part::kToes}, {"toebase", Part::kToes}, {"ball", Part::kToes},
};

// Words that make a bone something else than a body segment (a finger, an
// eye, a helper): it goes with its parent.
const char* const kOtherWords[] = {
    "twist", "roll", "ik", "fk", "pole", "target", "ctrl", "control", "helper", "end", "nub", "tip", "top",
    "adj", "jiggle", "bend", "socket", "weapon", "prop", "attach", "corrective", "offset", "null", "dummy",
    "index", "middle", "ring", "pinky", "little", "thumb", "finger", "fingers", "f", "metacarpal",
    "eye", "eyes", "jaw", "tongue", "teeth", "hair", "ear", "brow", "lid", "cheek", "lip", "nose", "mouth",
    "breast", "bust", "skirt", "tail", "wing", "cape", "sleeve", "coat", "ribbon", "bag", "sec",
};

// Prefixes that exporters put before every bone.
const char* const kNoiseWords[] = {"j", "bip", "c", "mixamorig", "def", "org", "mch", "b", "bn", "bone", "jnt",
                                   "joint", "sk", "cc", "base", "valvebiped", "rig", "skel", "character", "ch"};

// The standard names of MMD models, without their side.
const struct {
    const char* name;
    Part part;
} kJapanese[] = {
    {"腕", Part::kUpperArm}, {"ひじ", Part::kLowerArm}, {"肘", Part::kLowerArm}, {"手首", Part::kHand},
    {"足", Part::kUpperLeg}, {"脚", Part::kUpperLeg}, {"ひざ", Part::kLowerLeg}, {"膝", Part::kLowerLeg},
    {"足首", Part::kFoot}, {"つま先", Part::kToes}, {"肩", Part::kShoulder}, {"首", Part::kNeck}, {"頭", Part::kHead},
    {"上半身", Part::kSpine}, {"上半身2", Part::kChest}, {"上半身２", Part::kChest}, {"上半身3", Part::kChest},
    {"下半身", Part::kHips},
};

// 0, 1, ... n - 1.
std::vector<int> Bones(int n)
{
    std::vector<int> all(static_cast<size_t>(n));
    std::iota(all.begin(), all.end(), 0);
    return all;
}

bool Contains(std::string_view s, std::string_view part)
{
    return s.find(part) != std::string_view::npos;
}

Label JapaneseLabel(std::string name)
{
    Label label;
    for (const auto& [mark, side] : {std::pair<const char*, Side>{"左", kLeft}, {"右", kRight}}) {
        const size_t at = name.find(mark);
        if (at != std::string::npos) {
            label.side = side;
            name.erase(at, std::strlen(mark));
        }
    }
    // Deforming copies ("足D") stand where their originals do.
    for (const char* suffix : {"D", "Ｄ"})
        if (name.size() > std::strlen(suffix) && name.compare(name.size() - std::strlen(suffix), std::string::npos, suffix) == 0)
            name.erase(name.size() - std::strlen(suffix));
    for (const auto& j : kJapanese)
        if (name == j.name)
            label.part = j.part;
    return label;
}

// The words of a name: split at separators, case changes and digits, lower case.
std::vector<std::string> Words(std::string_view name)
{
    const size_t cut = name.find_last_of(":|");
    if (cut != std::string_view::npos)
        name.remove_prefix(cut + 1);
    std::vector<std::string> words;
    std::string word;
    auto kind = [](char c) { return std::isdigit(uint8_t(c)) ? 0 : std::isupper(uint8_t(c)) ? 1 : 2; };
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (uint8_t(c) >= 0x80 || !std::isalnum(uint8_t(c))) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            continue;
        }
        if (!word.empty()) {
            const int a = kind(name[i - 1]), b = kind(c);
            const bool lowerToUpper = a == 2 && b == 1;
            const bool digitChange = (a == 0) != (b == 0);
            const bool acronymEnd = a == 1 && b == 1 && i + 1 < name.size() && kind(name[i + 1]) == 2;
            if (lowerToUpper || digitChange || acronymEnd) {
                words.push_back(word);
                word.clear();
            }
        }
        word += char(std::tolower(uint8_t(c)));
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

Label LabelOf(const std::string& name)
{
    if (std::any_of(name.begin(), name.end(), [](char c) { return uint8_t(c) >= 0x80; })) {
        if (Contains(name, "ＩＫ") || Contains(name, "IK") || Contains(name, "捩") || Contains(name, "親") ||
            (Contains(name, "先") && !Contains(name, "つま先")))
            return {};
        const Label label = JapaneseLabel(name);
        if (label.part != Part::kNone)
            return label;
    }
    Label label;
    std::string key;
    for (std::string word : Words(name)) {
        for (const auto& [prefix, side] : {std::pair<const char*, Side>{"left", kLeft}, {"right", kRight}})
            if (word.size() > std::strlen(prefix) && word.compare(0, std::strlen(prefix), prefix) == 0) {
                label.side = side;
                word.erase(0, std::strlen(prefix));
            }
        if (word == "l" || word == "left") {
            label.side = kLeft;
            continue;
        }
        if (word == "r" || word == "right") {
            label.side = kRight;
            continue;
        }
        // The bending half of a limb segment split in two ("lShldrBend", "lThighBend") is the segment.
        if (word == "bend" && (key == "shldr" || key == "forearm" || key == "thigh"))
            continue;
        if (std::find(std::begin(kOtherWords), std::end(kOtherWords), word) != std::end(kOtherWords))
            return {};
        if (std::isdigit(uint8_t(word[0])) ||
            std::find(std::begin(kNoiseWords), std::end(kNoiseWords), word) != std::end(kNoiseWords))
            continue;
        key += word;
    }
    const auto it = kWords.find(key);
    label.part = it == kWords.end() ? Part::kNone : it->second;
    // The limbs have sides and the trunk has none; anything else is unsure.
    const bool sided = label.part >= Part::kShoulder;
    if (label.part == Part::kHipSided && label.side == kCentre)
        label.part = Part::kHips;
    else if (sided != (label.side != kCentre))
        label.part = Part::kNone;
    return label;
}

// The humanoid roles of an avatar's bone map.
Label HumanoidLabel(std::string role)
{
    Label label;
    for (const auto& [prefix, side] : {std::pair<const char*, Side>{"left", kLeft}, {"right", kRight}})
        if (role.compare(0, std::strlen(prefix), prefix) == 0) {
            label.side = side;
            role.erase(0, std::strlen(prefix));
        }
    static const std::map<std::string, Part> kRoles = {
        {"hips", Part::kHips},         {"spine", Part::kSpine},       {"chest", Part::kChest},
        {"upperChest", Part::kChest},  {"neck", Part::kNeck},         {"head", Part::kHead},
        {"Shoulder", Part::kShoulder}, {"UpperArm", Part::kUpperArm}, {"LowerArm", Part::kLowerArm},
        {"Hand", Part::kHand},         {"UpperLeg", Part::kUpperLeg}, {"LowerLeg", Part::kLowerLeg},
        {"Foot", Part::kFoot},         {"Toes", Part::kToes},
    };
    const auto it = kRoles.find(role);
    if (it != kRoles.end() && (it->second >= Part::kShoulder) == (label.side != kCentre))
        label.part = it->second;
    return label;
}

// The skeleton as a tree, with the questions the mapping asks of it.
class Tree {
public:
    explicit Tree(const ModelRig& rig) : rig_(rig), depth_(rig.bones.size(), -1), children_(rig.bones.size())
    {
        for (size_t b = 0; b < rig.bones.size(); ++b)
            Depth(int(b));
        for (int b = 0; b < Size(); ++b)
            if (Parent(b) >= 0)
                children_[size_t(Parent(b))].push_back(b);
    }

    int Size() const { return int(rig_.bones.size()); }
    int Parent(int b) const { return depth_[size_t(b)] > 0 ? rig_.bones[size_t(b)].parent : -1; }
    int DepthOf(int b) const { return depth_[size_t(b)]; }
    const std::vector<int>& Children(int b) const { return children_[size_t(b)]; }
    const Vec3& Head(int b) const { return rig_.bones[size_t(b)].head; }

    bool IsAncestor(int a, int b) const
    {
        for (b = Parent(b); b >= 0; b = Parent(b))
            if (b == a)
                return true;
        return false;
    }

    // The deepest bone above both, or -1.
    int CommonAncestor(int a, int b) const
    {
        while (a >= 0 && b >= 0 && a != b) {
            if (DepthOf(a) >= DepthOf(b))
                a = Parent(a);
            else
                b = Parent(b);
        }
        return a == b ? a : -1;
    }

    // The bones from just below top down to bottom.
    std::vector<int> Path(int top, int bottom) const
    {
        std::vector<int> path;
        for (int b = bottom; b >= 0 && b != top; b = Parent(b))
            path.push_back(b);
        std::reverse(path.begin(), path.end());
        return path;
    }

private:
    // A parent loop in a damaged file counts as a root, so every walk up ends.
    int Depth(int b)
    {
        std::vector<int> chain;
        int at = b;
        while (at >= 0 && depth_[size_t(at)] == -1) {
            depth_[size_t(at)] = -2;  // on the way
            chain.push_back(at);
            const int32_t p = rig_.bones[size_t(at)].parent;
            at = (p >= 0 && size_t(p) < rig_.bones.size()) ? p : -1;
        }
        int d = (at >= 0 && depth_[size_t(at)] >= 0) ? depth_[size_t(at)] + 1 : 0;
        if (at >= 0 && depth_[size_t(at)] == -2)
            d = 0;  // a loop: its first bone becomes a root
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            depth_[size_t(*it)] = d++;
        return depth_[size_t(b)];
    }

    const ModelRig& rig_;
    std::vector<int> depth_;
    std::vector<std::vector<int>> children_;
};

// The bones that stand for each limb joint, and the trunk's.
struct Limbs {
    // [side][upper arm, lower arm, hand, upper leg, lower leg, foot]
    std::array<std::array<int, 6>, 2> bone{{{-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}}};
    int hips = -1, neck = -1, head = -1, chest = -1;
    // Per side, where palms or fingers fan out from the forearm's end with no
    // hand bone: the bones whose heads' mean is the wrist. A hand bone that is
    // the forearm itself means the arm ends there.
    std::array<std::vector<int>, 2> fan;

    bool Complete() const
    {
        for (const auto& side : bone)
            for (int b : side)
                if (b < 0)
                    return false;
        return true;
    }
};

constexpr Part kLimbParts[6] = {Part::kUpperArm, Part::kLowerArm, Part::kHand,
                                Part::kUpperLeg, Part::kLowerLeg, Part::kFoot};

// Settles the unsure words against the other names of the same side.
void Settle(std::vector<Label>& labels)
{
    for (Side side : {kLeft, kRight}) {
        auto has = [&](Part part) {
            return std::any_of(labels.begin(), labels.end(), [&](const Label& l) { return l.part == part && l.side == side; });
        };
        const bool upperLeg = has(Part::kUpperLeg), lowerLeg = has(Part::kLowerLeg), upperArm = has(Part::kUpperArm);
        for (Label& l : labels) {
            if (l.side != side)
                continue;
            if (l.part == Part::kArmUnsure)
                l.part = upperArm ? Part::kNone : Part::kUpperArm;
            else if (l.part == Part::kLegUnsure)
                l.part = upperLeg ? (lowerLeg ? Part::kNone : Part::kLowerLeg) : Part::kUpperLeg;
            else if (l.part == Part::kHipSided)
                l.part = upperLeg ? Part::kNone : Part::kUpperLeg;
        }
    }
}

// Whether bone b carries on from bone a: it lies below a, or it starts where
// a bone below a ends, or below a that ends its chain (a foot or a hand hung
// elsewhere, as inverse kinematics rigs hang them).
bool Continues(const Tree& tree, int a, int b)
{
    if (tree.IsAncestor(a, b) || (tree.Children(a).empty() && tree.Head(b).z > tree.Head(a).z))
        return true;
    const double length = Distance(tree.Head(a), tree.Head(b));
    for (int end = 0; end < tree.Size(); ++end)
        if (tree.IsAncestor(a, end) && Distance(tree.Head(end), tree.Head(b)) < 0.1 * length)
            return true;
    return false;
}

// The limbs by labels: the highest bone of each part, each joint below the
// one before it. False when a part is missing or out of order.
bool LimbsByLabels(const Tree& tree, const std::vector<Label>& labels, Limbs& limbs)
{
    for (int b = 0; b < tree.Size(); ++b) {
        const Label& l = labels[size_t(b)];
        auto take = [&](int& slot) {
            if (slot < 0 || tree.DepthOf(b) < tree.DepthOf(slot))
                slot = b;
        };
        for (int k = 0; k < 6; ++k)
            if (l.part == kLimbParts[k] && l.side != kCentre)
                take(limbs.bone[l.side == kLeft ? 0 : 1][size_t(k)]);
        if (l.part == Part::kHips)
            take(limbs.hips);
        if (l.part == Part::kNeck)
            take(limbs.neck);
        if (l.part == Part::kHead)
            take(limbs.head);
    }
    // An arm whose forearm ends the chain ends there.
    for (auto& side : limbs.bone)
        if (side[2] < 0 && side[1] >= 0 && tree.Children(side[1]).empty())
            side[2] = side[1];
    if (!limbs.Complete())
        return false;
    for (const auto& side : limbs.bone)
        for (int k : {1, 2, 4, 5}) {
            const int a = side[size_t(k - 1)], b = side[size_t(k)];
            if (!(k == 2 && a == b) && !((k == 2 || k == 5) ? Continues(tree, a, b) : tree.IsAncestor(a, b)))
                return false;
        }
    // Palms side by side from the forearm, with no hand bone above them.
    for (int s = 0; s < 2; ++s) {
        const int hand = limbs.bone[size_t(s)][2], forearm = tree.Parent(hand);
        if (hand == limbs.bone[size_t(s)][1] || forearm < 0)
            continue;
        std::vector<int> palms;
        for (int b : tree.Children(forearm))
            if (labels[size_t(b)].part == Part::kHand && labels[size_t(b)].side == labels[size_t(hand)].side)
                palms.push_back(b);
        if (palms.size() >= 2)
            limbs.fan[size_t(s)] = palms;
    }
    return true;
}

// Horizontal distance (the scene's z is vertical).
double Across(const Vec3& a, const Vec3& b)
{
    return std::hypot(double(a.x) - b.x, double(a.y) - b.y);
}

// The knee (or elbow) and ankle (or wrist) of a chain hanging from its top
// joint, by height: the first joint nearly as low as the chain goes, and the
// one nearest half-way to it.
bool LegJoints(const Tree& tree, const std::vector<int>& chain, std::array<int, 6>& side)
{
    // A connector from the hips' centre is not the thigh.
    size_t first = 0;
    while (first + 1 < chain.size() && tree.Parent(chain[first]) >= 0 &&
           Distance(tree.Head(chain[first]), tree.Head(tree.Parent(chain[first]))) <
               0.05 * Distance(tree.Head(chain.front()), tree.Head(chain.back())))
        ++first;
    if (chain.size() < first + 3)
        return false;
    const double top = tree.Head(chain[first]).z, bottom = tree.Head(chain.back()).z;
    if (!(bottom - top > 0.0))
        return false;
    size_t ankle = chain.size();
    for (size_t i = first + 1; i < chain.size() && ankle == chain.size(); ++i)
        if ((tree.Head(chain[i]).z - top) >= 0.8 * (bottom - top))
            ankle = i;
    if (ankle >= chain.size() || ankle < first + 2)
        return false;
    const double ankleZ = tree.Head(chain[ankle]).z;
    size_t knee = first + 1;
    for (size_t i = first + 1; i < ankle; ++i)
        if (std::fabs(tree.Head(chain[i]).z - (top + ankleZ) / 2) < std::fabs(tree.Head(chain[knee]).z - (top + ankleZ) / 2))
            knee = i;
    side[3] = chain[first];
    side[4] = chain[knee];
    side[5] = chain[ankle];
    return true;
}

// Whether two legs are as long as each other and stand out from their hips
// to opposite sides, as a pair of legs does and a leg and a tail do not.
bool Mirrored(const Tree& tree, int hips, const std::array<int, 6>& a, const std::array<int, 6>& b)
{
    const double lengthA = Distance(tree.Head(a[3]), tree.Head(a[5])), lengthB = Distance(tree.Head(b[3]), tree.Head(b[5]));
    Vec3 outA = tree.Head(a[3]) - tree.Head(hips), outB = tree.Head(b[3]) - tree.Head(hips);
    outA.z = outB.z = 0.0f;
    const double apart = outA.Dot(outB) / std::max(outA.Length() * outB.Length(), 1e-30);
    return std::fabs(lengthA - lengthB) < 0.25 * std::max(lengthA, lengthB) && apart < -0.7;
}

// The shoulder, elbow and wrist of a chain from the chest to a hand: the
// wrist is the head of the bone the fingers branch from; or the fingers (or
// palms) fan out from the forearm's end, with no hand bone, and the wrist is
// at their heads; or the chain ends at a forearm that carries the hand's
// vertices (reach: per bone, how far its vertices lie from its head); or else
// the upper arm and forearm are the two consecutive bones that reach furthest.
bool ArmJoints(const Tree& tree, const std::vector<double>& reach, const std::vector<int>& chain,
               std::array<int, 6>& side, std::vector<int>& fan)
{
    size_t branch = chain.size();
    for (size_t i = 1; i < chain.size(); ++i)
        if (tree.Children(chain[i]).size() >= 3)
            branch = i;
    size_t hand = chain.size();
    if (branch < chain.size()) {
        const Vec3& at = tree.Head(chain[branch]);
        double near = 1e300, far = 0.0, span = 0.0;
        for (int child : tree.Children(chain[branch])) {
            const double d = Distance(tree.Head(child), at);
            near = std::min(near, d);
            far = std::max(far, d);
            span += d / double(tree.Children(chain[branch]).size());
        }
        const double arm = Distance(tree.Head(chain.front()), at);
        if (span > 0.35 * arm && near > 0.6 * far && branch + 1 < chain.size()) {
            side[0] = chain[branch - 1];
            side[1] = chain[branch];
            side[2] = chain[branch + 1];
            fan = tree.Children(chain[branch]);
            return true;
        }
        if (span < 0.35 * arm && branch >= 2)
            hand = branch;
    }
    const int last = chain.back();
    if (hand == chain.size() && chain.size() >= 2 &&
        reach[size_t(last)] > 1.1 * Distance(tree.Head(last), tree.Head(chain[chain.size() - 2]))) {
        side[0] = chain[chain.size() - 2];
        side[1] = side[2] = last;
        return true;
    }
    size_t upper = hand < chain.size() ? hand - 2 : chain.size();
    double best = 0.0;
    for (size_t i = 0; hand == chain.size() && i + 2 < chain.size(); ++i) {
        const double reach = Distance(tree.Head(chain[i]), tree.Head(chain[i + 2]));
        if (reach > best) {
            best = reach;
            upper = i;
        }
    }
    if (upper + 2 >= chain.size())
        return false;
    side[0] = chain[upper];
    side[1] = chain[upper + 1];
    side[2] = chain[upper + 2];
    return true;
}

// The limbs by the tree's shape and the bones' places: two leg chains reach
// lowest from a common bone, two arm chains reach furthest sideways, on
// opposite sides, outside the legs. Sides come later, from the facing.
bool LimbsByShape(const Tree& tree, const std::vector<double>& reach, Limbs& limbs, std::array<int, 2>& legEnds)
{
    // The legs: of the lowest ends, the first two on different branches that
    // reach about as low and hang as legs do (a tail or a skirt does not).
    std::vector<int> order = Bones(tree.Size());
    std::sort(order.begin(), order.end(), [&](int a, int b) { return tree.Head(a).z > tree.Head(b).z; });
    order.resize(std::min<size_t>(order.size(), 12));
    bool found = false;
    for (size_t i = 0; i < order.size() && !found; ++i)
        for (size_t j = i + 1; j < order.size() && !found; ++j) {
            const int a = order[i], b = order[j], top = tree.CommonAncestor(a, b);
            if (top < 0 || top == a || top == b)
                continue;
            const double reach = tree.Head(a).z - tree.Head(top).z;
            Limbs legs;
            found = reach > 0.0 && tree.Head(a).z - tree.Head(b).z < 0.15 * reach &&
                    LegJoints(tree, tree.Path(top, a), legs.bone[0]) && LegJoints(tree, tree.Path(top, b), legs.bone[1]) &&
                    Mirrored(tree, top, legs.bone[0], legs.bone[1]);
            if (found) {
                limbs = legs;
                limbs.hips = top;
                legEnds = {a, b};
            }
        }
    if (!found)
        return false;

    // The hands: furthest sideways from the hips, on chains that climb well
    // above them first (not the legs, nor a skirt or a tail hanging from the hips).
    const Vec3 centre = tree.Head(limbs.hips);
    const double chestHeight = centre.z - 0.25 * (tree.Head(limbs.bone[0][5]).z - centre.z);
    auto candidate = [&](int b) {
        for (const auto& side : limbs.bone)
            if (b == side[3] || tree.IsAncestor(side[3], b))
                return false;
        for (int up = tree.Parent(b); up >= 0; up = tree.Parent(up))
            if (tree.Head(up).z < chestHeight)
                return !tree.IsAncestor(b, limbs.hips);
        return false;
    };
    const int n = tree.Size();
    int hand0 = -1, hand1 = -1;
    for (int b = 0; b < n; ++b)
        if (candidate(b) && (hand0 < 0 || Across(tree.Head(b), centre) > Across(tree.Head(hand0), centre)))
            hand0 = b;
    if (hand0 < 0)
        return false;
    const Vec3 away0 = tree.Head(hand0) - centre;
    for (int b = 0; b < n; ++b) {
        const Vec3 away = tree.Head(b) - centre;
        if (candidate(b) && double(away.x) * away0.x + double(away.y) * away0.y < 0.0 && !tree.IsAncestor(b, hand0) &&
            tree.CommonAncestor(hand0, b) >= 0 &&
            (hand1 < 0 || Across(tree.Head(b), centre) > Across(tree.Head(hand1), centre)))
            hand1 = b;
    }
    if (hand1 < 0)
        return false;
    limbs.chest = tree.CommonAncestor(hand0, hand1);
    return ArmJoints(tree, reach, tree.Path(limbs.chest, hand0), limbs.bone[0], limbs.fan[0]) &&
           ArmJoints(tree, reach, tree.Path(limbs.chest, hand1), limbs.bone[1], limbs.fan[1]);
}

// Everything one fit looks at.
struct Context {
    const CBodyDoc& doc;
    const ModelRig& rig;
    const Tree& tree;

    // Whether bone b is top or lies below it.
    bool Under(int top, int b) const { return b == top || tree.IsAncestor(top, b); }

    // Per bone: whether it is top or below it.
    std::vector<char> Subtree(int top) const
    {
        std::vector<char> in(size_t(tree.Size()), 0);
        for (int b = 0; b < tree.Size(); ++b)
            in[size_t(b)] = Under(top, b) ? 1 : 0;
        return in;
    }
};

// The neck and head above the chest: the chain that climbs highest, whose
// bone with the most vertices is the head.
void FindHead(const Context& c, Limbs& limbs)
{
    const Tree& tree = c.tree;
    if (limbs.head >= 0 && limbs.neck >= 0)
        return;
    std::vector<int> counts(static_cast<size_t>(tree.Size()), 0);
    for (int32_t b : c.rig.vertexBone)
        if (b >= 0 && b < tree.Size())
            ++counts[size_t(b)];
    std::vector<int> chain;
    for (int at = limbs.chest; at >= 0 && chain.size() <= size_t(tree.Size());) {
        int next = -1;
        double nextTop = 0.0;
        for (int child : tree.Children(at)) {
            if (c.Under(child, limbs.bone[0][0]) || c.Under(child, limbs.bone[1][0]))
                continue;
            double top = tree.Head(child).z;
            for (int b = 0; b < tree.Size(); ++b)
                if (tree.IsAncestor(child, b))
                    top = std::min(top, double(tree.Head(b).z));
            if (next < 0 || top < nextTop) {
                next = child;
                nextTop = top;
            }
        }
        if (next >= 0)
            chain.push_back(next);
        at = next;
    }
    if (chain.empty())
        return;
    if (limbs.head < 0) {
        limbs.head = chain.size() >= 2 ? chain[chain.size() - 2] : chain.back();
        for (int b : chain)
            if (counts[size_t(b)] > counts[size_t(limbs.head)])
                limbs.head = b;
    }
    if (limbs.neck < 0 && chain.front() != limbs.head)
        limbs.neck = chain.front();
}

// Which way the feet point: from each ankle to its toes, or to the foot's
// vertices where there are no toe bones, or, where no vertices hang from the
// ankle's bone (an inverse kinematics rig hangs the foot elsewhere), to what
// lies below the ankle near it.
Vec3 FeetForward(const Context& c, const Limbs& limbs, const std::array<int, 2>& legEnds)
{
    Vec3 forward;
    for (int s = 0; s < 2; ++s) {
        const int foot = limbs.bone[size_t(s)][5];
        const Vec3 ankle = c.tree.Head(foot);
        Vec3 toe = c.tree.Head(legEnds[size_t(s)]);
        const double shin = Distance(ankle, c.tree.Head(limbs.bone[size_t(s)][4]));
        if (Across(toe, ankle) < 0.2 * shin) {
            const std::vector<char> under = c.Subtree(foot);
            auto centre = [&](auto&& in) {
                double x = 0.0, y = 0.0;
                int count = 0;
                for (size_t v = 0; v < c.rig.vertexBone.size() && v < size_t(c.doc.vertexCount); ++v)
                    if (in(v)) {
                        x += c.doc.restVertices[v].x;
                        y += c.doc.restVertices[v].y;
                        ++count;
                    }
                if (count > 0)
                    toe = Vec3::FromDouble(x / count, y / count, ankle.z);
                return count > 0;
            };
            if (!centre([&](size_t v) {
                    const int b = c.rig.vertexBone[v];
                    return b >= 0 && b < c.tree.Size() && under[size_t(b)];
                }))
                centre([&](size_t v) {
                    const Vec3& p = c.doc.restVertices[v];
                    return p.z > ankle.z && Across(p, ankle) < 0.5 * shin;
                });
        }
        forward += toe - ankle;
    }
    forward.z = 0.0f;
    return forward;
}

// The turn about the vertical that brings forward onto -y; a turn within
// 2 degrees of a quarter turn is taken as that quarter turn, since models
// are made facing along an axis and a bind pose may be a little uneven. A
// character really turned (by 10 degrees, say) is turned back by as much.
double TurnToFront(const Vec3& forward)
{
    double turn = -kPi / 2 - std::atan2(double(forward.y), double(forward.x));
    turn = std::remainder(turn, 2 * kPi);
    const double quarter = std::round(turn / (kPi / 2)) * (kPi / 2);
    if (std::fabs(turn - quarter) < 2.0 * kPi / 180.0)
        turn = std::remainder(quarter, 2 * kPi);
    return std::fabs(turn) < 1e-9 ? 0.0 : turn;
}

using LimbJoints = std::array<std::array<Vec3, 6>, 2>;

// The wrist of an arm that ends at its forearm: the other arm's wrist seen in
// the mirror between the shoulders, from this elbow; with no other wrist,
// along the way the forearm's vertices lie from the elbow, 0.6 of the way
// to the furthest of them.
Vec3 WristPastForearm(const Context& c, const Limbs& limbs, const LimbJoints& at, int s)
{
    const Vec3 shoulder = at[size_t(s)][0], elbow = at[size_t(s)][1];
    const int o = 1 - s;
    if (limbs.bone[size_t(o)][2] != limbs.bone[size_t(o)][1]) {
        Vec3 across = at[size_t(s)][0] - at[size_t(o)][0];
        across.z = 0.0f;
        const Vec3 other = at[size_t(o)][2] - at[size_t(o)][1];
        if (across.Length() > 0.0)
            return elbow + other - across * (2.0 * other.Dot(across) / across.Dot(across));
    }
    const std::vector<char> under = c.Subtree(limbs.bone[size_t(s)][1]);
    auto carried = [&](size_t v) {
        const int b = c.rig.vertexBone[v];
        return b >= 0 && b < c.tree.Size() && under[size_t(b)];
    };
    const size_t vertices = std::min(c.rig.vertexBone.size(), size_t(c.doc.vertexCount));
    Vec3 sum;
    int count = 0;
    for (size_t v = 0; v < vertices; ++v)
        if (carried(v)) {
            sum += c.doc.restVertices[v];
            ++count;
        }
    Vec3 along = count > 0 ? sum * (1.0 / count) - elbow : elbow - shoulder;
    if (!(along.Length() > 0.0))
        along = elbow - shoulder;
    if (!(along.Length() > 0.0))
        return elbow;
    along = along * (1.0 / along.Length());
    double far = 0.0;
    for (size_t v = 0; v < vertices; ++v)
        if (carried(v))
            far = std::max(far, (c.doc.restVertices[v] - elbow).Dot(along));
    return elbow + along * (far > 0.0 ? 0.6 * far : 0.8 * Distance(shoulder, elbow));
}

// Where the limb joints stand: on their bones' heads, the wrists at the heads
// of the palms that fan out from the forearm, or past a forearm that ends the arm.
LimbJoints JointsAt(const Context& c, const Limbs& limbs)
{
    LimbJoints at;
    for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < 6; ++k)
            at[size_t(s)][size_t(k)] = c.tree.Head(limbs.bone[size_t(s)][size_t(k)]);
        const std::vector<int>& fan = limbs.fan[size_t(s)];
        if (!fan.empty()) {
            Vec3 sum;
            for (int b : fan)
                sum += c.tree.Head(b);
            at[size_t(s)][2] = sum * (1.0 / double(fan.size()));
        }
    }
    for (int s = 0; s < 2; ++s)
        if (limbs.bone[size_t(s)][2] == limbs.bone[size_t(s)][1])
            at[size_t(s)][2] = WristPastForearm(c, limbs, at, s);
    return at;
}

// Whether the limbs stand as a standing character's do: every joint where
// the file can say, the legs going down from the hips, the shoulders above them.
bool Plausible(const Limbs& limbs, const LimbJoints& at)
{
    for (const auto& side : at) {
        for (const Vec3& p : side)
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                return false;
        const double thigh = side[3].z, knee = side[4].z, ankle = side[5].z;
        if (!(thigh < knee && knee < ankle && side[0].z < thigh))
            return false;
        if (!(Distance(side[0], side[1]) > 0.0 && Distance(side[1], side[2]) > 0.0))
            return false;
    }
    return limbs.bone[0] != limbs.bone[1];
}

// The figure joint a bone's vertices go with, by the bone's part.
int JointOfPart(Part part, bool left)
{
    switch (part) {
    case Part::kHips: return kPelvis;
    case Part::kSpine: return kWaist;
    case Part::kChest: return kChestBySide;
    case Part::kNeck: return kNeck;
    case Part::kHead: return kHead;
    case Part::kShoulder: return left ? kChestNeg : kChestPos;
    case Part::kUpperArm: return left ? kShoulderNeg : kShoulderPos;
    case Part::kLowerArm: return left ? kElbowNeg : kElbowPos;
    case Part::kHand: return left ? kHandNeg : kHandPos;
    case Part::kUpperLeg: return left ? kHipNeg : kHipPos;
    case Part::kLowerLeg: return left ? kKneeNeg : kKneePos;
    case Part::kFoot:
    case Part::kToes: return left ? kFootNeg : kFootPos;
    default: return kNoJoint;
    }
}

// Per bone, the joint its vertices go with: its part's, the trunk's by
// height, or its nearest mapped ancestor's.
std::vector<int> BoneJoints(const Context& c, const std::vector<Label>& labels, const Limbs& limbs, const Vec3& pelvis,
                            const Vec3& neck)
{
    const Tree& tree = c.tree;
    std::vector<int> joint(static_cast<size_t>(tree.Size()), kNoJoint);
    for (int b = 0; b < tree.Size(); ++b)
        joint[size_t(b)] = JointOfPart(labels[size_t(b)].part, labels[size_t(b)].side == kLeft);
    // The trunk between the hips and the chest: the belly goes with the waist, the rest with the chest.
    const double belly = pelvis.z + 0.4 * (double(neck.z) - pelvis.z);
    if (limbs.hips >= 0 && limbs.chest >= 0)
        for (int b : tree.Path(limbs.hips, limbs.chest))
            joint[size_t(b)] = tree.Head(b).z > belly ? kWaist : kChestBySide;
    for (int s = 0; s < 2; ++s) {
        if (limbs.chest >= 0)
            for (int b : tree.Path(limbs.chest, limbs.bone[size_t(s)][0]))
                joint[size_t(b)] = s == 0 ? kChestNeg : kChestPos;
        for (int k = 0; k < 6; ++k)
            if (k != 2 || limbs.bone[size_t(s)][2] != limbs.bone[size_t(s)][1])
                joint[size_t(limbs.bone[size_t(s)][size_t(k)])] = kLimbJoints[s][k];
        for (int b : limbs.fan[size_t(s)])
            joint[size_t(b)] = kLimbJoints[s][2];
    }
    if (limbs.chest >= 0 && limbs.head >= 0)
        for (int b : tree.Path(limbs.chest, limbs.head))
            joint[size_t(b)] = kNeck;
    if (limbs.hips >= 0)
        joint[size_t(limbs.hips)] = kPelvis;
    if (limbs.neck >= 0)
        joint[size_t(limbs.neck)] = kNeck;
    if (limbs.head >= 0)
        joint[size_t(limbs.head)] = kHead;
    // A foot hung elsewhere than from its shin starts at the ankle.
    for (int s = 0; s < 2; ++s) {
        const auto& side = limbs.bone[size_t(s)];
        const Vec3& ankle = tree.Head(side[5]);
        const double shin = Distance(tree.Head(side[4]), ankle);
        for (int b = 0; b < tree.Size(); ++b)
            if (joint[size_t(b)] == kNoJoint && !c.Under(side[3], b) && !tree.IsAncestor(b, side[3]) &&
                Distance(tree.Head(b), ankle) < 0.1 * shin)
                joint[size_t(b)] = kLimbJoints[s][5];
    }
    std::vector<int> byDepth = Bones(tree.Size());
    std::stable_sort(byDepth.begin(), byDepth.end(), [&](int a, int b) { return tree.DepthOf(a) < tree.DepthOf(b); });
    for (int b : byDepth)
        if (joint[size_t(b)] == kNoJoint && tree.Parent(b) >= 0)
            joint[size_t(b)] = joint[size_t(tree.Parent(b))];
    return joint;
}

// The middle of the head: half-way from the head bone up to the top of what it carries.
Vec3 HeadCentre(const Context& c, int head, const Vec3& neck)
{
    const Vec3 base = c.tree.Head(head);
    double top = base.z;
    const std::vector<char> under = c.Subtree(head);
    for (size_t v = 0; v < c.rig.vertexBone.size() && v < size_t(c.doc.vertexCount); ++v) {
        const int b = c.rig.vertexBone[v];
        if (b >= 0 && b < c.tree.Size() && under[size_t(b)])
            top = std::min(top, double(c.doc.restVertices[v].z));
    }
    const double length = Distance(base, neck);
    if (!(base.z - top > 0.5 * length))
        top = base.z - 2.0 * length;
    return Vec3::FromDouble(base.x, base.y, (base.z + top) / 2);
}

} // namespace

bool MapRig(const CBodyDoc& doc, FigureFit& fit, RigMap& map)
{
    // No humanoid has so many bones: a file that claims so is not read through.
    constexpr size_t kMostBones = 10000;
    const ModelRig& rig = doc.rig;
    const int n = int(rig.bones.size());
    if (n < 6 || rig.bones.size() > kMostBones)
        return false;
    const Tree tree(rig);
    const Context c{doc, rig, tree};

    // The humanoid map first, then the names, then the tree's shape.
    std::vector<Label> labels(static_cast<size_t>(n));
    Limbs limbs;
    std::array<int, 2> legEnds{-1, -1};
    bool sidesKnown = true;
    for (const auto& [role, bone] : rig.humanoid)
        if (bone >= 0 && bone < n)
            labels[size_t(bone)] = HumanoidLabel(role);
    bool found = !rig.humanoid.empty() && LimbsByLabels(tree, labels, limbs) && Plausible(limbs, JointsAt(c, limbs));
    if (!found) {
        for (int b = 0; b < n; ++b)
            labels[size_t(b)] = LabelOf(rig.bones[size_t(b)].name);
        Settle(labels);
        limbs = Limbs{};
        found = LimbsByLabels(tree, labels, limbs) && Plausible(limbs, JointsAt(c, limbs));
    }
    if (!found) {
        labels.assign(size_t(n), Label{});
        limbs = Limbs{};
        sidesKnown = false;
        // How far each bone's vertices lie from its head.
        std::vector<double> reach(size_t(n), 0.0);
        for (size_t v = 0; v < rig.vertexBone.size() && v < size_t(doc.vertexCount); ++v) {
            const int b = rig.vertexBone[v];
            if (b >= 0 && b < n)
                reach[size_t(b)] = std::max(reach[size_t(b)], double(Distance(doc.restVertices[v], tree.Head(b))));
        }
        if (!LimbsByShape(tree, reach, limbs, legEnds) || !Plausible(limbs, JointsAt(c, limbs)))
            return false;
    }
    // A bone named the hips that the legs do not hang from is not the pelvis.
    if (limbs.hips >= 0 && !(c.Under(limbs.hips, limbs.bone[0][3]) && c.Under(limbs.hips, limbs.bone[1][3])))
        limbs.hips = -1;
    if (limbs.hips < 0)
        limbs.hips = tree.CommonAncestor(limbs.bone[0][3], limbs.bone[1][3]);
    if (limbs.chest < 0)
        limbs.chest = tree.CommonAncestor(limbs.bone[0][0], limbs.bone[1][0]);
    FindHead(c, limbs);

    Vec3 forward;
    if (sidesKnown) {
        const auto &l = limbs.bone[0], &r = limbs.bone[1];
        const Vec3 left = tree.Head(l[0]) + tree.Head(l[3]) - tree.Head(r[0]) - tree.Head(r[3]);
        forward = Vec3::FromDouble(-left.y, left.x, 0.0);  // the left turned a quarter about the vertical
    } else {
        // The pairs of arms and legs lie across the body, whichever is which:
        // forward is square to them, on the side the toes point to. The toes
        // alone can point a little outwards, or unevenly.
        const Vec3 toes = FeetForward(c, limbs, legEnds);
        const auto &l = limbs.bone[0], &r = limbs.bone[1];
        Vec3 arms = tree.Head(l[0]) - tree.Head(r[0]), legs = tree.Head(l[3]) - tree.Head(r[3]);
        if (arms.Dot(legs) < 0.0)
            legs = -legs;
        const Vec3 across = arms + legs;
        const Vec3 square = Vec3::FromDouble(-across.y, across.x, 0.0);
        const double side = square.Dot(toes);
        forward = side > 0.0 ? square : side < 0.0 ? -square : toes;
        // The character's left is the forward direction turned the other way.
        const Vec3 left = Vec3::FromDouble(forward.y, -forward.x, 0.0);
        const auto leftOf = [&](int k) { return (tree.Head(limbs.bone[0][size_t(k)]) - tree.Head(limbs.bone[1][size_t(k)])).Dot(left); };
        if (leftOf(0) < 0.0) {
            for (int k : {0, 1, 2})
                std::swap(limbs.bone[0][size_t(k)], limbs.bone[1][size_t(k)]);
            std::swap(limbs.fan[0], limbs.fan[1]);
        }
        if (leftOf(3) < 0.0)
            for (int k : {3, 4, 5})
                std::swap(limbs.bone[0][size_t(k)], limbs.bone[1][size_t(k)]);
    }
    if (!(Across(forward, Vec3()) > 0.0))
        return false;

    fit = FigureFit{};
    fit.turn = TurnToFront(forward);
    const LimbJoints at = JointsAt(c, limbs);
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < 6; ++k)
            fit.joint[size_t(kLimbJoints[s][k])] = at[size_t(s)][size_t(k)];
    const Vec3 pelvis = Midpoint(fit.joint[kHipNeg], fit.joint[kHipPos]);
    fit.joint[kNeck] = limbs.neck >= 0 ? tree.Head(limbs.neck) : Midpoint(fit.joint[kShoulderNeg], fit.joint[kShoulderPos]);
    fit.joint[kHead] = limbs.head >= 0 ? HeadCentre(c, limbs.head, fit.joint[kNeck])
                                       : fit.joint[kNeck] + (fit.joint[kNeck] - pelvis) * 0.35;
    // The waist stands between the pelvis and the neck as in the default figure.
    fit.joint[kWaist] = pelvis + (fit.joint[kNeck] - pelvis) * (1.9 / 4.3);
    for (int j : kFittedJoints)
        fit.placed.set(size_t(j));
    map.boneJoint = BoneJoints(c, labels, limbs, pelvis, fit.joint[kNeck]);
    return true;
}

bool FitFromRig(const CBodyDoc& doc, FigureFit& fit)
{
    RigMap map;
    return MapRig(doc, fit, map);
}

} // namespace qm
