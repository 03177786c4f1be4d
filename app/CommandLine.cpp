#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "platform/Messages.h"
#include "resources/Version.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"

namespace qm {

namespace {

enum class FileKind { Unknown, Scene };

FileKind KindOf(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileKind::Unknown;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == "abd")
        return FileKind::Scene;
    return FileKind::Unknown;
}

// A scene as a conversion starts it: freshly reset, with the view's initial
// state, no default scene and no settings written.
struct BatchScene {
    StderrMessages messages;
    SceneViewState view;
    std::unique_ptr<CBodyDoc> doc = std::make_unique<CBodyDoc>(messages);
    BatchScene()
    {
        doc->AttachViewState(&view);
        doc->ResetScene();
    }
};

bool Read(CBodyDoc& doc, const std::string& path)
{
    switch (KindOf(path)) {
    case FileKind::Scene:
        return LoadSceneFile(doc, path) == LoadResult::Ok;
    case FileKind::Unknown:
        break;
    }
    return false;
}

bool Write(CBodyDoc& doc, const std::string& path)
{
    switch (KindOf(path)) {
    case FileKind::Scene:
        return SaveSceneFile(doc, path);
    case FileKind::Unknown:
        break;
    }
    return false;
}

int UsageError(const CLI::App& app, const std::string& what)
{
    std::fprintf(stderr, "quillo: %s\n\n%s", what.c_str(), app.help().c_str());
    return 2;
}

int Convert(const CLI::App& app, const std::string& in, const std::string& out)
{
    if (KindOf(in) == FileKind::Unknown)
        return UsageError(app, "cannot read '" + in + "': the file type is not one quillo reads (.abd)");
    if (KindOf(out) == FileKind::Unknown)
        return UsageError(app, "cannot write '" + out + "': the file type is not one quillo writes (.abd)");
    BatchScene scene;
    if (!Read(*scene.doc, in) || !Write(*scene.doc, out))
        return 1;
    return 0;
}

int Describe(const std::string& path)
{
    BatchScene scene;
    CBodyDoc& doc = *scene.doc;
    if (!path.empty() && !Read(doc, path))
        return 1;
    int nodes = 0, links = 0;
    for (const SceneNode& n : doc.pools.nodes)
        nodes += n.inUse ? 1 : 0;
    for (const SceneLink& l : doc.pools.links)
        links += l.inUse ? 1 : 0;
    std::printf("%s %s\n", kProgramName, kProgramVersion);
    std::printf("The viewer window is not part of this build yet; this is the scene it would show:\n");
    std::printf("  scene:    %s\n", path.empty() ? "new" : path.c_str());
    std::printf("  mesh:     %d poly / %d vertex\n", doc.polygonCount, doc.vertexCount);
    std::printf("  skeleton: %d nodes, %d links\n", nodes, links);
    std::printf("  camera:   distance %g, target (%g, %g, %g)\n", scene.view.cameraDistance, scene.view.cameraTarget.x,
                scene.view.cameraTarget.y, scene.view.cameraTarget.z);
    return 0;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv)
{
    CLI::App app{"Quillomark: a viewer for 3D character models.", "quillo"};
    app.set_version_flag("--version", std::string(kProgramName) + " " + kProgramVersion, "Print the version and exit");
    std::vector<std::string> convert;
    app.add_option("--convert", convert,
                   "Read IN and write OUT; each file's type comes from its extension (.abd)")
        ->expected(2)
        ->type_name("IN OUT");
    std::string file;
    app.add_option("FILE", file, "A scene to open");
    app.footer("Exit status: 0 done, 1 a file could not be read or written, 2 a usage error.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)  // --help, --version
            return app.exit(e);
        return UsageError(app, e.what());
    }
    if (!convert.empty()) {
        if (!file.empty())
            return UsageError(app, "--convert takes no other file");
        return Convert(app, convert[0], convert[1]);
    }
    return Describe(file);
}

} // namespace qm
