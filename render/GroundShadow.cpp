#include "render/GroundShadow.h"

#include <GL/gl.h>

namespace qm {

namespace {

constexpr int kFloorSide = kFloorTiles + 1;

} // namespace

bool LightCastsShadow(const Vec3& lightPosition)
{
    const double length = lightPosition.Length();
    return length > 0.0 && lightPosition.z / length < -0.2;
}

std::array<double, 16> ShadowMatrix(const Vec3& lightPosition, float modelScale)
{
    const double h = kShadowZ / double(modelScale);
    double a = 0.0, b = 0.0;
    const double length = lightPosition.Length();
    if (length > 0.0 && lightPosition.z != 0.0f) {
        const double lx = lightPosition.x / length, ly = lightPosition.y / length, lz = lightPosition.z / length;
        a = lx / lz;
        b = ly / lz;
    }
    // (x, y, z) goes to (x - a (z - h), y - b (z - h), h).
    return {1.0, 0.0, 0.0, 0.0,  //
            0.0, 1.0, 0.0, 0.0,  //
            -a,  -b,  0.0, 0.0,  //
            a * h, b * h, h, 1.0};
}

void RenderGround(const ViewParameters& p)
{
    GLfloat vertices[kFloorSide * kFloorSide][3];
    for (int k = 0; k < kFloorSide * kFloorSide; ++k) {
        const int r = k / kFloorSide, c = k % kFloorSide;
        vertices[k][0] = float(c - kFloorTiles / 2) * p.groundScale;
        vertices[k][1] = float(r - kFloorTiles / 2) * p.groundScale;
        vertices[k][2] = kFloorZ;
    }

    glEnable(GL_LIGHTING);
    // The frame culls GL_FRONT; with counter-clockwise fronts the tiles, whose
    // corners run clockwise seen from above, show only from above.
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, -1.0f);  // up
    for (int r = 0; r < kFloorTiles; ++r)
        for (int c = 0; c < kFloorTiles; ++c) {
            if ((r + c) % 2 == 0)
                glColor3f(p.groundColor2R, p.groundColor2G, p.groundColor2B);
            else
                glColor3f(p.groundColor1R, p.groundColor1G, p.groundColor1B);
            glArrayElement(kFloorSide * r + c);
            glArrayElement(kFloorSide * r + c + 1);
            glArrayElement(kFloorSide * (r + 1) + c + 1);
            glArrayElement(kFloorSide * (r + 1) + c);
        }
    glEnd();
    glDisable(GL_CULL_FACE);
}

void RenderShadow(const CBodyDoc& doc, float modelScale)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 d = node0.position - node0.restPosition;

    glDisable(GL_CULL_FACE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, -1.0f);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glTranslatef(d.x, d.y, d.z);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, doc.restVertices.data());

    const double limit = kShadowCutZ / double(modelScale);
    glBegin(GL_QUADS);
    glColor3f(0.0f, 0.0f, 0.0f);
    for (int p = 0; p < doc.polygonCount; ++p) {
        const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
        bool above = true;
        for (int32_t corner : c)
            above = above && double(d.z) + doc.restVertices[static_cast<size_t>(corner)].z < limit;
        if (above)
            for (int32_t corner : c)
                glArrayElement(corner);
    }
    glEnd();
    glPopMatrix();

    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 0.0f);
}

} // namespace qm
