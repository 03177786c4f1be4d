#include <cmath>

#include "resources/Strings.h"
#include "scene/BodyDoc.h"

namespace qm {

namespace {

constexpr int kSheetSize = 7;
constexpr float kSheetSpacing = 2.0f;

int FindLink(const SkeletonPools& pools, int a, int b)
{
    for (int i = 0; i < kLinkPoolSize; ++i) {
        const SceneLink& l = pools.links[static_cast<size_t>(i)];
        if (l.inUse && ((l.nodeA == a && l.nodeB == b) || (l.nodeA == b && l.nodeB == a)))
            return i;
    }
    return kNoIndex;
}

} // namespace

std::vector<int> CBodyDoc::SelectedNodesInUse() const
{
    std::vector<int> selected;
    for (int i = 0; i < kNodePoolSize; ++i) {
        const SceneNode& n = pools.nodes[static_cast<size_t>(i)];
        if (n.inUse && n.selected)
            selected.push_back(i);
    }
    return selected;
}

void CBodyDoc::MergeSelectedNodes()
{
    const std::vector<int> merged = SelectedNodesInUse();
    if (merged.size() < 2)
        return;
    const int keep = merged.front();

    double sum[6] = {};
    for (int i : merged) {
        const SceneNode& n = pools.nodes[static_cast<size_t>(i)];
        const float* parts[6] = {&n.position.x,     &n.position.y,     &n.position.z,
                                 &n.restPosition.x, &n.restPosition.y, &n.restPosition.z};
        for (int c = 0; c < 6; ++c)
            sum[c] += *parts[c];
    }
    const double count = static_cast<double>(merged.size());
    SceneNode& k = pools.nodes[static_cast<size_t>(keep)];
    k.position = Vec3::FromDouble(sum[0] / count, sum[1] / count, sum[2] / count);
    k.previousPosition = k.position;
    k.restPosition = Vec3::FromDouble(sum[3] / count, sum[4] / count, sum[5] / count);

    // Link ends follow every selected node, in use or not; a link between two
    // merged nodes becomes a loop on the kept one and stays.
    auto redirect = [&](int32_t& end) {
        if (pools.ValidNode(end) && end != keep && pools.nodes[static_cast<size_t>(end)].selected)
            end = keep;
    };
    for (SceneLink& l : pools.links) {
        if (!l.inUse)
            continue;
        redirect(l.nodeA);
        redirect(l.nodeB);
    }
    for (int i : merged)
        if (i != keep)
            pools.nodes[static_cast<size_t>(i)].inUse = 0;
    MarkModified();
}

bool CBodyDoc::LinkSelectedNodes(bool zeroLength)
{
    const std::vector<int> selected = SelectedNodesInUse();
    if (selected.size() != 2)
        return false;
    const int a = selected[0], b = selected[1];
    if (FindLink(pools, a, b) != kNoIndex) {
        messages_.ShowMessage(strings::kAlreadyLinked);
        return false;
    }
    const int l = AllocLink(pools);
    if (l == kNoIndex)
        return false;
    SceneLink& link = pools.links[static_cast<size_t>(l)];
    link.nodeA = a;
    link.nodeB = b;
    link.zeroLength = zeroLength ? 1 : 0;
    link.restLength = zeroLength ? 0.0f
                                 : static_cast<float>(Distance(pools.nodes[static_cast<size_t>(a)].restPosition,
                                                               pools.nodes[static_cast<size_t>(b)].restPosition));
    MarkModified();
    return true;
}

void CBodyDoc::UnlinkSelectedNodes()
{
    const std::vector<int> selected = SelectedNodesInUse();
    if (selected.size() != 2)
        return;
    const int l = FindLink(pools, selected[0], selected[1]);
    if (l == kNoIndex)
        return;
    SceneLink& link = pools.links[static_cast<size_t>(l)];
    if (link.figureOwned) {
        messages_.ShowMessage(strings::kCannotUnlink);
        return;
    }
    link.inUse = 0;
    MarkModified();
}

int CBodyDoc::AddSheet(bool diagonals)
{
    for (int slot = 0; slot < kSheetSlots; ++slot) {
        NodeSheet& sheet = sheets[static_cast<size_t>(slot)];
        if (sheet.active)
            continue;
        if (!BuildSheet(sheet, *this, kSheetSize, kSheetSize, diagonals))
            return kNoIndex;
        MarkModified();
        return slot;
    }
    return kNoIndex;
}

bool BuildSheet(NodeSheet& sheet, CBodyDoc& doc, int width, int height, bool diagonals)
{
    SkeletonPools& pools = doc.pools;
    const int kinds = diagonals ? 4 : 2;
    const int nodeCount = width * height;
    const int linkCount = nodeCount * kinds;
    if (width < 1 || height < 1 || nodeCount > kSheetMaxNodes || linkCount > kSheetMaxLinks ||
        pools.FreeNodeCount() < nodeCount || pools.FreeLinkCount() < linkCount)
        return false;

    sheet.document = &doc;
    sheet.width = width;
    sheet.height = height;
    sheet.active = 1;

    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const int n = AllocNode(pools);
            sheet.node[static_cast<size_t>(width * j + i)] = n;
            SceneNode& node = pools.nodes[static_cast<size_t>(n)];
            node.restPosition = Vec3(kSheetSpacing * float(i), kSheetSpacing * float(j), 0.0f);
            node.position = node.restPosition;
            node.previousPosition = node.restPosition;
        }
    for (int e = 0; e < linkCount; ++e)
        sheet.link[static_cast<size_t>(e)] = AllocLink(pools);

    auto gridNode = [&](int i, int j) { return sheet.node[static_cast<size_t>(width * j + i)]; };
    auto join = [&](int kind, int i, int j, int a, int b, float restLength) {
        const int l = sheet.link[static_cast<size_t>((height * kind + j) * width + i)];
        SetLinkEnds(pools, l, a, b);
        pools.links[static_cast<size_t>(l)].restLength = restLength;
    };
    const float diagonal = kSheetSpacing * static_cast<float>(std::sqrt(2.0));
    for (int j = 0; j < height; ++j)
        for (int i = 0; i + 1 < width; ++i)
            join(0, i, j, gridNode(i, j), gridNode(i + 1, j), kSheetSpacing);
    for (int j = 0; j + 1 < height; ++j)
        for (int i = 0; i < width; ++i)
            join(1, i, j, gridNode(i, j), gridNode(i, j + 1), kSheetSpacing);
    if (diagonals) {
        for (int j = 0; j + 1 < height; ++j)
            for (int i = 0; i + 1 < width; ++i) {
                join(2, i, j, gridNode(i, j), gridNode(i + 1, j + 1), diagonal);
                join(3, i, j, gridNode(i + 1, j), gridNode(i, j + 1), diagonal);
            }
    }
    // Slots that no grid edge used go back to the pool.
    for (int e = 0; e < linkCount; ++e) {
        SceneLink& l = pools.links[static_cast<size_t>(sheet.link[static_cast<size_t>(e)])];
        l.inUse = (l.nodeA >= 0 && l.nodeB >= 0) ? 1 : 0;
    }
    return true;
}

} // namespace qm
