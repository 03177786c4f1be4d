#pragma once

class wxWindow;

namespace qm {

void ShowAboutBox(wxWindow* parent);
void ShowShortcutsSheet(wxWindow* parent);

} // namespace qm
