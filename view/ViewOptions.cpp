#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <locale.h>
#include <string>

#include "view/ViewOptions.h"

namespace qm {
namespace {

constexpr char kColor[] = "Color";
constexpr char kView[] = "View";
constexpr char kLight[] = "Light";

struct SwitchOption {
    const char* key;
    int32_t defaultValue;
    ViewSwitch field;
};

template <class Fields> struct NumericOption {
    const char* section;
    const char* key;
    const char* defaultText;
    float Fields::*field;
};

// Every option in the settings file, in the order of loading. Switches live in
// section "View" under their own names.
constexpr SwitchOption kSwitches[] = {
    {"UseEdge", 0, &ViewSwitches::useEdge},
    {"UseAntiEdge", 0, &ViewSwitches::useAntiEdge},
    {"UseDepth", 0, &ViewSwitches::useDepth},
    {"AnimeShade", 0, &ViewSwitches::animeShade},
    {"DrawShadow", 1, &ViewSwitches::drawShadow},
    {"UseCameraTrace", 0, &ViewSwitches::useCameraTrace},
    {"UseMotionBlower", 0, &ViewSwitches::useMotionBlower},
    {"DrawGround", 1, &ViewSwitches::drawGround},
    {"DrawCount", 1, &ViewSwitches::drawCount},
    {"UseFlatShade", 0, &ViewSwitches::useFlatShade},
    {"DrawDoublePlane", 0, &ViewSwitches::drawDoublePlane},
    {"UseFastBlower", 1, &ViewSwitches::useFastBlower},
    {"ShowSkeleton", 1, &ViewSwitches::showSkeleton},
    {"MirrorEdit", 0, &ViewSwitches::mirrorEdit},
};

constexpr NumericOption<ViewParameters> kParameters[] = {
    {kColor, "BackColorR", "0.5", &ViewParameters::backColorR},
    {kColor, "BackColorG", "0.6", &ViewParameters::backColorG},
    {kColor, "BackColorB", "1.0", &ViewParameters::backColorB},
    {kColor, "GroundColor1R", "0.25", &ViewParameters::groundColor1R},
    {kColor, "GroundColor1G", "0.25", &ViewParameters::groundColor1G},
    {kColor, "GroundColor1B", "0.25", &ViewParameters::groundColor1B},
    {kColor, "GroundColor2R", "0.2", &ViewParameters::groundColor2R},
    {kColor, "GroundColor2G", "0.2", &ViewParameters::groundColor2G},
    {kColor, "GroundColor2B", "0.2", &ViewParameters::groundColor2B},
    {kView, "GroundScale", "10", &ViewParameters::groundScale},
    {kLight, "DiffuseR", "0.9", &ViewParameters::diffuseR},
    {kLight, "DiffuseG", "0.9", &ViewParameters::diffuseG},
    {kLight, "DiffuseB", "0.9", &ViewParameters::diffuseB},
    {kLight, "AmbientR", "0.2", &ViewParameters::ambientR},
    {kLight, "AmbientG", "0.2", &ViewParameters::ambientG},
    {kLight, "AmbientB", "0.2", &ViewParameters::ambientB},
    {kLight, "SpecularR", "0.5", &ViewParameters::specularR},
    {kLight, "SpecularG", "0.5", &ViewParameters::specularG},
    {kLight, "SpecularB", "0.5", &ViewParameters::specularB},
    {kLight, "Shininess", "100", &ViewParameters::shininess},
    {kView, "EdgeWidth", "0.002", &ViewParameters::edgeWidth},
    {kLight, "AnimeShadeBright1", "0.45", &ViewParameters::animeShadeBright1},
    {kLight, "AnimeShadeBright2", "0.7", &ViewParameters::animeShadeBright2},
    {kLight, "AnimeShadeBright3", "0.95", &ViewParameters::animeShadeBright3},
    {kLight, "AnimeShadeBright4", "1.00", &ViewParameters::animeShadeBright4},
};

constexpr NumericOption<AnimeShadeThresholds> kThresholds[] = {
    {kLight, "AnimeShadeThreshold1", "0.0", &AnimeShadeThresholds::animeShadeThreshold1},
    {kLight, "AnimeShadeThreshold2", "0.1", &AnimeShadeThresholds::animeShadeThreshold2},
    {kLight, "AnimeShadeThreshold3", "0.8", &AnimeShadeThresholds::animeShadeThreshold3},
};

// Each field has exactly one row, so that a field added without a row, or
// two rows for one field, does not build.
template <class Row, size_t N> constexpr bool EachFieldOnce(const Row (&rows)[N], size_t structSize, size_t fieldSize)
{
    for (size_t i = 0; i < N; ++i)
        for (size_t j = i + 1; j < N; ++j)
            if (rows[i].field == rows[j].field)
                return false;
    return N * fieldSize == structSize;
}
static_assert(EachFieldOnce(kSwitches, sizeof(ViewSwitches), sizeof(int32_t)));
static_assert(EachFieldOnce(kParameters, sizeof(ViewParameters), sizeof(float)));
static_assert(EachFieldOnce(kThresholds, sizeof(AnimeShadeThresholds), sizeof(float)));

// atof's rules (leading white space, then the longest number; 0 when there is
// none), but always with a decimal point: a user's locale must not turn 0.5
// into 0.
float ParseNumber(const std::string& text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const double value = strtod_l(text.c_str(), nullptr, cLocale);
    // Out of float's range is undefined for a plain conversion; give what the
    // hardware would.
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return value < 0 ? -kInfinity : kInfinity;
    return static_cast<float>(value);
}

// "%g" of the value widened to double, again with a decimal point whatever the
// locale.
std::string FormatNumber(float value)
{
    char text[32];
    const auto result =
        std::to_chars(std::begin(text), std::end(text), static_cast<double>(value), std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

template <class Fields, size_t N>
void LoadAndNormalise(SettingsStore& settings, const NumericOption<Fields> (&rows)[N], Fields& fields)
{
    for (const NumericOption<Fields>& row : rows) {
        fields.*row.field = ParseNumber(settings.Read(row.section, row.key).value_or(row.defaultText));
        settings.Write(row.section, row.key, FormatNumber(fields.*row.field));
    }
}

const SwitchOption& RowOf(ViewSwitch option)
{
    return *std::find_if(std::begin(kSwitches), std::end(kSwitches),
                         [option](const SwitchOption& row) { return row.field == option; });
}

} // namespace

ViewOptions::ViewOptions(SettingsStore& settings) : settings_(settings)
{
    for (const SwitchOption& row : kSwitches)
        switches_.*row.field = ReadInt(settings_, kView, row.key, row.defaultValue);
    LoadAndNormalise(settings_, kParameters, parameters_);
    LoadAndNormalise(settings_, kThresholds, thresholds_);
    settings_.Flush(); // a failed write is not the user's concern
}

const char* ViewOptions::SectionOf(std::string_view key)
{
    auto same = [key](const char* name) {
        const std::string_view other(name);
        return other.size() == key.size() && std::equal(other.begin(), other.end(), key.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               });
    };
    for (const SwitchOption& row : kSwitches)
        if (same(row.key))
            return kView;
    for (const auto& row : kParameters)
        if (same(row.key))
            return row.section;
    for (const auto& row : kThresholds)
        if (same(row.key))
            return row.section;
    return nullptr;
}

int32_t ViewOptions::ToggleAndWrite(ViewSwitch option)
{
    switches_.*option = switches_.*option == 0 ? 1 : 0;
    WriteSwitch(option);
    return switches_.*option;
}

int32_t ViewOptions::FlipModulo2AndWrite(ViewSwitch option)
{
    // Widened so that the largest int32 does not overflow on + 1.
    switches_.*option = static_cast<int32_t>((int64_t{switches_.*option} + 1) % 2);
    WriteSwitch(option);
    return switches_.*option;
}

void ViewOptions::WriteSwitch(ViewSwitch option)
{
    WriteInt(settings_, kView, RowOf(option).key, switches_.*option);
    settings_.Flush();
}

} // namespace qm
