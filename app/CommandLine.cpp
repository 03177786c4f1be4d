#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include <CLI/CLI.hpp>

#include "platform/Files.h"
#include "platform/IniFileSettings.h"
#include "platform/Messages.h"
#include "platform/SettingsLocation.h"
#include "platform/Translation.h"
#include "resources/Strings.h"
#include "render/FrameMemory.h"
#include "resources/Version.h"
#include "scene/BodyDoc.h"
#include "app/FileKinds.h"
#include "formats/ModelFiles.h"
#include "view/BodyView.h"
#include "view/ViewOptions.h"

namespace qm {

namespace {

// A run that finds no memory for its work says so and fails, as a file that
// cannot be read does.
int FailingWhenOutOfMemory(const std::function<int()>& run)
{
    try {
        return run();
    } catch (const std::bad_alloc&) {
        StderrMessages().ShowMessage(strings::kOutOfMemory);
        return 1;
    }
}

// ".a, .b and .c" with the last word in the user's language.
std::string Listed(const std::string& list)
{
    const size_t last = list.rfind(" and ");
    return last == std::string::npos ? list : TrFill("%s and %s", {list.substr(0, last), list.substr(last + 5)});
}

std::string Readable()
{
    return Listed(".abd, .dxf, .rok, " + ListExtensions(kModelImportExtensions));
}

std::string Writable()
{
    return Listed(".abd, .dxf, " + ListExtensions(kModelExportExtensions));
}

// The help's own words in the user's language; "INT:INT in [...]" is how the
// parser names --frames' values.
void TranslateHelp(CLI::App& app)
{
    for (const char* label : {QM_TEXT("Usage"), QM_TEXT("OPTIONS"), QM_TEXT("Positionals"), QM_TEXT("TEXT"),
                              QM_TEXT("INT:INT in [1 - 100000]")})
        app.get_formatter()->label(label, Tr(label));
    app.get_help_ptr()->description(Tr("Print this help message and exit"))->group(Tr("Options"));
    app.option_defaults()->group(Tr("Options"));
}

// The parser's refusals, in the user's language: what is wrong, and the
// option or the words that the parser names ("--frames: ...", "... expected: b").
std::string ParseErrorText(const CLI::ParseError& e)
{
    const std::string what = e.what();
    const size_t colon = what.find(": ");
    if (colon == std::string::npos)
        return what;
    const std::string option = what.substr(0, colon), words = what.substr(colon + 2);
    if (dynamic_cast<const CLI::ExtrasError*>(&e))
        return TrFill("unexpected arguments: %s", {words});
    if (dynamic_cast<const CLI::ConversionError*>(&e))
        return TrFill("not a number: %s", {words});
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
        return TrFill("%s: wrong number of values", {option});
    if (dynamic_cast<const CLI::ValidationError*>(&e))
        return TrFill("%s: value out of range", {option});
    return what;
}

int UsageError(const CLI::App& app, const std::string& what)
{
    std::fprintf(stderr, "quillo: %s\n\n%s", what.c_str(), app.help().c_str());
    return 2;
}

// The view that --command needs over a batch scene. It is made before the
// file is read, so that the file's camera and light land in its state; it
// reads the settings and never writes them.
class BatchView {
public:
    BatchView(CBodyDoc& doc, const std::string& settingsFile)
        : settings_(OpenProgramSettings(settingsFile, SettingsAccess::ReadOnly)), view_(doc, *settings_)
    {
    }
    CBodyView& View() { return view_; }

private:
    std::unique_ptr<IniFileSettings> settings_;
    CBodyView view_;
};

struct BatchCommands {
    std::vector<int> ids;
    std::string settingsFile;
};

// A batch scene, with a view over it while there are commands to run: the
// document keeps the view's state only as long as the view lives.
struct ViewedBatchScene {
    BatchScene scene;
    std::optional<BatchView> view;

