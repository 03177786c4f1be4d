#include "render/MeshDrawing.h"

#include <GL/gl.h>

namespace qm {

const Rgb kJointColourTable[kJointColours] = {
    {0.5f, 0.5f, 0.5f}, {1, 1, 1},          {0, 0, 1},       {0.5f, 0.5f, 1}, {0.5f, 1, 0.5f},
    {1, 0.5f, 0.5f},    {0, 0, 0},          {0, 0, 0},       {0, 0, 0},       {0.3f, 0.3f, 0.3f},
    {0, 1, 0},          {0, 0.5f, 0},       {0, 1, 0},       {0, 0.4f, 0},    {0, 0, 0},
    {1, 0, 0},          {0.5f, 0, 0},       {1, 0, 0},       {0.5f, 0, 0},    {0, 0, 0},
    {0.8f, 1, 1},       {0, 0.5f, 0.5f},    {0, 1, 1},       {0, 0.5f, 0.5f}, {0, 1, 1},
    {1, 1, 0.8f},       {0.5f, 0.5f, 0},    {1, 1, 0},       {0.5f, 0.5f, 0}, {1, 1, 0},
};

Rgb JointColour(int node)
{
    return kJointColourTable[(node >= 0 && node < kJointColours) ? node : 0];
}

namespace {

void Colour(const Rgb& c)
{
    glColor3f(c.r, c.g, c.b);
}

void Normal(const Vec3& n, double sign = 1.0)
{
    glNormal3f(static_cast<float>(sign * n.x), static_cast<float>(sign * n.y), static_cast<float>(sign * n.z));
}

} // namespace

void RenderMesh(const CBodyDoc& doc, const ViewSwitches& switches)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 d = node0.position - node0.restPosition;
    const bool flat = switches.useFlatShade != 0;
    const bool doubleSided = switches.drawDoublePlane != 0;

    glFrontFace(GL_CCW);
    if (doubleSided)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (flat)
        glDisableClientState(GL_NORMAL_ARRAY);
    else
        glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, doc.restVertices.data());
    glPushMatrix();
    glTranslatef(d.x, d.y, d.z);

    const int polygons = doc.polygonCount;
    if (doubleSided) {
        // The back of each polygon: reversed corner order, reversed normals.
        glNormalPointer(GL_FLOAT, 0, doc.reversedNormals.data());
        glBegin(GL_QUADS);
        for (int p = 0; p < polygons; ++p) {
            const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
            Colour(doc.GetColour(doc.polygonColour[static_cast<size_t>(p)]));
            if (flat)
                Normal(doc.faceNormals[static_cast<size_t>(p)], -1.0);
            glArrayElement(c[3]);
            glArrayElement(c[2]);
            glArrayElement(c[1]);
            glArrayElement(c[0]);
        }
        glEnd();
    }
    glNormalPointer(GL_FLOAT, 0, doc.vertexNormals.data());
    glBegin(GL_QUADS);
    for (int p = 0; p < polygons; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        Colour(doc.GetColour(doc.polygonColour[static_cast<size_t>(p)]));
        if (flat)
            Normal(doc.faceNormals[static_cast<size_t>(p)]);
        glArrayElement(c[0]);
        glArrayElement(c[1]);
        glArrayElement(c[2]);
        glArrayElement(c[3]);
    }
    glEnd();
    glPopMatrix();
}

void RenderMeshJointColours(const CBodyDoc& doc)
{
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, doc.restVertices.data());
    glBegin(GL_QUADS);
    for (int p = 0; p < doc.polygonCount; ++p) {
        Normal(doc.faceNormals[static_cast<size_t>(p)]);
        for (int32_t corner : doc.polygonCorners[static_cast<size_t>(p)]) {
            Colour(JointColour(doc.boundNode[static_cast<size_t>(corner)]));
            glArrayElement(corner);
        }
    }
    glEnd();
}

} // namespace qm
