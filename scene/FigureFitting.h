#pragma once

#include "scene/BodyDoc.h"

namespace qm {

// What fitting the figure came to.
struct FitOutcome {
    bool fitted = false;
    bool fromRig = false;
    // The share of the vertices that group binding puts on the joint the
    // model's skin (or, without one, the figure's nearest segment) gives them.
    double bindingAgreement = 0.0;
};

// "Ajuster le squelette au modèle": places every joint of figure 0 where the
// character's own joints are, from the model's skeleton when it maps, else
// from the shape; turns the mesh (and its skeleton) about the vertical so
// that the character faces the figure's front; makes that the rest pose, as
// leaving the skeleton edit mode does, and binds the mesh by vertex groups
// made so that group binding follows the skin. A mesh that cannot be fitted
// is left as it was, the user told when tellUser is set.
FitOutcome FitFigureToModel(CBodyDoc& doc, bool tellUser);

} // namespace qm