    // Reads path (unless empty) and runs the commands after it. Returns the
    // exit status so far: 0 to go on.
    int Open(const std::string& path, const BatchCommands& commands)
    {
        // A model file brings no camera: as the viewer opens it, from the
        // front and framed, so that a scene written from it opens that way.
        const bool model = !path.empty() && KindOf(path) == FileKind::Model;
        if (!commands.ids.empty() || model)
            view.emplace(*scene.doc, commands.settingsFile);
        if (!path.empty() && !ReadFileInto(*scene.doc, path))
            return 1;
        if (model) {
            view->View().Execute(kCmdFrontView);
            view->View().Execute(kCmdFitModel);
        }
        return view ? RunBatchCommands(view->View(), commands.ids) : 0;
    }
};

// Writing over the file being read, or over a file that its reading reads,
// would lose it.
int RefuseToOverwriteInput(const std::string& in, const std::string& out, FileKind kind)
{
    for (const std::string& file : FilesWritten(out, kind)) {
        if (ReadingMayRead(in, file)) {
            StderrMessages().ShowMessage({strings::kCannotWrite, FullPath(file)});
            return 1;
        }
    }
    return 0;
}

int Convert(const CLI::App& app, const std::string& in, const std::string& out, const BatchCommands& commands)
{
    if (KindOf(in) == FileKind::Unknown)
        return UsageError(app, TrFill("cannot read '%s': quillo reads %s files", {in, Readable()}));
    if (!CanWrite(out))
        return UsageError(app, TrFill("cannot write '%s': quillo writes %s files", {out, Writable()}));
    if (const int status = RefuseToOverwriteInput(in, out, KindByName(out)))
        return status;
    ViewedBatchScene batch;
    if (const int status = batch.Open(in, commands))
        return status;
    return WriteFileAs(*batch.scene.doc, out, KindByName(out)) ? 0 : 1;
}

// Whether a picture may be written to name: a ".png" name, or an empty file
// made for it (file managers hand their thumbnailers such temporary files,
// named as they please), where nothing can be lost.
bool MayHoldPng(std::string name)
{
    struct stat st {};
    if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
        return true;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
}

std::string NoSuchCommand(int id)
{
    return TrFill("--command %s: no command has this id", {std::to_string(id)});
}

// Whether every --command id is one the view runs; the desktop's own
// commands need the viewer window.
std::optional<std::string> CommandsOutsideTheView(const std::vector<int>& ids)
{
    for (const int id : ids) {
        if (!IsKnownCommand(id))
            return NoSuchCommand(id);
        if (!CBodyView::Handles(id))
            return TrFill("--command %s: this command needs the viewer window", {std::to_string(id)});
    }
    return std::nullopt;
}

// A positive whole number of at most five digits at the start of text; text
// is moved past it.
bool TakeDimension(std::string_view& text, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || end - text.data() > 5 || value <= 0)
        return false;
    text.remove_prefix(size_t(end - text.data()));
    return true;
}

// WIDTHxHEIGHT.
bool ParseSize(std::string_view text, int& width, int& height)
{
    if (!TakeDimension(text, width) || text.empty() || (text[0] != 'x' && text[0] != 'X'))
        return false;
    text.remove_prefix(1);
    return TakeDimension(text, height) && text.empty();
}

// The whole of text is one finite number.
bool IsNumber(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && !std::isspace(static_cast<unsigned char>(text[0])) && *end == '\0' &&
           std::isfinite(value);
}

} // namespace

int DescribeScene(const ViewerRequest& request)
{
    const std::string& path = request.file;
    ViewedBatchScene batch;
    if (const int status = batch.Open(path, BatchCommands{request.commands, request.settingsFile}))
        return status;
    const CBodyDoc& doc = *batch.scene.doc;
    int nodes = 0, links = 0;
    for (const SceneNode& n : doc.pools.nodes)
        nodes += n.inUse ? 1 : 0;
    for (const SceneLink& l : doc.pools.links)
        links += l.inUse ? 1 : 0;
    const SceneViewState& view = doc.ViewState();
    const auto g = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", value);
        return std::string(text);
    };
    const std::string lines[] = {
        std::string(kProgramName) + " " + kProgramVersion,
        Tr("Without a window; this is the scene the viewer would show:"),
        TrFill("  scene:    %s", {path.empty() ? Tr("new") : path}),
        TrFill("  mesh:     %s poly / %s vertex", {std::to_string(doc.polygonCount), std::to_string(doc.vertexCount)}),
        TrFill("  skeleton: %s nodes, %s links", {std::to_string(nodes), std::to_string(links)}),
        TrFill("  camera:   distance %s, target (%s, %s, %s)",
               {g(view.cameraDistance), g(view.cameraTarget.x), g(view.cameraTarget.y), g(view.cameraTarget.z)})};
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

