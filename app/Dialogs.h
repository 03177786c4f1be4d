#pragma once

#include <string>
#include <vector>

class wxWindow;

namespace qm {

void ShowAboutBox(wxWindow* parent);
void ShowShortcutsSheet(wxWindow* parent);

enum class SaveAnswer { Save, Discard, Cancel };
// Whether to save the changes to the scene of the name given before it goes.
SaveAnswer AskToSaveChanges(wxWindow* parent, const std::string& name);
// Whether the files (full paths), which exist, may be replaced; No unless chosen.
bool AskToReplace(wxWindow* parent, const std::vector<std::string>& files);

} // namespace qm
