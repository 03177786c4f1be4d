// Drives the built quillo binary the way scripts and users do.
#include <cstdlib>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/Files.h"
#include "platform/Messages.h"
#include "resources/Strings.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"

namespace qm {
namespace {

using test::FileText;

struct RunResult {
    int status = -1;
    std::string out, err;
};

class CommandLineTest : public ::testing::Test {
  protected:
    // The headless executable runs every batch mode, and describes a scene
    // where quillo would open the viewer.
    RunResult QuilloHeadless(const std::string& args) { return Run(QUILLO_RENDER_BIN, args); }
    RunResult Quillo(const std::string& args) { return Run(QUILLO_BIN, args); }
    RunResult Run(const std::string& program, const std::string& args)
    {
        const std::string out = (dir / "stdout"), err = (dir / "stderr");
        const int raw = std::system((program + " " + args + " >" + out + " 2>" + err + " </dev/null").c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, FileText(out), FileText(err)};
    }

    // A scene of the given number of vertices, the first four making one quad,
    // seen from distance 77.
    std::string WriteScene(const std::string& name, int vertices)
    {
        RecordingMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        doc.vertexCount = vertices;
        doc.polygonCount = vertices >= 4 ? 1 : 0;
        doc.GrowMesh();
        for (int i = 0; i < vertices; ++i)
            doc.restVertices[size_t(i)] = Vec3(float(i & 1) + float(i / 4), float((i >> 1) & 1), 0);
        doc.polygonCorners[0] = {0, 1, 3, 2};
        doc.RecomputeNormals();
        doc.ViewState().cameraDistance = 77.0f;
        const std::string path = (dir / name);
        EXPECT_TRUE(SaveSceneFile(doc, path));
        return path;
    }

