#include <csignal>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "TempFolder.h"
#include "platform/Files.h"
#include "platform/IniFileSettings.h"

namespace qm {
namespace {

using test::FileText;
using test::SetFileText;
using test::TempFolder;

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(SettingsTest, WritesKeepWhatTheProgramDoesNotOwn)
{
    TempFolder folder;
    const std::string path = folder / "quillo.ini";
    SetFileText(path, "; written by hand\n[Recent File List]\nFile1=/home/u/robot.abd\n\n"
                      "; my colours\n[Color]\nBackColorR = 1.00\nMine=yes\n[FrameState]\nWidth=640\n; the end\n");
    IniFileSettings settings(path, SettingsAccess::ReadWrite);
    EXPECT_EQ(settings.Read("color", "backcolorr"), "1.00"); // as case-blind as INI files are
    settings.Write("Color", "BackColorR", "1");
    settings.Write("View", "DrawShadow", "0");
    ASSERT_TRUE(settings.Flush());

    const std::string text = FileText(path);
    const char* inOrder[] = {"; written by hand\n",
                             "[Recent File List]\nFile1=/home/u/robot.abd\n",
                             "; my colours\n[Color]\nBackColorR=1\nMine=yes\n",
                             "[FrameState]\nWidth=640\n",
                             "[View]\nDrawShadow=0\n",
                             "; the end\n"};
    size_t at = 0;
    for (const char* part : inOrder) {
        const size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << part << "in:\n" << text;
        at = found + std::strlen(part);
    }
    EXPECT_EQ(at, text.size()) << "the closing comment stays last";

    // Writing again changes nothing more.
    settings.Write("View", "DrawShadow", "0");
    ASSERT_TRUE(settings.Flush());
    EXPECT_EQ(FileText(path), text);
}

TEST(SettingsTest, FlushRereadsTheFileAndMakesItsFolder)
{
    TempFolder folder;
    const std::string path = folder / "config/quillomark/quillo.ini";
    IniFileSettings first(path, SettingsAccess::ReadWrite);
    IniFileSettings second(path, SettingsAccess::ReadWrite); // another running copy
    first.Write("View", "UseEdge", "1");
    ASSERT_TRUE(first.Flush());
    second.Write("View", "DrawGround", "0");
    ASSERT_TRUE(second.Flush());
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\nDrawGround=0\n");
    EXPECT_EQ(ModeOf(folder / "config"), 0700u);

    IniFileSettings readOnly(path, SettingsAccess::ReadOnly);
    readOnly.Write("View", "UseEdge", "0");
    EXPECT_EQ(readOnly.Read("View", "UseEdge"), "0");
    readOnly.Flush();
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\nDrawGround=0\n");
}

TEST(SettingsTest, ReplacingAFileIsAllOrNothing)
{
    TempFolder folder;
    const std::string path = folder / "quillo.ini";
    SetFileText(path, "[View]\nUseEdge=1\n");
    chmod(path.c_str(), 0640);
    // A file size limit makes the write fail half-way, as a full disk would.
    rlimit saved{}, limited{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limited = {64, saved.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    EXPECT_FALSE(ReplaceFileAtomically(path, std::string(1000, 'x')));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1) << "temporary file left";

    EXPECT_TRUE(ReplaceFileAtomically(path, "new\n"));
    EXPECT_EQ(FileText(path), "new\n");
    EXPECT_EQ(ModeOf(path), 0640u);

    // A settings file kept elsewhere through a link stays linked.
    const std::string link = folder / "link.ini";
    std::filesystem::create_symlink(path, link);
    EXPECT_TRUE(ReplaceFileAtomically(link, "through the link\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(FileText(path), "through the link\n");

    EXPECT_FALSE(ReplaceFileAtomically(folder / "missing/quillo.ini", "x"));
}

} // namespace
} // namespace qm
