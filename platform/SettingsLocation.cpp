#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "platform/Files.h"
#include "platform/SettingsLocation.h"

namespace qm {
namespace {

constexpr char kConfigFolderName[] = "quillomark";
// Used when the executable's own path cannot be found.
constexpr char kDefaultFileName[] = "quillo.ini";
// The name ending of the headless renderer that runs beside the viewer.
constexpr char kRendererSuffix[] = "-render";

bool EndsWith(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Under /usr the package manager owns every file: settings written there by
// root would outlive the package.
bool InstalledBySystem(const std::string& path)
{
    return path.rfind("/usr/", 0) == 0 && path.rfind("/usr/local/", 0) != 0;
}

std::string GetEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string SettingsFileBesideExecutable(const std::string& executablePath)
{
    if (EndsWith(executablePath, ".exe"))
        return executablePath.substr(0, executablePath.size() - 4) + ".ini";
    return executablePath + ".ini";
}

std::string LocateSettingsFile(const SettingsLocationInputs& inputs)
{
    if (!inputs.overridePath.empty())
        return inputs.overridePath;

    std::string fileName = kDefaultFileName;
    if (!inputs.executablePath.empty()) {
        const std::string beside = SettingsFileBesideExecutable(inputs.executablePath);
        if (!InstalledBySystem(beside) && inputs.folderIsWritable && inputs.folderIsWritable(FolderOf(beside)))
            return beside;
        fileName = NameOf(beside);
    }

    // A relative $XDG_CONFIG_HOME is to be ignored, as the base directory
    // rules say.
    std::string configHome = inputs.xdgConfigHome;
    if (configHome.empty() || configHome[0] != '/') {
        if (inputs.home.empty())
            return inputs.executablePath.empty() ? fileName : SettingsFileBesideExecutable(inputs.executablePath);
        configHome = inputs.home + "/.config";
    }
    return configHome + "/" + kConfigFolderName + "/" + fileName;
}

SettingsLocationInputs CurrentSettingsLocationInputs(const std::string& overridePath)
{
    SettingsLocationInputs inputs;
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        inputs.executablePath = executable.string();
    // A program rebuilt while it runs still finds its settings by its name.
    const std::string deleted = " (deleted)";
    if (EndsWith(inputs.executablePath, deleted))
        inputs.executablePath.resize(inputs.executablePath.size() - deleted.size());
    if (EndsWith(inputs.executablePath, kRendererSuffix))
        inputs.executablePath.resize(inputs.executablePath.size() - std::strlen(kRendererSuffix));
    if (!overridePath.empty()) {
        const std::filesystem::path absolute = std::filesystem::absolute(overridePath, error);
        inputs.overridePath = error ? overridePath : absolute.string();
    }
    inputs.xdgConfigHome = GetEnvironment("XDG_CONFIG_HOME");
    inputs.home = GetEnvironment("HOME");
    inputs.folderIsWritable = FolderIsWritable;
    inputs.fileExists = [](const std::string& file) { return std::filesystem::exists(file); };
    return inputs;
}

std::string SettingsSeedFile(const SettingsLocationInputs& inputs, const std::string& located)
{
    if (!inputs.overridePath.empty() || inputs.executablePath.empty() || !inputs.fileExists)
        return "";
    const std::string beside = SettingsFileBesideExecutable(inputs.executablePath);
    if (located == beside || inputs.fileExists(located) || !inputs.fileExists(beside))
        return "";
    return beside;
}

std::unique_ptr<IniFileSettings> OpenProgramSettings(const std::string& overridePath, SettingsAccess access)
{
    const SettingsLocationInputs inputs = CurrentSettingsLocationInputs(overridePath);
    const std::string located = LocateSettingsFile(inputs);
    const std::string seed = SettingsSeedFile(inputs, located);
    if (!seed.empty()) {
        if (access == SettingsAccess::ReadOnly)
            return std::make_unique<IniFileSettings>(seed, access);
        std::string text;
        if (ReadWholeFile(seed, text, kMaxSettingsBytes) == FileRead::Ok &&
            CreateFolders(std::filesystem::path(located).parent_path().string()))
            ReplaceFileAtomically(located, text);
    }
    return std::make_unique<IniFileSettings>(located, access);
}

bool FolderIsWritable(const std::string& folder)
{
    return access(folder.c_str(), W_OK) == 0;
}

} // namespace qm
