#pragma once

#include "app/CommandLine.h"

namespace qm {

// Renders a request with OSMesa: the file loaded as a conversion loads it, the
// view's options from the settings file (read, never written) with the
// request's settings on top, the request's commands run through the view,
// N animation steps without keys, the last frame written as PNG. Returns the
// exit status.
int RenderOffscreen(const RenderRequest& request);

} // namespace qm
