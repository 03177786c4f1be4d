#pragma once

#include <functional>
#include <string>

namespace qm {

// The settings file that belongs to an executable: its path with ".exe"
// replaced by ".ini", or ".ini" appended when it has no ".exe" ending
// (/opt/q/quillo gives /opt/q/quillo.ini, a.b gives a.b.ini).
std::string SettingsFileBesideExecutable(const std::string& executablePath);

// What the choice of settings file depends on, gathered apart from the choice
// so that it can be made without a real installation.
struct SettingsLocationInputs {
    std::string executablePath; // the running program's full path; empty when unknown
    std::string overridePath;   // the file named on the command line; empty when none
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME; empty when unset
    std::string home;           // $HOME; empty when unset
    std::function<bool(const std::string& folder)> folderIsWritable;
};

// A named file wins. Otherwise the file beside the executable, so that a copy
// unpacked anywhere keeps its settings with it; when that folder is not
// writable (a system-wide install), the same file name in
// $XDG_CONFIG_HOME/quillomark/, by default ~/.config/quillomark/.
std::string LocateSettingsFile(const SettingsLocationInputs& inputs);

// The inputs of the running process: its executable, its environment, and the
// file system's answer to whether a folder is writable. A relative override
// is made absolute against the current folder.
SettingsLocationInputs CurrentSettingsLocationInputs(const std::string& overridePath);

bool FolderIsWritable(const std::string& folder);

} // namespace qm