int RunCommandLine(int argc, const char* const* argv, const RenderBackend& render, const ViewerBackend& viewer)
{
    const Translations translations;
    CLI::App app{Tr("Quillomark: a viewer for 3D character models."), "quillo"};
    TranslateHelp(app);
    app.set_version_flag("--version", std::string(kProgramName) + " " + kProgramVersion,
                         Tr("Print the version and exit"))
        ->group(Tr("Options"));
    std::vector<std::string> convert;
    app.add_option("--convert", convert,
                   TrFill("Read IN (%s) and write OUT (%s); the types come from the extensions (IN's, where it has "
                          "none, from its first bytes)",
                          {Readable(), Writable()}))
        ->expected(2)
        ->type_name("IN OUT");
    std::vector<std::string> renderFiles;
    app.add_option("--render", renderFiles, Tr("Draw IN without a display and write the picture to OUT.png"))
        ->expected(2)
        ->type_name("IN OUT.png");
    std::string size = "640x480";
    app.add_option("--size", size, Tr("With --render: the picture's size"))->type_name("WxH")->capture_default_str();
    int frames = RenderRequest{}.frames;
    app.add_option("--frames", frames, Tr("With --render: the number of frames drawn, the last one kept"))
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    const std::string fitText = TrFill("With --render: frame the model as \"%s\" does instead of using the scene's "
                                       "camera; mesh and model files, which have none, are always framed",
                                       {Tr("Cadrer le modèle")});
    const CLI::Option* fit = app.add_flag("--fit", fitText);
    double timeout = 0.0;
    app.add_option("--timeout", timeout,
                   Tr("With --render: give up (exit 1) after this many seconds, also in the middle of a drawing"))
        ->type_name("S")
        ->check(CLI::PositiveNumber);
    std::vector<std::string> sets;
    app.add_option("--set", sets, Tr("With --render: a view option for this run only (any switch or numeric key)"))
        ->type_name("KEY=VALUE");
    std::string settingsFile;
    app.add_option("--settings", settingsFile, Tr("The settings file to use instead of the usual one"))
        ->type_name("FILE");
    std::vector<int> commandIds;
    app.add_option("--command", commandIds,
                   Tr("Run a command of the view by its id after the file is opened; repeat it to run several in "
                      "order"))
        ->type_name("ID")
        ->allow_extra_args(false);
    std::string file;
    app.add_option("FILE", file, Tr("A scene to open"));
    app.footer(Tr("Exit status: 0 done, 1 a file could not be read or written or a command could not do its work, 2 a usage error."));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)  // --help, --version
            return app.exit(e);
        return UsageError(app, translations.Language().empty() ? std::string(e.what()) : ParseErrorText(e));
    }
    if (!convert.empty() && !renderFiles.empty())
        return UsageError(app, Tr("--convert and --render are separate runs"));
    const bool renderOnly =
        app.count("--size") || app.count("--frames") || app.count("--timeout") || !sets.empty() || fit->count();
    if (renderOnly && renderFiles.empty())
        return UsageError(app, Tr("--size, --frames, --timeout, --set and --fit go with --render"));
    const bool viewerRun = convert.empty() && renderFiles.empty();
    for (const int id : commandIds)
        if (viewerRun && !IsKnownCommand(id))
            return UsageError(app, NoSuchCommand(id));
    if (const std::optional<std::string> outside = CommandsOutsideTheView(commandIds); outside && !viewerRun)
        return UsageError(app, *outside);
    const BatchCommands commands{commandIds, settingsFile};
    if (!convert.empty()) {
        if (!file.empty())
            return UsageError(app, Tr("--convert takes no other file"));
        return FailingWhenOutOfMemory([&] { return Convert(app, convert[0], convert[1], commands); });
    }
    if (!renderFiles.empty()) {
        if (!file.empty())
            return UsageError(app, Tr("--render takes no other file"));
        RenderRequest request;
        request.in = renderFiles[0];
        request.out = renderFiles[1];
        request.frames = frames;
        request.timeout = timeout;
        request.settingsFile = settingsFile;
        request.commands = commandIds;
        if (!ParseSize(size, request.width, request.height))
            return UsageError(app, Tr("--size wants WIDTHxHEIGHT, for instance 800x600"));
        if (WorstCaseFrameBytes(request.width, request.height) > kFrameMemoryLimit)
            return UsageError(app, TrFill("--size %s could need more than 1 GB with every effect on; 4095x4095 is "
                                          "the largest square",
                                          {size}));
        if (KindOf(request.in) == FileKind::Unknown)
            return UsageError(app, TrFill("cannot read '%s': quillo reads %s files", {request.in, Readable()}));
        if (!MayHoldPng(request.out))
            return UsageError(app, TrFill("--render writes a PNG picture: name it '.png', not '%s'", {request.out}));
        request.fit = fit->count() > 0 || KindOf(request.in) != FileKind::Scene;
        for (const std::string& set : sets) {
            const size_t eq = set.find('=');
            const std::string key = set.substr(0, eq);
            if (eq == std::string::npos || !ViewOptions::SectionOf(key) || !IsNumber(set.substr(eq + 1)))
                return UsageError(app, TrFill("--set wants KEY=VALUE with a view option's key and a number, not '%s'",
                                              {set}));
            request.settings.emplace_back(key, set.substr(eq + 1));
        }
        if (const int status = RefuseToOverwriteInput(request.in, request.out, FileKind::Unknown))
            return status;
        return FailingWhenOutOfMemory([&] { return render(request); });
    }
    return FailingWhenOutOfMemory([&] { return viewer(ViewerRequest{file, settingsFile, commandIds}); });
}

int RunBatchCommands(CBodyView& view, const std::vector<int>& commands)
{
    for (const int id : commands) {
        std::optional<std::string> problem = CommandsOutsideTheView({id});
        if (!problem && !view.Execute(id))
            problem = TrFill("--command %s: the command is disabled at this point, as its menu item would be greyed",
                             {std::to_string(id)});
        if (problem) {
            std::fprintf(stderr, "quillo: %s\n", problem->c_str());
            return 2;
        }
        if (view.LastCommandRefused())
            return 1;  // the command has said why
    }
    return 0;
}

} // namespace qm
