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

void Normal(const Vec3& n)
{
    glNormal3f(n.x, n.y, n.z);
}

} // namespace

void MeshArrays::Append(Side& side, const Vec3& position, const Vec3& normal, const Rgb& colour)
{
    side.positions.insert(side.positions.end(), {position.x, position.y, position.z});
    side.normals.insert(side.normals.end(), {normal.x, normal.y, normal.z});
    side.colours.insert(side.colours.end(), {colour.r, colour.g, colour.b});
}

void MeshArrays::Update(const CBodyDoc& doc, bool flat, bool back)
{
    if (doc_ == &doc && revision_ == doc.MeshRevision() && flat_ == flat && (hasBack_ || !back))
        return;
    doc_ = &doc;
    revision_ = doc.MeshRevision();
    flat_ = flat;
    hasBack_ = back;
    for (Side* side : {&front_, &back_}) {
        side->positions.clear();
        side->normals.clear();
        side->colours.clear();
    }
    static constexpr int kFrontOrder[4] = {0, 1, 2, 3};
    static constexpr int kBackOrder[4] = {3, 2, 1, 0};
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        const Rgb colour = doc.GetColour(doc.polygonColour[static_cast<size_t>(p)]);
        const Vec3& face = doc.faceNormals[static_cast<size_t>(p)];
        for (int k : kFrontOrder) {
            const size_t v = static_cast<size_t>(c[static_cast<size_t>(k)]);
            Append(front_, doc.restVertices[v], flat ? face : doc.vertexNormals[v], colour);
        }
        if (!back)
            continue;
        for (int k : kBackOrder) {
            const size_t v = static_cast<size_t>(c[static_cast<size_t>(k)]);
            Append(back_, doc.restVertices[v], flat ? -face : doc.reversedNormals[v], colour);
        }
    }
}

void MeshArrays::Draw(const Side& side)
{
    glVertexPointer(3, GL_FLOAT, 0, side.positions.data());
    glNormalPointer(GL_FLOAT, 0, side.normals.data());
    glColorPointer(3, GL_FLOAT, 0, side.colours.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(side.positions.size() / 3));
}

void RenderMesh(const CBodyDoc& doc, const ViewSwitches& switches, MeshArrays& arrays)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 d = node0.position - node0.restPosition;
    const bool flat = switches.useFlatShade != 0;
    const bool doubleSided = switches.drawDoublePlane != 0;
    arrays.Update(doc, flat, doubleSided);

    glFrontFace(GL_CCW);
    if (doubleSided)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glPushMatrix();
    glTranslatef(d.x, d.y, d.z);
    // With culling on, each polygon shows the side it is seen from, lit by
    // that side's normals.
    if (doubleSided)
        arrays.DrawBack();
    arrays.DrawFront();
    glPopMatrix();
    // Later drawing takes colours from glColor and its own arrays.
    glDisableClientState(GL_COLOR_ARRAY);
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
