#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

namespace qm::test {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillo-test-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name) const { return name.empty() ? root_ : root_ + "/" + name; }

private:
    std::string root_;
};

// Changes the working folder for the life of the object.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& dir) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~CurrentDir() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

} // namespace qm::test
