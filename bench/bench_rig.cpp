// The figure fitted to rigged characters of our own making, whose joints are
// known exactly: each is written as glTF, imported (which fits it) and fitted
// again as --command 32864 does; the figure's limb joints are compared with
// the character's in the frame of its left, facing and up, in units of its
// height. Prints each character's mean and worst error, the share of vertices
// bound as its skin says, and the whole set's figures; then the time of the
// fit against the import's for a 100k-vertex character.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/ModelFiles.h"
#include "platform/Messages.h"
#include "scene/FigureFitting.h"
#include "tools/RiggedFigure.h"

namespace {

using namespace qm;

RiggedFigureShape Shape(BoneNaming naming, double drop, double facing)
{
    RiggedFigureShape s;
    s.naming = naming;
    s.armDrop = drop;
    s.facing = facing;
    return s;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main()
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("qm_rig_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    constexpr int kLimbs[] = {10, 11, 12, 15, 16, 17, 20, 21, 22, 25, 26, 27};
    double total = 0.0, worst = 0.0, worstMean = 0.0;
    int count = 0, fromRig = 0;
    for (const NamedRiggedFigure& c : RiggedFigureSet()) {
        const std::string path = (folder / (c.name + "." + c.extension)).string();
        RiggedFigureTruth truth;
        WriteRiggedFigure(path, c.shape, &truth);
        StderrMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        ImportModel(doc, path);
        const FitOutcome outcome = FitFigureToModel(doc, false);
        const auto judged = JudgedJoints(doc);
        double sum = 0.0, max = 0.0;
        for (int j : kLimbs) {
            const double e = Distance(judged[size_t(j)], truth.joint[size_t(j)]);
            sum += e;
            max = std::max(max, e);
        }
        const double mean = sum / 12;
        std::printf("%-20s drop %3.0f facing %4.0f  %s  mean %5.2f %%  worst %5.2f %%  bound as the skin %5.1f %%\n",
                    c.name.c_str(), c.shape.armDrop, c.shape.facing, outcome.fromRig ? "rig  " : "SHAPE", mean * 100,
                    max * 100, outcome.bindingAgreement * 100);
        total += mean;
        worstMean = std::max(worstMean, mean);
        worst = std::max(worst, max);
        fromRig += outcome.fromRig ? 1 : 0;
        ++count;
    }
    std::printf("%d characters, %d fitted from the rig: mean error %.2f %% of the height, worst mean %.2f %%, worst "
                "joint %.2f %%\n",
                count, fromRig, total / count * 100, worstMean * 100, worst * 100);

    // Speed: a character of about 100k vertices, imported (with its fit), then fitted again alone.
    RiggedFigureShape big = Shape(BoneNaming::kMixamo, 30, 90);
    big.detail = 63;
    RiggedFigureTruth truth;
    const std::string path = (folder / "big.glb").string();
    WriteRiggedFigure(path, big, &truth);
    double import = 0.0, fit = 0.0;
    constexpr int kRuns = 5;
    for (int run = 0; run < kRuns; ++run) {
        StderrMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        const auto t0 = std::chrono::steady_clock::now();
        ImportModel(doc, path);
        const auto t1 = std::chrono::steady_clock::now();
        FitFigureToModel(doc, false);
        const auto t2 = std::chrono::steady_clock::now();
        // The import fits too: what it takes beside the fit is the import proper.
        fit += Seconds(t2 - t1) / kRuns;
        import += (Seconds(t1 - t0) - Seconds(t2 - t1)) / kRuns;
    }
    std::printf("%d vertices: import %.0f ms, fit %.0f ms, fit / import %.2f\n", truth.vertices, import * 1000,
                fit * 1000, fit / import);
    std::filesystem::remove_all(folder);
    return 0;
}
