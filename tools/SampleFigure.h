#pragma once

#include <cstdint>

namespace qm {

class CBodyDoc;

// Vertex groups of the sample figure, one per body segment, so that binding by
// group ties every segment to joints of its own limb.
enum SampleGroup : int32_t {
    kSampleHead = 1,
    kSampleNeck,
    kSampleChest,
    kSampleBelly,
    kSamplePelvis,
    kSampleUpperArmNeg,
    kSampleForearmNeg,
    kSampleHandNeg,
    kSampleUpperArmPos,
    kSampleForearmPos,
    kSampleHandPos,
    kSampleThighNeg,
    kSampleShinNeg,
    kSampleFootNeg,
    kSampleThighPos,
    kSampleShinPos,
    kSampleFootPos,
    kSampleGroupEnd
};

// Replaces the scene in doc with the sample character: a closed quad mesh
// for each body part, fitted around figure 0's default rest pose, coloured
// from the default table and bound by group; the view state gets a camera
// that frames the figure from the front and a light from the front and above.
// The result depends on nothing doc held before, so saving it gives the same
// bytes every time. False when the mesh did not fit in memory (the user has
// been told and the mesh is empty).
bool BuildSampleFigure(CBodyDoc& doc);

} // namespace qm
