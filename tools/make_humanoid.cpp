// Writes a character of the figure fit's measuring set as a scene:
// make_humanoid NAME OUT.abd, or make_humanoid to list the names.
#include <cstdio>
#include <string>

#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"
#include "tools/Humanoid.h"

int main(int argc, char** argv)
{
    const auto set = qm::HumanoidSet();
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_humanoid NAME OUT.abd; NAME one of:\n");
        for (const auto& entry : set)
            std::fprintf(stderr, "  %s\n", entry.name.c_str());
        return 2;
    }
    for (const auto& entry : set) {
        if (entry.name != argv[1])
            continue;
        qm::StderrMessages messages;
        qm::CBodyDoc doc(messages);
        if (!qm::LoadHumanoid(doc, qm::MakeHumanoid(entry.spec)) || !qm::SaveSceneFile(doc, argv[2]))
            return 1;
        std::printf("%s: %d vertices, %d polygons\n", argv[2], doc.vertexCount, doc.polygonCount);
        return 0;
    }
    std::fprintf(stderr, "make_humanoid: no character named %s\n", argv[1]);
    return 2;
}
