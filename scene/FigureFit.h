#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include "scene/BodyDoc.h"
#include "skeleton/Figure.h"

namespace qm {

// Where a character's joints are, as a fit finds them. Positions are in the
// mesh's coordinates as they stand (rest vertices, scene axes: z down, the
// figure facing -y, its -x side the character's left). turn is the angle
// about the vertical (z) axis, in radians, that the mesh and these positions
// are to be turned by about the mesh's box centre so that the character
// faces the figure's front (-y): 0 when it already does. A point (x, y) goes
// to (x cos turn - y sin turn, x sin turn + y cos turn) about that centre, so
// a character facing +x has a turn of -pi/2.
struct FigureFit {
    double turn = 0.0;
    std::array<Vec3, kFigureJoints> joint{};
    std::bitset<kFigureJoints> placed;  // which entries of joint were found
};

// The joints a fit must place: waist, neck, head, both shoulders, elbows,
// hands (wrists), hips (thigh heads), knees and feet (ankles).
inline constexpr int kFittedJoints[] = {kWaist,       kNeck,   kHead,    kShoulderNeg, kElbowNeg,
                                        kHandNeg,     kShoulderPos, kElbowPos, kHandPos, kHipNeg,
                                        kKneeNeg,     kFootNeg, kHipPos,  kKneePos,     kFootPos};

// Each side's limb joints, the character's left (-x) first: shoulder, elbow,
// wrist, thigh head, knee, ankle.
inline constexpr int kLimbJoints[2][6] = {{kShoulderNeg, kElbowNeg, kHandNeg, kHipNeg, kKneeNeg, kFootNeg},
                                          {kShoulderPos, kElbowPos, kHandPos, kHipPos, kKneePos, kFootPos}};

// From the shape alone: a standing two-legged character in a T, A or
// arms-down pose, facing any direction about the vertical. False when the
// mesh is not such a character; fit is then unspecified.
bool FitFromShape(const CBodyDoc& doc, FigureFit& fit);

// From the model's own skeleton (doc.rig), mapped by its bones' names, by a
// humanoid bone map, or by the tree's shape. False when it cannot be mapped.
bool FitFromRig(const CBodyDoc& doc, FigureFit& fit);

} // namespace qm
