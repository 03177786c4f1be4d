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
        const std::string command = program + " " + args + " >" + out + " 2>" + err + " </dev/null";
        RunResult run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        ReadWholeFile(out, run.out);
        ReadWholeFile(err, run.err);
        return run;
    }

    std::string WriteScene(const std::string& name, int vertices)
    {
        RecordingMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        for (int i = 0; i < vertices; ++i) {
            doc.vertexCount++;
            doc.GrowMesh();
            doc.restVertices[size_t(i)] = Vec3(float(i), 1, 2);
        }
        doc.RecomputeNormals();
        const std::string path = (dir / name);
        EXPECT_TRUE(SaveSceneFile(doc, path));
        return path;
    }

    test::TempFolder dir;
};

TEST_F(CommandLineTest, ConvertCopiesSceneSilentlyAndExactly)
{
    const std::string in = WriteScene("in.ABD", 3);  // extensions in any case
    const std::string out = (dir / "out.abd");
    const RunResult run = Quillo("--convert " + in + " " + out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    std::string a, b;
    ASSERT_EQ(ReadWholeFile(in, a), FileRead::Ok);
    ASSERT_EQ(ReadWholeFile(out, b), FileRead::Ok);
    EXPECT_EQ(a, b);
}

TEST_F(CommandLineTest, FailedReadsAndWritesExitOneWithTheMessage)
{
    const std::string missing = (dir / "missing.abd");
    RunResult run = Quillo("--convert " + missing + " " + (dir / "out.abd"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, missing + strings::kCannotOpen + "\n");

    const std::string bad = (dir / "bad.abd");
    test::SetFileText(bad, "\x0bVURizu(009)");
    run = Quillo("--convert " + bad + " " + (dir / "out.abd"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string(strings::kBadFormat) + "\n");

    const std::string in = WriteScene("in.abd", 1);
    run = Quillo("--convert " + in + " " + (dir / "no/such/folder/out.abd"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, (dir / "no/such/folder/out.abd") + strings::kCannotWrite + "\n");
}

TEST_F(CommandLineTest, ConvertsThroughDxf)
{
    RecordingMessages messages;
    CBodyDoc doc(messages);
    doc.ResetScene();
    for (Vec3 v : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0)}) {
        doc.restVertices[size_t(doc.vertexCount++)] = v;
        doc.GrowMesh();
    }
    doc.polygonCorners[0] = {0, 1, 2, 3};
    doc.polygonColour[0] = 5;
    doc.polygonCount = 1;
    doc.RecomputeNormals();
    ASSERT_TRUE(SaveSceneFile(doc, dir / "quad.abd"));

    RunResult run = Quillo("--convert " + (dir / "quad.abd") + " " + (dir / "quad.DXF"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(FileText(dir / "quad.DXF").find("3DFACE"), std::string::npos);
    run = Quillo("--convert " + (dir / "quad.DXF") + " " + (dir / "back.abd"));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(LoadSceneFile(doc, dir / "back.abd"), LoadResult::Ok);
    EXPECT_EQ(doc.polygonCount, 1);
    EXPECT_EQ(doc.vertexCount, 4);  // corners welded back into four vertices

    run = Quillo("--convert " + (dir / "quad.abd") + " " + (dir / "quad.rok"));  // ROK is read only
    EXPECT_EQ(run.status, 2);
}

TEST_F(CommandLineTest, UsageErrorsExitTwo)
{
    const std::string in = WriteScene("in.abd", 1);
    for (const std::string& args : {std::string("--convert ") + in, "--convert " + in + " out.xyz",
                                    std::string("--convert in.xyz out.abd"), std::string("--frobnicate")}) {
        SCOPED_TRACE(args);
        const RunResult run = Quillo(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("Usage: quillo"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists("out.xyz"));

    RunResult run = Quillo("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--convert"), std::string::npos);
#ifdef QM_WITH_VIEWER
    // The viewer without a display says so instead of failing inside the toolkit.
    run = Run(std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + QUILLO_BIN, in);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("needs a display"), std::string::npos) << run.err;
#endif

    run = Quillo("--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Quillomark 1.33 FR\n");
}

TEST_F(CommandLineTest, RenderWritesAPictureAndLeavesTheSettingsAlone)
{
    const std::string in = WriteScene("in.abd", 4);
    const std::string png = dir / "out.png", ini = dir / "quillo.ini";
    RunResult run = Quillo("--render " + in + " " + png + " --size 320x200 --frames 3 --set DrawCount=0 --settings " +
                           ini);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(png, bytes), FileRead::Ok);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (uint8_t(bytes[at]) << 24) | (uint8_t(bytes[at + 1]) << 16) | (uint8_t(bytes[at + 2]) << 8) |
               uint8_t(bytes[at + 3]);
    };
    EXPECT_EQ(be32(16), 320u);
    EXPECT_EQ(be32(20), 200u);
    EXPECT_FALSE(std::filesystem::exists(ini));  // read, never written

    for (const std::string& args : {"--render " + in + " " + png + " --set NoSuchKey=1",
                                    "--render " + in + " " + png + " --size 320by200",
                                    "--convert " + in + " " + (dir / "o.abd") + " --frames 2"}) {
        SCOPED_TRACE(args);
        run = Quillo(args);
        EXPECT_EQ(run.status, 2);
    }
    run = Quillo("--render " + (dir / "missing.abd") + " " + png);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, (dir / "missing.abd") + strings::kCannotOpen + "\n");
}

TEST_F(CommandLineTest, CommandsRunInOrderAfterTheFileIsOpened)
{
    // One quad, so that flipping the polygons shows in the file.
    {
        RecordingMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        for (int i = 0; i < 4; ++i) {
            doc.vertexCount++;
            doc.GrowMesh();
            doc.restVertices[size_t(i)] = Vec3(float(i & 1), float(i >> 1), 0);
        }
        doc.polygonCount = 1;
        doc.GrowMesh();
        doc.polygonCorners[0] = {0, 1, 3, 2};
        doc.RecomputeNormals();
        doc.ViewState().cameraDistance = 77.0f;
        ASSERT_TRUE(SaveSceneFile(doc, dir / "quad.abd"));
    }
    const std::string in = dir / "quad.abd", out = dir / "out.abd", ini = dir / "quillo.ini";
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
    EXPECT_EQ(doc.ViewState().cameraElevation, 0.0f);
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
        SCOPED_TRACE(r.args);
        run = QuilloHeadless(r.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CommandLineTest, RenderRunsCommandsOnTheOptionsItDrawsWith)
{
    const std::string in = WriteScene("in.abd", 4), ini = dir / "quillo.ini";
    const std::string common = " --size 160x120 --set DrawCount=0 --settings " + ini;
    auto picture = [&](const std::string& commands) {
        const std::string png = dir / "out.png";
        std::filesystem::remove(png);
        const RunResult run = Quillo("--render " + in + " " + png + common + commands);
        EXPECT_EQ(run.status, 0) << commands << ": " << run.err;
        std::string bytes;
        ReadWholeFile(png, bytes);
        return bytes;
    };
    const std::string plain = picture("");
    ASSERT_FALSE(plain.empty());
    EXPECT_NE(picture(" --command 32835"), plain) << "the overlay switched on shows";
    EXPECT_EQ(picture(" --command 32835 --command 32835"), plain) << "and off again";
    EXPECT_FALSE(std::filesystem::exists(ini));

    const RunResult run = Quillo("--render " + in + " " + (dir / "x.png") + common + " --command 32833 --command 32829");
    EXPECT_EQ(run.status, 2) << "motion blur is greyed while anti-aliasing is on";
    EXPECT_NE(run.err.find("--command 32829: the command is disabled"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

} // namespace
} // namespace qm
