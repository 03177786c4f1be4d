#include "render/AnimeShading.h"

#include <GL/gl.h>

#include <vector>

namespace qm {

int BandOf(double intensity, const AnimeShadeThresholds& t)
{
    if (intensity < t.animeShadeThreshold1)
        return 0;
    if (intensity <= t.animeShadeThreshold2)
        return 1;
    if (intensity <= t.animeShadeThreshold3)
        return 2;
    return 3;
}

void UpdateBandColours(BandColourTable& table, const std::array<Rgb, kColourCount>& colours, const ViewParameters& p)
{
    const float bright[kBands] = {p.animeShadeBright1, p.animeShadeBright2, p.animeShadeBright3, p.animeShadeBright4};
    for (size_t c = 0; c < table.size(); ++c)
        for (int k = 0; k < kBands; ++k)
            table[c][static_cast<size_t>(k)] = {colours[c].r * bright[k], colours[c].g * bright[k],
                                                colours[c].b * bright[k]};
}

const Rgb& BandColour(const BandColourTable& table, int colourIndex, int band)
{
    if (colourIndex < 0 || colourIndex >= kColourCount)
        colourIndex = 0;
    return table[static_cast<size_t>(colourIndex)][static_cast<size_t>(band)];
}

BandSplitter::BandSplitter(const AnimeShadeThresholds& thresholds, const Vec3& lightPosition, BandPieceSink& sink)
    : thresholds_(thresholds), light_{0.0, 0.0, 0.0}, sink_(sink), slots_{}, buffer_{}
{
    const double length = lightPosition.Length();
    if (length > 0.0) {
        light_[0] = lightPosition.x / length;
        light_[1] = lightPosition.y / length;
        light_[2] = lightPosition.z / length;
    }
}

double BandSplitter::Threshold(int lowerBand) const
{
    switch (lowerBand) {
    case 0:
        return thresholds_.animeShadeThreshold1;
    case 1:
        return thresholds_.animeShadeThreshold2;
    default:
        return thresholds_.animeShadeThreshold3;
    }
}

void BandSplitter::SplitQuadIntoBands(const Vec3 (&p)[4], const Vec3 (&normals)[4], int colourIndex)
{
    double d[4];
    int b[4];
    for (int i = 0; i < 4; ++i) {
        const Vec3& n = normals[i];
        d[i] = light_[0] * n.x + light_[1] * n.y + light_[2] * n.z;
        b[i] = BandOf(d[i], thresholds_);
    }
    if (b[0] == b[1] && b[1] == b[2] && b[2] == b[3]) {
        sink_.DrawBandPolygon(p, 4, b[0], colourIndex);
        return;
    }

    // Along the outline: each corner, then the crossings of its edge to the
    // next corner in the order they are met. A crossing goes in twice, once
    // for each band that meets there, the lower first.
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        Slot* slot = slots_[i];
        int used = 0;
        slot[used++] = {b[i], p[i]};
        // Only between corners of different bands, so d[i] != d[j] here.
        auto crossing = [&](int lowerBand) {
            const double t = (Threshold(lowerBand) - d[j]) / (d[i] - d[j]);
            const Vec3 point = Vec3::FromDouble(p[j].x + (double(p[i].x) - p[j].x) * t,
                                                p[j].y + (double(p[i].y) - p[j].y) * t,
                                                p[j].z + (double(p[i].z) - p[j].z) * t);
            slot[used++] = {lowerBand, point};
            slot[used++] = {lowerBand + 1, point};
        };
        if (b[i] > b[j]) {
            if (b[i] == 3)
                crossing(2);
            if (b[i] >= 2 && b[j] <= 1)
                crossing(1);
            if (b[j] == 0)
                crossing(0);
        } else if (b[i] < b[j]) {
            if (b[i] == 0)
                crossing(0);
            if (b[j] >= 2 && b[i] <= 1)
                crossing(1);
            if (b[j] == 3)
                crossing(2);
        }
        for (; used < kSlotsPerCorner; ++used)
            slot[used].band = -1;
    }

    for (int k = 0; k < kBands; ++k) {
        int count = 0;
        for (const auto& corner : slots_)
            for (const Slot& slot : corner)
                if (slot.band == k)
                    buffer_[count++] = slot.point;
        // A band met only at a point or along a line has no area.
        if (count >= 3)
            sink_.DrawBandPolygon(buffer_, count, k, colourIndex);
    }
}

void GlBandPolygons::DrawBandPolygon(const Vec3* points, int count, int band, int colourIndex)
{
    const Rgb& c = BandColour(colours_, colourIndex, band);
    glBegin(GL_TRIANGLE_FAN);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glColor3f(c.r, c.g, c.b);
    for (int i = 0; i < count; ++i)
        glVertex3f(points[i].x, points[i].y, points[i].z);
    glEnd();
}

void RenderMeshBanded(const CBodyDoc& doc, const ViewSwitches& switches, const AnimeShadeThresholds& thresholds,
                      const Vec3& lightPosition, const BandColourTable& colours)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 d = node0.position - node0.restPosition;
    const bool doubleSided = switches.drawDoublePlane != 0;

    if (doubleSided)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glTranslatef(d.x, d.y, d.z);

    GlBandPolygons pieces(colours);
    BandSplitter splitter(thresholds, lightPosition, pieces);
    auto splitAll = [&](const std::vector<Vec3>& normals) {
        for (int p = 0; p < doc.polygonCount; ++p) {
            const PolygonCorners& c = doc.polygonCorners[static_cast<size_t>(p)];
            Vec3 points[4], cornerNormals[4];
            for (size_t k = 0; k < 4; ++k) {
                points[k] = doc.restVertices[static_cast<size_t>(c[k])];
                cornerNormals[k] = normals[static_cast<size_t>(c[k])];
            }
            splitter.SplitQuadIntoBands(points, cornerNormals, doc.polygonColour[static_cast<size_t>(p)]);
        }
    };
    if (doubleSided) {
        // The back faces: same corner order, reversed normals, clockwise fronts.
        glFrontFace(GL_CW);
        splitAll(doc.reversedNormals);
    }
    glFrontFace(GL_CCW);
    splitAll(doc.vertexNormals);
    glPopMatrix();
}

} // namespace qm
