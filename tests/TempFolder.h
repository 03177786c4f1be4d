#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qm::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder() : path_((std::filesystem::temp_directory_path() / "quillo-test-XXXXXX").string())
    {
        if (!mkdtemp(path_.data()))
            path_.clear();
    }
    ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::error_code ignored_;
};

class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// Plain stream reads and writes, independent of the code under test.
inline std::string FileText(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void SetFileText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace qm::test
