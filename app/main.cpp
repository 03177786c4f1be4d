// quillo: the program's single command.
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Messages.h"
#include "resources/Version.h"
#include "scene/BodyDoc.h"

namespace {

void PrintUsage()
{
    std::printf("usage: quillo [--help | --version]\n"
                "\n"
                "With no option, quillo builds a new scene and describes it.\n");
}

int DescribeNewScene()
{
    qm::StderrMessages messages;
    auto doc = std::make_unique<qm::CBodyDoc>(messages);
    doc->ResetScene();

    const qm::Figure& figure = doc->figures[0];
    int joints = 0, links = 0;
    for (const qm::SceneNode& n : doc->pools.nodes)
        joints += n.inUse;
    for (const qm::SceneLink& l : doc->pools.links)
        links += l.inUse;
    const qm::Vec3 waist = qm::JointNode(figure, qm::kWaist).restPosition;
    std::printf("%s %s\n", qm::kProgramName, qm::kProgramVersion);
    std::printf("The viewer window is not part of this build yet; this is the new scene it would show:\n");
    std::printf("  mesh: %d polygons, %d vertices\n", doc->polygonCount, doc->vertexCount);
    std::printf("  skeleton: figure 0 with %d nodes and %d links in use, waist at (%g, %g, %g)\n", joints, links,
                waist.x, waist.y, waist.z);
    std::printf("  colour table: 256 entries, entry 1 = (%g, %g, %g)\n", doc->colourTable[1].r,
                doc->colourTable[1].g, doc->colourTable[1].b);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", qm::kProgramName, qm::kProgramVersion);
            return 0;
        }
        std::fprintf(stderr, "quillo: unknown argument '%s'\n", argv[i]);
        PrintUsage();
        return 2;
    }
    return DescribeNewScene();
}
