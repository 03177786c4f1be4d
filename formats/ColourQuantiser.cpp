#include "formats/ColourQuantiser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace qm {

namespace {

using Lab = std::array<double, 3>;

constexpr int kRefineRounds = 4;

double Linear(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Gamma(double c)
{
    c = std::clamp(c, 0.0, 1.0);
    return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

Lab ToOklab(const Rgb& c)
{
    const double r = Linear(c.r), g = Linear(c.g), b = Linear(c.b);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Rgb FromOklab(const Lab& lab)
{
    const double l = lab[0] + 0.3963377774 * lab[1] + 0.2158037573 * lab[2];
    const double m = lab[0] - 0.1055613458 * lab[1] - 0.0638541728 * lab[2];
    const double s = lab[0] - 0.0894841775 * lab[1] - 1.2914855480 * lab[2];
    const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
    return {float(Gamma(4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3)),
            float(Gamma(-1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3)),
            float(Gamma(-0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3))};
}

uint32_t Key(const Rgb& c)
{
    auto byte = [](float v) { return uint32_t(std::lround(std::clamp(double(v), 0.0, 1.0) * 255.0)); };
    return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

struct Sample {
    Lab lab;
    double weight;
    int32_t distinct; // which distinct colour
};

// A box of samples [begin, end) with its weighted spread.
struct Box {
    size_t begin, end;
    double error = 0.0;
    int axis = 0;
};

void Measure(Box& box, const std::vector<Sample>& samples)
{
    Lab mean{}, lo, hi;
    lo.fill(std::numeric_limits<double>::max());
    hi.fill(std::numeric_limits<double>::lowest());
    double total = 0.0;
    for (size_t i = box.begin; i < box.end; ++i) {
        total += samples[i].weight;
        for (int k = 0; k < 3; ++k) {
            mean[k] += samples[i].lab[k] * samples[i].weight;
            lo[k] = std::min(lo[k], samples[i].lab[k]);
            hi[k] = std::max(hi[k], samples[i].lab[k]);
        }
    }
    box.error = 0.0;
    for (size_t i = box.begin; i < box.end; ++i)
        for (int k = 0; k < 3; ++k) {
            const double d = samples[i].lab[k] - mean[k] / total;
            box.error += d * d * samples[i].weight;
        }
    box.axis = 0;
    for (int k = 1; k < 3; ++k)
        if (hi[size_t(k)] - lo[size_t(k)] > hi[size_t(box.axis)] - lo[size_t(box.axis)])
            box.axis = k;
    if (box.end - box.begin < 2)
        box.error = 0.0;
}

Lab MeanOf(const Box& box, const std::vector<Sample>& samples)
{
    Lab mean{};
    double total = 0.0;
    for (size_t i = box.begin; i < box.end; ++i) {
        total += samples[i].weight;
        for (int k = 0; k < 3; ++k)
            mean[k] += samples[i].lab[k] * samples[i].weight;
    }
    for (double& m : mean)
        m /= total;
    return mean;
}

double SquaredDistance(const Lab& a, const Lab& b)
{
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

} // namespace

QuantisedColours QuantiseColours(const std::vector<Rgb>& colours, int maxEntries)
{
    QuantisedColours result;
    result.entry.resize(colours.size());
    if (maxEntries < 1)
        return result;

    // Distinct colours in order of appearance, with how often each is used.
    std::unordered_map<uint32_t, int32_t> distinct;
    std::vector<Rgb> firsts;
    std::vector<double> counts;
    for (size_t i = 0; i < colours.size(); ++i) {
        // Neighbouring polygons mostly share their colour: no look-up for a repeat.
        if (i > 0 && colours[i] == colours[i - 1]) {
            result.entry[i] = result.entry[i - 1];
            counts[size_t(result.entry[i])] += 1.0;
            continue;
        }
        const auto [it, added] = distinct.try_emplace(Key(colours[i]), int32_t(firsts.size()));
        if (added) {
            firsts.push_back(colours[i]);
            counts.push_back(0.0);
        }
        counts[size_t(it->second)] += 1.0;
        result.entry[i] = it->second;
    }
    if (firsts.size() <= size_t(maxEntries)) {
        result.palette = std::move(firsts);
        return result;
    }

    std::vector<Sample> samples(firsts.size());
    for (size_t i = 0; i < firsts.size(); ++i)
        samples[i] = {ToOklab(firsts[i]), counts[i], int32_t(i)};
    std::vector<Box> boxes{{0, samples.size()}};
    Measure(boxes[0], samples);
    while (boxes.size() < size_t(maxEntries)) {
        Box& worst = *std::max_element(boxes.begin(), boxes.end(),
                                       [](const Box& a, const Box& b) { return a.error < b.error; });
        if (worst.error <= 0.0)
            break;
        // Cut at the weighted median along the widest axis.
        const int axis = worst.axis;
        std::sort(samples.begin() + long(worst.begin), samples.begin() + long(worst.end),
                  [axis](const Sample& a, const Sample& b) { return a.lab[size_t(axis)] < b.lab[size_t(axis)]; });
        double half = 0.0, run = 0.0;
        for (size_t i = worst.begin; i < worst.end; ++i)
            half += samples[i].weight * 0.5;
        size_t cut = worst.begin;
        while (cut + 1 < worst.end && run + samples[cut].weight <= half)
            run += samples[cut++].weight;
        cut = std::max(cut, worst.begin + 1);
        Box upper{cut, worst.end};
        worst.end = cut;
        Measure(worst, samples);
        Measure(upper, samples);
        boxes.push_back(upper);
    }

    std::vector<Lab> palette;
    for (const Box& box : boxes)
        palette.push_back(MeanOf(box, samples));
    // A few rounds of k-means from the cut's means: each entry moves to the
    // mean of the colours nearest to it.
    std::vector<int32_t> nearest(samples.size());
    for (int round = 0; round <= kRefineRounds; ++round) {
        for (size_t i = 0; i < samples.size(); ++i) {
            double best = std::numeric_limits<double>::max();
            for (size_t e = 0; e < palette.size(); ++e)
                if (const double d = SquaredDistance(samples[i].lab, palette[e]); d < best) {
                    best = d;
                    nearest[i] = int32_t(e);
                }
        }
        if (round == kRefineRounds)
            break;
        std::vector<Lab> sums(palette.size(), Lab{});
        std::vector<double> weights(palette.size(), 0.0);
        for (size_t i = 0; i < samples.size(); ++i) {
            const size_t e = size_t(nearest[i]);
            weights[e] += samples[i].weight;
            for (size_t k = 0; k < 3; ++k)
                sums[e][k] += samples[i].lab[k] * samples[i].weight;
        }
        for (size_t e = 0; e < palette.size(); ++e)
            if (weights[e] > 0.0)
                for (size_t k = 0; k < 3; ++k)
                    palette[e][k] = sums[e][k] / weights[e];
    }
    for (const Lab& lab : palette)
        result.palette.push_back(FromOklab(lab));
    std::vector<int32_t> entryOf(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        entryOf[size_t(samples[i].distinct)] = nearest[i];
    for (int32_t& e : result.entry)
        e = entryOf[size_t(e)];
    return result;
}

} // namespace qm
