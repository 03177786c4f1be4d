#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/IniFileSettings.h"

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
    std::function<bool(const std::string& file)> fileExists;
};

// A named file wins. Otherwise the file beside the executable, so that a copy
// unpacked anywhere keeps its settings with it; when that folder is not
// writable or lies under /usr (other than /usr/local: a system-wide install),
// the same file name in $XDG_CONFIG_HOME/quillomark/, by default
// ~/.config/quillomark/.
std::string LocateSettingsFile(const SettingsLocationInputs& inputs);

// Where the located settings file takes its first contents from while it does
// not exist: the file beside the executable, when the settings live elsewhere
// (a read-only install) and that file exists, so that an administrator's
// defaults reach every user. Empty otherwise.
std::string SettingsSeedFile(const SettingsLocationInputs& inputs, const std::string& located);

// The inputs of the running process: its executable, its environment, and the
// file system's answers. A relative override is made absolute against the
// current folder. The headless renderer beside the viewer counts as the
// viewer: every mode uses the one settings file the viewer writes.
SettingsLocationInputs CurrentSettingsLocationInputs(const std::string& overridePath);

bool FolderIsWritable(const std::string& folder);

// The settings of the running program, located as above. A read-write store
// starts the user's file as a copy of its seed file; a read-only one reads the
// seed file while the user's file does not exist.
std::unique_ptr<IniFileSettings> OpenProgramSettings(const std::string& overridePath, SettingsAccess access);

} // namespace qm
