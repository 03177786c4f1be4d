#include "render/SkeletonDrawing.h"

#include <GL/gl.h>

namespace qm {

namespace {

void Vertex(const Vec3& p)
{
    glVertex3f(p.x, p.y, p.z);
}

void Points(const CBodyDoc& doc, float size, float r, float g, float b, int32_t SceneNode::*flag)
{
    glPointSize(size);
    glColor3f(r, g, b);
    glBegin(GL_POINTS);
    for (const SceneNode& n : doc.pools.nodes)
        if (n.inUse && (!flag || n.*flag))
            Vertex(n.position);
    glEnd();
}

} // namespace

void RenderSkeleton(const CBodyDoc& doc, int zoom)
{
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POINT_BIT | GL_LINE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);

    glLineWidth(2.0f * zoom);
    glColor3f(1.0f, 0.9f, 0.3f);
    glBegin(GL_LINES);
    for (const SceneLink& l : doc.pools.links) {
        if (!l.inUse || !doc.pools.ValidNode(l.nodeA) || !doc.pools.ValidNode(l.nodeB))
            continue;
        Vertex(doc.pools.nodes[static_cast<size_t>(l.nodeA)].position);
        Vertex(doc.pools.nodes[static_cast<size_t>(l.nodeB)].position);
    }
    glEnd();

    Points(doc, 10.0f * zoom, 0.1f, 0.3f, 1.0f, &SceneNode::pinned);    // pinned: a blue ring under the node
    Points(doc, 6.0f * zoom, 1.0f, 1.0f, 1.0f, nullptr);                // every node in use
    Points(doc, 6.0f * zoom, 1.0f, 0.15f, 0.15f, &SceneNode::selected); // selected: red
    glPopAttrib();
}

} // namespace qm
