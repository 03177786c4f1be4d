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
    RunResult Quillo(const std::string& args)
    {
        const std::string out = (dir / "stdout"), err = (dir / "stderr");
        const std::string command = std::string(QUILLO_BIN) + " " + args + " >" + out + " 2>" + err + " </dev/null";
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

} // namespace
} // namespace qm
