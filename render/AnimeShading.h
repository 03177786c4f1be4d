#pragma once

#include <array>
#include <cstdint>

#include "scene/BodyDoc.h"
#include "view/ViewOptions.h"

namespace qm {

constexpr int kBands = 4;

// Each polygon colour at the brightness of each band, darkest first.
using BandColourTable = std::array<std::array<Rgb, kBands>, kColourCount>;

// 0 below T1, 1 from T1 to T2, 2 above T2 up to T3, 3 above T3.
int BandOf(double intensity, const AnimeShadeThresholds& thresholds);

void UpdateBandColours(BandColourTable& table, const std::array<Rgb, kColourCount>& colours,
                       const ViewParameters& parameters);

// The band colour of a polygon colour index; an index outside the table
// shows as entry 0, as in the ordinary display.
const Rgb& BandColour(const BandColourTable& table, int colourIndex, int band);

// Where the split pieces go.
class BandPieceSink {
public:
    virtual void DrawBandPolygon(const Vec3* points, int count, int band, int colourIndex) = 0;

protected:
    ~BandPieceSink() = default;
};

// Cuts quadrilaterals along the lines where the light intensity, interpolated
// along their edges, crosses the three thresholds, and hands each band's piece
// to the sink. Works in fixed scratch storage: nothing is allocated per quad.
class BandSplitter {
public:
    // The light position is taken as a direction from the origin; one of zero
    // length lights everything with intensity 0.
    BandSplitter(const AnimeShadeThresholds& thresholds, const Vec3& lightPosition, BandPieceSink& sink);

    void SplitQuadIntoBands(const Vec3 (&points)[4], const Vec3 (&normals)[4], int colourIndex);

private:
    static constexpr int kSlotsPerCorner = 8;
    static constexpr int kSlots = 4 * kSlotsPerCorner;

    struct Slot {
        int32_t band;
        Vec3 point;
    };

    double Threshold(int lowerBand) const;

    AnimeShadeThresholds thresholds_;
    double light_[3];
    BandPieceSink& sink_;
    Slot slots_[4][kSlotsPerCorner];
    Vec3 buffer_[kSlots];
};

// Band pieces as flat, unlit triangle fans in their band colour.
class GlBandPolygons final : public BandPieceSink {
public:
    explicit GlBandPolygons(const BandColourTable& colours) : colours_(colours) {}
    void DrawBandPolygon(const Vec3* points, int count, int band, int colourIndex) override;

private:
    const BandColourTable& colours_;
};

// The whole mesh in bands, the back faces first when both sides are drawn.
void RenderMeshBanded(const CBodyDoc& doc, const ViewSwitches& switches, const AnimeShadeThresholds& thresholds,
                      const Vec3& lightPosition, const BandColourTable& colours);

} // namespace qm
