#include "view/Framing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "view/Animation.h"

namespace qm {

namespace {

// The part of each half of the window the mesh may take.
constexpr double kFill = 0.9;

} // namespace

Vec3 DrawnVertex(const CBodyDoc& doc, const SceneViewState& view, int vertex)
{
    const SceneNode& node0 = doc.pools.nodes[0];
    const Vec3 shift = view.skeletonEditMode ? Vec3() : node0.position - node0.restPosition;
    return (doc.restVertices[static_cast<size_t>(vertex)] + shift) * double(view.modelScale);
}

bool FrameMesh(const CBodyDoc& doc, SceneViewState& view, double aspect)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    double lo[3] = {inf, inf, inf}, hi[3] = {-inf, -inf, -inf};
    for (int i = 0; i < doc.vertexCount; ++i) {
        const Vec3 p = DrawnVertex(doc, view, i);
        const double c[3] = {p.x, p.y, p.z};
        if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2]))
            continue;
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
    }
    if (!(lo[0] <= hi[0]) || !(aspect > 0.0))
        return false;
    const Vec3 centre = Vec3::FromDouble((lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2);

    // The camera's axes: towards the eye, to the right and up on screen
    // (signs do not matter here). With -z up, the right-hand direction is
    // horizontal whatever the elevation.
    const double az = view.cameraAzimuth, el = view.cameraElevation;
    const Vec3 back = Vec3::FromDouble(std::cos(az) * std::cos(el), std::sin(az) * std::cos(el), std::sin(el));
    const Vec3 right = Vec3::FromDouble(std::sin(az), -std::cos(az), 0.0);
    const Vec3 up = Cross(right, back);

    const double tanY = std::tan(kFieldOfViewDegrees * M_PI / 360.0) * kFill, tanX = tanY * aspect;
    double distance = 0.0;
    for (int i = 0; i < doc.vertexCount; ++i) {
        const Vec3 r = DrawnVertex(doc, view, i) - centre;
        const double z = r.Dot(back);
        const double need = z + std::max(std::fabs(r.Dot(right)) / tanX, std::fabs(r.Dot(up)) / tanY);
        if (std::isfinite(need))
            distance = std::max(distance, need);
    }
    view.cameraTarget = centre;
    view.cameraDistance = static_cast<float>(std::clamp(distance, double(kMinCameraDistance),
                                                        double(kMaxCameraDistance)));
    return true;
}

} // namespace qm
