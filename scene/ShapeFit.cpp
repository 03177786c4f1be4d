#include "scene/FigureFit.h"

namespace qm {

// Not yet: a mesh without a skeleton is not fitted.
bool FitFromShape(const CBodyDoc&, FigureFit&)
{
    return false;
}

} // namespace qm
