#include <limits>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/IniFileSettings.h"
#include "view/ViewOptions.h"

namespace qm {
namespace {

using test::SetFileText;
using test::TempFolder;

std::string Joined(const std::vector<SettingsEntry>& entries)
{
    std::string text;
    for (const SettingsEntry& e : entries)
        text += e.section + "/" + e.key + "=" + e.value + " ";
    return text;
}

TEST(ViewOptionsTest, FirstStartWritesEveryNumericKeyAndNoSwitch)
{
    MemorySettings settings;
    const ViewOptions options(settings);
    EXPECT_EQ(Joined(settings.written),
              "Color/BackColorR=0.5 Color/BackColorG=0.6 Color/BackColorB=1 "
              "Color/GroundColor1R=0.25 Color/GroundColor1G=0.25 Color/GroundColor1B=0.25 "
              "Color/GroundColor2R=0.2 Color/GroundColor2G=0.2 Color/GroundColor2B=0.2 View/GroundScale=10 "
              "Light/DiffuseR=0.9 Light/DiffuseG=0.9 Light/DiffuseB=0.9 Light/AmbientR=0.2 Light/AmbientG=0.2 "
              "Light/AmbientB=0.2 Light/SpecularR=0.5 Light/SpecularG=0.5 Light/SpecularB=0.5 Light/Shininess=100 "
              "View/EdgeWidth=0.002 Light/AnimeShadeBright1=0.45 Light/AnimeShadeBright2=0.7 "
              "Light/AnimeShadeBright3=0.95 Light/AnimeShadeBright4=1 Light/AnimeShadeThreshold1=0 "
              "Light/AnimeShadeThreshold2=0.1 Light/AnimeShadeThreshold3=0.8 ");
    EXPECT_EQ(settings.flushes, 1);

    const ViewSwitches& s = options.Switches();
    EXPECT_EQ(s.drawShadow + s.drawGround + s.drawCount + s.useFastBlower, 4);
    EXPECT_EQ(s.useEdge + s.useAntiEdge + s.useDepth + s.animeShade + s.useCameraTrace + s.useMotionBlower +
                  s.useFlatShade + s.drawDoublePlane,
              0);
    EXPECT_FLOAT_EQ(options.Parameters().edgeWidth, 0.002f);
    EXPECT_FLOAT_EQ(options.Thresholds().animeShadeThreshold3, 0.8f);
}

TEST(ViewOptionsTest, NumbersAreReadAsAtofDoesAndWrittenBackNormalised)
{
    const struct {
        const char* text;
        float value;
        const char* written;
    } cases[] = {{"1.00", 1.0f, "1"},
                 {"abc", 0.0f, "0"},
                 {"", 0.0f, "0"},
                 {"0.123456789", 0.123456789f, "0.123457"},
                 {"1234567", 1234567.0f, "1.23457e+06"},
                 {"  -.25 and more", -0.25f, "-0.25"},
                 {"1e39", std::numeric_limits<float>::infinity(), "inf"}};
    for (const auto& c : cases) {
        MemorySettings settings;
        settings.values[{"Light", "Shininess"}] = c.text;
        settings.values[{"Light", "AnimeShadeThreshold2"}] = c.text;
        const ViewOptions options(settings);
        EXPECT_EQ(options.Parameters().shininess, c.value) << '"' << c.text << '"';
        EXPECT_EQ(options.Thresholds().animeShadeThreshold2, c.value) << '"' << c.text << '"';
        EXPECT_EQ(settings.Read("Light", "Shininess"), c.written) << '"' << c.text << '"';
        EXPECT_EQ(settings.Read("Light", "AnimeShadeThreshold2"), c.written) << '"' << c.text << '"';
    }
}

TEST(ViewOptionsTest, ToggledSwitchIsInTheFileAtTheNextStart)
{
    TempFolder folder;
    const std::string path = folder / "quillo.ini";
    SetFileText(path, "[View]\nUseEdge=7\n");
    {
        IniFileSettings settings(path, SettingsAccess::ReadWrite);
        ViewOptions options(settings);
        EXPECT_EQ(options.Switches().useEdge, 7);
        EXPECT_EQ(options.ToggleAndWrite(&ViewSwitches::drawShadow), 0);
        EXPECT_EQ(options.ToggleAndWrite(&ViewSwitches::useEdge), 0); // any non-zero value turns off
    }
    IniFileSettings settings(path, SettingsAccess::ReadOnly);
    ViewOptions nextStart(settings);
    EXPECT_EQ(nextStart.Switches().drawShadow + nextStart.Switches().useEdge, 0);
}

} // namespace
} // namespace qm