    test::TempFolder dir;
};

TEST_F(CommandLineTest, ConvertCopiesScenesSilentlyAndThroughDxf)
{
    const std::string in = WriteScene("in.ABD", 4); // extensions in any case
    RunResult run = Quillo("--convert " + in + " " + (dir / "out.abd"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(FileText(dir / "out.abd"), FileText(in));

    run = Quillo("--convert " + in + " " + (dir / "quad.DXF"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(FileText(dir / "quad.DXF").find("3DFACE"), std::string::npos);
    run = Quillo("--convert " + (dir / "quad.DXF") + " " + (dir / "back.abd"));
    ASSERT_EQ(run.status, 0) << run.err;
    RecordingMessages messages;
    CBodyDoc doc(messages);
    ASSERT_EQ(LoadSceneFile(doc, dir / "back.abd"), LoadResult::Ok);
    EXPECT_EQ(doc.polygonCount, 1);
    EXPECT_EQ(doc.vertexCount, 4); // corners welded back into four vertices

    // Through each model format written, and drawn from one.
    const struct {
        const char* name;
        int polygons;
    } models[] = {{"quad.obj", 1}, {"quad.ply", 1}, {"quad.glb", 2}, {"quad.gltf", 2}, {"quad.stl", 2}};
    for (const auto& m : models) {
        run = Quillo("--convert " + in + " " + (dir / m.name));
        ASSERT_EQ(run.status, 0) << m.name << run.err;
        run = Quillo("--convert " + (dir / m.name) + " " + (dir / "back.abd"));
        ASSERT_EQ(run.status, 0) << m.name << run.err;
        ASSERT_EQ(LoadSceneFile(doc, dir / "back.abd"), LoadResult::Ok);
        EXPECT_EQ(doc.polygonCount, m.polygons) << m.name;  // glTF and STL hold triangles only
        EXPECT_EQ(doc.vertexCount, 4) << m.name;
    }

    // The desktop's thumbnailer entry, as a file manager runs it for a 48-pixel picture.
    std::string exec = FileText(QM_THUMBNAILER);
    exec = exec.substr(exec.find("\nExec=quillo-render") + 19);
    exec = QUILLO_RENDER_BIN + exec.substr(0, exec.find('\n'));
    for (const auto& [field, value] : {std::pair<std::string, std::string>{"%i", dir / "quad.glb"},
                                       {"%o", dir / "thumbnail"}, {"%s", "48"}, {"%s", "48"}})
        exec.replace(exec.find(field), 2, value);
    run = Run(exec, "");
    EXPECT_EQ(run.status, 0) << exec << run.err;
    EXPECT_EQ(FileText(dir / "thumbnail").substr(16, 8), std::string("\0\0\0\x30\0\0\0\x30", 8)) << "48 by 48";
}

TEST_F(CommandLineTest, FailedReadsAndWritesExitOneWithTheMessage)
{
    const std::string missing = (dir / "missing.abd"), bad = (dir / "bad.abd"), in = WriteScene("in.abd", 1);
    test::SetFileText(bad, "\x0bVURizu(009)");
    test::SetFileText(dir / "bad.glb", "glTF but not really");
    const struct {
        std::string args, err;
    } cases[] = {
        {"--convert " + missing + " " + (dir / "out.abd"), missing + strings::kCannotOpen},
        {"--convert " + bad + " " + (dir / "out.abd"), strings::kBadFormat},
        {"--convert " + in + " " + (dir / "no/such/folder/out.abd"),
         (dir / "no/such/folder/out.abd") + strings::kCannotWrite},
        {"--render " + missing + " " + (dir / "out.png"), missing + strings::kCannotOpen},
        {"--convert " + (dir / "bad.glb") + " " + (dir / "out.abd"), strings::kBadFormat},
    };
    for (const auto& c : cases) {
        const RunResult run = Quillo(c.args);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err + "\n");
    }
}

TEST_F(CommandLineTest, UsageErrorsExitTwo)
{
    const std::string in = WriteScene("in.abd", 1), png = dir / "out.png";
    for (const std::string& args :
         {"--convert " + in, "--convert " + in + " out.xyz", std::string("--convert in.xyz out.abd"),
          std::string("--frobnicate"), "--convert " + in + " " + (dir / "quad.rok"), // ROK and FBX are read only
          "--convert " + in + " " + (dir / "quad.fbx"),
          "--render " + in + " " + png + " --set NoSuchKey=1", "--render " + in + " " + png + " --size 320by200",
          "--convert " + in + " " + (dir / "o.abd") + " --frames 2"}) {
        const RunResult run = Quillo(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find("Usage: quillo"), std::string::npos) << args;
    }
    EXPECT_FALSE(std::filesystem::exists("out.xyz"));

    RunResult run = Quillo("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--convert"), std::string::npos);
    run = Quillo("--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Quillomark 1.33 FR\n");
#ifdef QM_WITH_VIEWER
    // The viewer without a display says so instead of failing inside the toolkit.
    run = Run(std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + QUILLO_BIN, in);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("needs a display"), std::string::npos) << run.err;
#endif
}

TEST_F(CommandLineTest, CommandsRunInOrderAfterTheFileIsOpened)
{
    const std::string in = WriteScene("quad.abd", 4), out = dir / "out.abd", ini = dir / "quillo.ini";
    // Front view, flip, group binding off, and a shadow switch that a viewer
    // would write to the settings file.
    RunResult run = Quillo("--convert " + in + " " + out + " --command 32816 --command 32837 --command 32821 " +
                           "--command 32815 --settings " + ini);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    RecordingMessages messages;
    CBodyDoc doc(messages);
    ASSERT_EQ(LoadSceneFile(doc, out), LoadResult::Ok);
    EXPECT_EQ(doc.ViewState().cameraAzimuth, -1.5707965f);
    EXPECT_EQ(doc.ViewState().cameraDistance, 77.0f) << "the file was read before the commands ran";
    EXPECT_FALSE(doc.ViewState().groupBinding);
    EXPECT_EQ(doc.polygonCorners[0], (PolygonCorners{3, 1, 0, 2}));
    EXPECT_FALSE(std::filesystem::exists(ini)) << "settings are read, never written";

    // Mirroring wants the skeleton edit mode, which an earlier command can give.
    std::filesystem::remove(out);
    run = Quillo("--convert " + in + " " + out + " --command 32819");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--command 32819: the command is disabled"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out)) << "nothing written after a refused command";
    run = Quillo("--convert " + in + " " + out + " --command 32813 --command 32819");
    EXPECT_EQ(run.status, 0) << run.err;

    run = QuilloHeadless("--command 32845 " + in);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("skeleton: 60 nodes, 50 links"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("distance 77"), std::string::npos) << run.out;

    const struct {
        std::string args, message;
    } refused[] = {
        {"--command 99999", "--command 99999: no command has this id"},
        {"--command 32812 " + in, "--command 32812: this command needs the viewer window"},
        {"--command 57601", "this command needs the viewer window"},
        {"--command 32839", "--command 32839: the command is disabled"}, // nothing is selected in a batch run
        {"--command x", "--command"},
    };
    for (const auto& r : refused) {
        run = QuilloHeadless(r.args);
        EXPECT_EQ(run.status, 2) << r.args;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CommandLineTest, RenderWritesAPictureWithTheCommandsAndLeavesTheSettingsAlone)
{
    const std::string in = WriteScene("in.abd", 4), ini = dir / "quillo.ini";
    const std::string common = " --size 320x200 --frames 3 --set DrawCount=0 --settings " + ini;
    auto picture = [&](const std::string& commands) {
        const std::string png = dir / "out.png";
        std::filesystem::remove(png);
        const RunResult run = Quillo("--render " + in + " " + png + common + commands);
        EXPECT_EQ(run.status, 0) << commands << ": " << run.err;
        EXPECT_EQ(run.out, "");
        return FileText(png);
    };
    const std::string plain = picture("");
    ASSERT_GT(plain.size(), 24u);
    EXPECT_EQ(plain.substr(1, 3), "PNG");
    EXPECT_EQ(plain.substr(16, 8), std::string("\0\0\x01\x40\0\0\0\xc8", 8)) << "320 by 200";
    EXPECT_NE(picture(" --command 32835"), plain) << "the overlay switched on shows";
    EXPECT_EQ(picture(" --command 32835 --command 32835"), plain) << "and off again";
    EXPECT_FALSE(std::filesystem::exists(ini)); // read, never written

    const RunResult run =
        Quillo("--render " + in + " " + (dir / "x.png") + common + " --command 32833 --command 32829");
    EXPECT_EQ(run.status, 2) << "motion blur is greyed while anti-aliasing is on";
    EXPECT_NE(run.err.find("--command 32829: the command is disabled"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

} // namespace
} // namespace qm
