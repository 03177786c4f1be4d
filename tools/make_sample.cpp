// Writes the sample character scene: make_sample [OUT], by default
// samples/figure.abd below the current folder.
#include <cstdio>
#include <string>

#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"
#include "tools/SampleFigure.h"

int main(int argc, char** argv)
{
    if (argc > 2) {
        std::fprintf(stderr, "usage: make_sample [OUT]\n");
        return 2;
    }
    const std::string out = argc == 2 ? argv[1] : "samples/figure.abd";
    qm::StderrMessages messages;
    qm::CBodyDoc doc(messages);
    if (!qm::BuildSampleFigure(doc) || !qm::SaveSceneFile(doc, out))
        return 1;
    std::printf("%s: %d vertices, %d polygons\n", out.c_str(), doc.vertexCount, doc.polygonCount);
    return 0;
}
