#include "render/Outline.h"

#include <GL/gl.h>

namespace qm {

namespace {

void ShellVertex(const Vec3& p, const Vec3& n, double width)
{
    glVertex3f(static_cast<float>(p.x + width * n.x), static_cast<float>(p.y + width * n.y),
               static_cast<float>(p.z + width * n.z));
    // After the vertex, so it only reaches the next one; lighting is off anyway.
    glNormal3f(n.x, n.y, n.z);
}

} // namespace

void RenderOutline(const CBodyDoc& doc, const ViewSwitches& switches, float width)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 d = node0.position - node0.restPosition;

    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glColor3f(0.0f, 0.0f, 0.0f);
    glPushMatrix();
    glTranslatef(d.x, d.y, d.z);

    const int polygons = doc.polygonCount;
    if (switches.drawDoublePlane) {
        // The shell of the back faces, pushed inwards, in corner order.
        glBegin(GL_QUADS);
        for (int p = 0; p < polygons; ++p)
            for (int32_t corner : doc.polygonCorners[static_cast<size_t>(p)]) {
                const auto v = static_cast<size_t>(corner);
                ShellVertex(doc.restVertices[v], doc.reversedNormals[v], width);
            }
        glEnd();
    }
    glBegin(GL_QUADS);
    for (int p = 0; p < polygons; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        for (int k = 3; k >= 0; --k) {
            const auto v = static_cast<size_t>(c[static_cast<size_t>(k)]);
            ShellVertex(doc.restVertices[v], doc.vertexNormals[v], width);
        }
    }
    glEnd();
    glPopMatrix();
}

} // namespace qm
