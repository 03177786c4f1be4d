#pragma once

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

namespace qm {

// The program's icon, drawn from the SVG built into the executable.
wxBitmapBundle AppIconBundle();
wxIconBundle AppIcons();

} // namespace qm
