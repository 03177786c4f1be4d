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
#include "app/FileKinds.h"
#include "view/ViewOptions.h"

namespace qm {

namespace {

int UsageError(const CLI::App& app, const std::string& what)
{
    std::fprintf(stderr, "quillo: %s\n\n%s", what.c_str(), app.help().c_str());
    return 2;
}

int Convert(const CLI::App& app, const std::string& in, const std::string& out)
{
    if (KindOf(in) == FileKind::Unknown)
        return UsageError(app, "cannot read '" + in + "': quillo reads .abd, .dxf and .rok files");
    if (!CanWrite(KindOf(out)))
        return UsageError(app, "cannot write '" + out + "': quillo writes .abd and .dxf files");
    BatchScene scene;
    if (!ReadFileInto(*scene.doc, in) || !WriteFileFrom(*scene.doc, out))
        return 1;
    return 0;
}

int Describe(const std::string& path)
{
    BatchScene scene;
    CBodyDoc& doc = *scene.doc;
    if (!path.empty() && !ReadFileInto(doc, path))
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

namespace {

bool ParseSize(const std::string& text, int& width, int& height)
{
    char x = 0;
    char rest = 0;
    return std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &rest) == 3 && (x == 'x' || x == 'X') &&
           width > 0 && height > 0 && width <= 8192 && height <= 8192;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, const RenderBackend& render)
{
    CLI::App app{"Quillomark: a viewer for 3D character models.", "quillo"};
    app.set_version_flag("--version", std::string(kProgramName) + " " + kProgramVersion, "Print the version and exit");
    std::vector<std::string> convert;
    app.add_option("--convert", convert,
                   "Read IN (.abd, .dxf, .rok) and write OUT (.abd, .dxf); the types come from the extensions")
        ->expected(2)
        ->type_name("IN OUT");
    std::vector<std::string> renderFiles;
    app.add_option("--render", renderFiles, "Draw IN without a display and write the picture to OUT.png")
        ->expected(2)
        ->type_name("IN OUT.png");
    std::string size = "640x480";
    app.add_option("--size", size, "With --render: the picture's size")->type_name("WxH")->capture_default_str();
    int frames = 1;
    app.add_option("--frames", frames, "With --render: the number of frames drawn, the last one kept")
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    std::vector<std::string> sets;
    app.add_option("--set", sets, "With --render: a view option for this run only (any switch or numeric key)")
        ->type_name("KEY=VALUE");
    std::string settingsFile;
    app.add_option("--settings", settingsFile, "The settings file to use instead of the usual one")
        ->type_name("FILE");
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
    if (!convert.empty() && !renderFiles.empty())
        return UsageError(app, "--convert and --render are separate runs");
    const bool renderOnly = app.count("--size") || app.count("--frames") || !sets.empty();
    if (renderOnly && renderFiles.empty())
        return UsageError(app, "--size, --frames and --set go with --render");
    if (!convert.empty()) {
        if (!file.empty())
            return UsageError(app, "--convert takes no other file");
        return Convert(app, convert[0], convert[1]);
    }
    if (!renderFiles.empty()) {
        if (!file.empty())
            return UsageError(app, "--render takes no other file");
        RenderRequest request;
        request.in = renderFiles[0];
        request.out = renderFiles[1];
        request.frames = frames;
        request.settingsFile = settingsFile;
        if (!ParseSize(size, request.width, request.height))
            return UsageError(app, "--size wants WIDTHxHEIGHT, for instance 800x600");
        if (KindOf(request.in) == FileKind::Unknown)
            return UsageError(app, "cannot read '" + request.in + "': quillo reads .abd, .dxf and .rok files");
        for (const std::string& set : sets) {
            const size_t eq = set.find('=');
            const std::string key = set.substr(0, eq);
            if (eq == std::string::npos || !ViewOptions::SectionOf(key))
                return UsageError(app, "--set wants KEY=VALUE with a view option's key, not '" + set + "'");
            request.settings.emplace_back(key, set.substr(eq + 1));
        }
        return render(request);
    }
    return Describe(file);
}

} // namespace qm
