// Drives the built quillo binary the way scripts and users do.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include "PngPicture.h"
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

std::string Repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

std::string Base64(const std::string& bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | (left > 1 ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0) |
                           (left > 2 ? uint8_t(bytes[i + 2]) : 0);
        for (size_t k = 0; k < 4; ++k)
            text += k <= left ? kDigits[(n >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

// A grey PNG picture of width x height, compressed as it is made.
std::string GreyPng(uint32_t width, uint32_t height)
{
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string c(4, '\0');
        for (int i = 0; i < 4; ++i)
            c[size_t(i)] = char(data.size() >> (24 - 8 * i));
        const uint32_t crc = uint32_t(crc32(crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4),
                                            reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
        std::string tail(4, '\0');
        for (int i = 0; i < 4; ++i)
            tail[size_t(i)] = char(crc >> (24 - 8 * i));
        return c + type + data + tail;
    };
    std::string header(13, '\0');
    for (int i = 0; i < 4; ++i)
        header[size_t(i)] = char(width >> (24 - 8 * i)), header[size_t(4 + i)] = char(height >> (24 - 8 * i));
    header[8] = 8;
    z_stream z{};
    deflateInit(&z, 9);
    const std::string row = '\0' + std::string(width, '\x80');
    std::string packed, out(1 << 16, '\0');
    for (uint32_t y = 0; y <= height; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
        z.avail_in = y < height ? uInt(row.size()) : 0;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            deflate(&z, y < height ? Z_NO_FLUSH : Z_FINISH);
            packed.append(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

// A glTF file of one triangle (with texture coordinates) under each of the
// nodes, and an image per entry of images, each on its own triangle.
std::string Gltf(const std::string& nodes = R"([{"mesh":0}])", const std::string& accessor = "",
                 const std::vector<std::string>& images = {}, const std::string& buffer = "")
{
    static const float kData[15] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1};
    const std::string data = "data:application/octet-stream;base64," +
                             Base64(std::string(reinterpret_cast<const char*>(kData), sizeof kData));
    std::string imageList, materials, meshes = R"({"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1}}]})";
    for (size_t i = 0; i < images.size(); ++i) {
        const std::string sep = i ? "," : "", n = std::to_string(i);
        imageList += sep + R"({"uri":")" + images[i] + "\"}";
        materials += sep + R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":)" + n + "}}}";
        meshes += R"(,{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"material":)" + n + "}]}";
    }
    std::string textures;
    for (size_t i = 0; i < images.size(); ++i)
        textures += (i ? "," : "") + std::string(R"({"source":)") + std::to_string(i) + "}";
    std::string placed = nodes, roots = "0";
    if (!images.empty()) {
        placed = "[";
        for (size_t i = 0; i <= images.size(); ++i) {
            placed += (i ? "," : "") + std::string(R"({"mesh":)") + std::to_string(i) + "}";
            roots += i ? "," + std::to_string(i) : "";
        }
        placed += "]";
    }
    return R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[)" + roots + R"(]}],"nodes":)" + placed +
           R"(,"meshes":[)" + meshes +
           R"(],"buffers":[{"byteLength":60,"uri":")" + (buffer.empty() ? data : buffer) +
           R"("}],"bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":24}],)" +
           R"("accessors":[)" +
           (accessor.empty() ? R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]})"
                             : accessor) +
           R"(,{"bufferView":1,"componentType":5126,"count":3,"type":"VEC2"}])" +
           (images.empty() ? "" : R"(,"images":[)" + imageList + R"(],"textures":[)" + textures + R"(],"materials":[)" + materials + "]") +
           "}";
}

std::string Collada(const std::string& stride, const std::string& nodes)
{
    return R"(<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">)"
           R"(<library_geometries><geometry id="g"><mesh><source id="p"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array>)"
           R"(<technique_common><accessor source="#pa" count="3" stride=")" + stride +
           R"("><param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source>)"
           R"(<vertices id="v"><input semantic="POSITION" source="#p"/></vertices><triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles></mesh></geometry></library_geometries>)"
           R"(<library_nodes><node id="n"><instance_geometry url="#g"/></node></library_nodes>)"
           R"(<library_visual_scenes><visual_scene id="s">)" + nodes +
           R"(</visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)";
}

class CommandLineTest : public ::testing::Test {
  protected:
    RunResult Quillo(const std::string& args) { return Run(QUILLO_BIN, args); }
    RunResult Run(const std::string& program, const std::string& args)
    {
        const std::string out = (dir / "stdout"), err = (dir / "stderr");
        const int raw = std::system((program + " " + args + " >" + out + " 2>" + err + " </dev/null").c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, FileText(out), FileText(err)};
    }

    // A scene of the given number of vertices, the first four making one quad
    // (and, if asked, a triangle over half of it, stored with a corner
    // repeated apart, as a weld can leave it), seen from distance 77.
    std::string WriteScene(const std::string& name, int vertices, bool triangle = false)
    {
        RecordingMessages messages;
        CBodyDoc doc(messages);
        doc.ResetScene();
        doc.vertexCount = vertices;
        doc.polygonCount = vertices >= 4 ? 1 + triangle : 0;
        doc.GrowMesh();
        for (int i = 0; i < vertices; ++i)
            doc.restVertices[size_t(i)] = Vec3(float(i & 1) + float(i / 4), float((i >> 1) & 1), 0);
        doc.polygonCorners[0] = {0, 1, 3, 2};
        doc.polygonCorners[1] = {1, 0, 3, 0};
        doc.RecomputeNormals();
        doc.ViewState().cameraDistance = 77.0f;
        const std::string path = (dir / name);
        EXPECT_TRUE(SaveSceneFile(doc, path));
        return path;
    }

    // A copy of the scene at from with the float at offset changed.
    std::string Poked(const std::string& from, const std::string& name, size_t offset, float value)
    {
        std::string bytes = FileText(from);
        std::memcpy(&bytes[offset], &value, 4);
        test::SetFileText(dir / name, bytes);
        return dir / name;
    }

    test::TempFolder dir;
};

TEST_F(CommandLineTest, ConvertCopiesScenesSilentlyAndThroughDxf)
{
    const std::string in = WriteScene("in.ABD", 4, true); // extensions in any case
    RunResult run = Quillo("--convert " + in + " " + (dir / "out.abd"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(FileText(dir / "out.abd"), FileText(in));

    // Through DXF (its corners welded back into four vertices) and each model
    // format written, and back; the triangle is one triangle in every format.
    RecordingMessages messages;
    CBodyDoc doc(messages);
    const struct {
        const char* name;
        int polygons;
    } models[] = {{"quad.DXF", 2}, {"quad.obj", 2}, {"quad.ply", 2},
                  {"quad.glb", 3}, {"quad.gltf", 3}, {"quad.stl", 3}};
    for (const auto& m : models) {
        run = Quillo("--convert " + in + " " + (dir / m.name));
        ASSERT_EQ(run.status, 0) << m.name << run.err;
        run = Quillo("--convert " + (dir / m.name) + " " + (dir / "back.abd"));
        ASSERT_EQ(run.status, 0) << m.name << run.err;
        ASSERT_EQ(LoadSceneFile(doc, dir / "back.abd"), LoadResult::Ok);
        EXPECT_EQ(doc.polygonCount, m.polygons) << m.name;  // glTF and STL hold triangles only
        EXPECT_EQ(doc.vertexCount, 4) << m.name;
        // A model file, which has no camera, is stored seen from the front, as the viewer opens it.
        EXPECT_EQ(doc.ViewState().cameraElevation == 0.0f, m.name != std::string("quad.DXF")) << m.name;
    }
    EXPECT_NE(FileText(dir / "quad.obj").find("\nf  4//1 1//1 3//1\n"), std::string::npos);

    // Two solids of an STL file are two vertex groups, also once their corners are welded.
    test::SetFileText(dir / "two.stl", "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                                       "vertex 0 1 0\nendloop\nendfacet\nendsolid a\nsolid b\nfacet normal 0 0 1\n"
                                       "outer loop\nvertex 5 0 0\nvertex 6 0 0\nvertex 5 1 0\nendloop\nendfacet\n"
                                       "endsolid b\n");
    ASSERT_EQ(Quillo("--convert " + (dir / "two.stl") + " " + (dir / "two.abd")).status, 0);
    ASSERT_EQ(LoadSceneFile(doc, dir / "two.abd"), LoadResult::Ok);
    ASSERT_EQ(doc.vertexCount, 6);
    for (size_t v = 0; v < 6; ++v)
        EXPECT_EQ(doc.vertexGroup[v] == doc.vertexGroup[0], doc.restVertices[v].x * doc.restVertices[0].x > 0) << v;

    // Names without a known extension are read by their first bytes; an
    // output reached through a link that points nowhere yet is created where
    // it points, and one with another hard link is rewritten for both.
    std::filesystem::copy_file(in, dir / "scene.txt");
    std::filesystem::copy_file(dir / "quad.DXF", dir / "quad.txt");
    test::SetFileText(dir / "model", "ROKU4\nPOINT\n1 0 0 0 0 0 0 0\n2 0 0 0 0 1 0 0\n3 0 0 0 0 0 1 0\n"
                                     "LINE0\n1 2 0 0\n2 3 0 0\n3 1 0 0\nFACE0\n3 1 0 1 2 3\nEND00\n");
    std::filesystem::create_symlink("made-through-link.abd", dir / "link.abd");
    test::SetFileText(dir / "twin.abd", "old");
    std::filesystem::create_hard_link(dir / "twin.abd", dir / "twin-link.abd");
    test::SetFileText(dir / "owned.abd", "old");
    const bool chowned = chown((dir / "owned.abd").c_str(), 1234, 2345) == 0; // where the test may give it away
    Poked(in, "scale0.abd", 64, 0.0f);
    const struct {
        std::string args, check;
        int vertices;
        float scale = 1.0f;
    } converted[] = {
        {"scene.txt o1.abd", "o1.abd", 4},
        {"quad.txt o2.abd", "o2.abd", 4},
        {"model o3.abd", "o3.abd", 3},
        {"in.ABD link.abd", "made-through-link.abd", 4},
        {"in.ABD twin.abd", "twin-link.abd", 4},
        {"in.ABD owned.abd", "owned.abd", 4},
        {"scale0.abd o4.abd", "o4.abd", 4, 0.01f}, // as small as the mouse makes it
        // A settings file that never ends is not read.
        {"in.ABD o5.abd --command 32816 --settings /dev/zero", "o5.abd", 4},
    };
    test::CurrentFolder cwd(dir.Path());
    for (const auto& c : converted) {
        run = Quillo("--convert " + c.args);
        EXPECT_EQ(run.status, 0) << c.args << ": " << run.err;
        ASSERT_EQ(LoadSceneFile(doc, dir / c.check), LoadResult::Ok) << c.args;
        EXPECT_EQ(doc.vertexCount, c.vertices) << c.args;
        EXPECT_EQ(doc.ViewState().modelScale, c.scale) << c.args;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.abd"));
    EXPECT_EQ(FileText(dir / "twin.abd"), FileText(dir / "twin-link.abd"));
    struct stat owned {};
    stat((dir / "owned.abd").c_str(), &owned);
    EXPECT_TRUE(!chowned || (owned.st_uid == 1234 && owned.st_gid == 2345)) << "owner and group kept";

    // The desktop's thumbnailer entry, as a file manager runs it for a 48-pixel
    // picture, into an empty temporary file of its own naming.
    test::SetFileText(dir / ".thumbnail.X1Y2Z3", "");
    std::string exec = FileText(QM_THUMBNAILER);
    exec = exec.substr(exec.find("\nExec=quillo-render") + 19);
    exec = QUILLO_RENDER_BIN + exec.substr(0, exec.find('\n'));
    for (const auto& [field, value] : {std::pair<std::string, std::string>{"%i", dir / "quad.glb"},
                                       {"%o", dir / ".thumbnail.X1Y2Z3"}, {"%s", "48"}, {"%s", "48"}})
        exec.replace(exec.find(field), 2, value);
    run = Run(exec, "");
    EXPECT_EQ(run.status, 0) << exec << run.err;
    EXPECT_EQ(FileText(dir / ".thumbnail.X1Y2Z3").substr(16, 8), std::string("\0\0\0\x30\0\0\0\x30", 8)) << "48 by 48";
}

TEST_F(CommandLineTest, FailedReadsAndWritesExitOneWithTheMessage)
{
    const std::string missing = (dir / "missing.abd"), bad = (dir / "bad.abd"), in = WriteScene("in.abd", 1);
    test::SetFileText(bad, "\x0bVURizu(009)");
    const std::string eight = WriteScene("eight.abd", 8), cut = dir / "cut.abd", mine = dir / "mine.abd";
    const std::string large = WriteScene("large.abd", 100000);
    test::SetFileText(cut, FileText(eight).substr(0, 84 + 720 + 12 + 8 * 12));  // inside the vertex array
    test::SetFileText(mine, "mine");
    chmod(mine.c_str(), 0444);
    std::filesystem::create_directory(dir / "folder.png");
    std::filesystem::create_symlink(in, dir / "in-link.png");
    std::filesystem::create_symlink("/dev/zero", dir / "zero.abd");
    const std::string fifo = dir / "fifo.abd", pipe = dir / "pipe.rok";
    for (const std::string& name : {fifo, pipe, dir / "fifo.obj", dir / "side.mtl"})
        mkfifo(name.c_str(), 0644);
    std::filesystem::create_symlink("/dev/full", dir / "full.mtl");
    std::filesystem::create_symlink("loop.abd", dir / "loop.abd");
    // A model whose buffer is out.bin: converting it to out.gltf would write over what it reads.
    ASSERT_EQ(Quillo("--convert " + in + " " + (dir / "out.gltf")).status, 0);
    std::filesystem::rename(dir / "out.gltf", dir / "reads-out.gltf");
    const std::string buffer = FileText(dir / "out.bin");
    // 60 bytes through a pipe naming point 16000000: as refused as from a file.
    std::system(("printf 'ROKU4 POINT 16000000 0 0 0 0 1 2 3 LINE0 FACE0 END00' >" + pipe + " &").c_str());

    test::SetFileText(dir / "bad.glb", "glTF but not really");
    std::filesystem::copy_file(QM_MODEL_SEEDS "/two_triangles.pmx", dir / "pmx.glb");  // no reader but its own
    const struct {
        std::string args, err;
    } cases[] = {
        {"--convert " + missing + " " + (dir / "out.abd"), missing + strings::kCannotOpen},
        {"--convert " + bad + " " + (dir / "out.abd"), strings::kBadFormat},
        {"--convert " + in + " " + (dir / "no/such/folder/out.abd"),
         (dir / "no/such/folder/out.abd") + strings::kCannotWrite},
        {"--render " + missing + " " + (dir / "out.png"), missing + strings::kCannotOpen},
        {"--convert " + Poked(in, "far.abd", 36, NAN) + " " + (dir / "out.abd"), strings::kBadFormat},
        {"--convert " + Poked(in, "pose.abd", 84 + 8, INFINITY) + " " + (dir / "out.abd"), strings::kBadFormat},
        {"--convert " + cut + " " + (dir / "out.abd"), cut + strings::kTruncated},
        {"--convert " + (dir / "zero.abd") + " " + (dir / "out.abd"), (dir / "zero.abd") + strings::kCannotOpen},
        {"--convert " + pipe + " " + (dir / "out.abd"), strings::kBadData},
        // Outputs that are the input, read-only, or no regular file.
        {"--convert " + in + " " + in, in + strings::kCannotWrite},
        {"--render " + in + " " + (dir / "in-link.png"), (dir / "in-link.png") + strings::kCannotWrite},
        {"--convert " + in + " " + mine, mine + strings::kCannotWrite},
        {"--convert " + in + " " + fifo, fifo + strings::kCannotWrite},
        {"--render " + in + " " + (dir / "folder.png"), (dir / "folder.png") + strings::kCannotWrite},
        {"--convert " + in + " " + (dir / "loop.abd"), (dir / "loop.abd") + strings::kCannotWrite},
        // Model files written with others beside them: nothing is written unless all can be.
        {"--convert " + in + " " + (dir / "fifo.obj"), (dir / "fifo.obj") + strings::kCannotWrite},
        {"--convert " + in + " " + (dir / "side.obj"), (dir / "side.mtl") + strings::kCannotWrite},
        {"--convert " + in + " " + (dir / "full.obj"), (dir / "full.mtl") + strings::kCannotWrite},
        {"--convert " + (dir / "reads-out.gltf") + " " + (dir / "out.gltf"), (dir / "out.bin") + strings::kCannotWrite},

        {"--convert " + (dir / "bad.glb") + " " + (dir / "out.abd"), strings::kBadFormat},
        {"--convert " + (dir / "pmx.glb") + " " + (dir / "out.abd"), strings::kBadFormat},
        // A drawing that would take minutes stops at its time limit.
        {"--render " QM_SAMPLE_FIGURE " " + (dir / "slow.png") + " --frames 100000 --timeout 0.5", strings::kTimedOut},
        // A mesh that is no character: nothing is written.
        {"--convert " + eight + " " + (dir / "out.abd") + " --command 32864", strings::kCannotFitSkeleton},
    };
    for (const auto& c : cases) {
        const RunResult run = Quillo(c.args);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err + "\n");
    }
    EXPECT_EQ(FileText(mine), "mine");
    EXPECT_EQ(FileText(in), FileText(dir / "in-link.png"));
    EXPECT_EQ(FileText(dir / "out.bin"), buffer);
    for (const char* name : {"side.obj", "full.obj", "out.gltf"})
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop.abd"));

    // Past the file size limit a write fails as any other: said, the previous
    // files kept, no temporary file left beside them.
    for (const char* name : {"big.abd", "big.obj", "big.mtl"})
        test::SetFileText(dir / name, "old");
    for (const auto& [from, name] :
         {std::pair<std::string, std::string>{large, "big.abd"}, {QM_SAMPLE_FIGURE, "big.obj"}}) {
        const RunResult limited = Run("ulimit -f 200; " QUILLO_RENDER_BIN, "--convert " + from + " " + (dir / name));
        EXPECT_EQ(limited.status, 1) << name;
        EXPECT_EQ(limited.err, (dir / name) + strings::kCannotWrite + "\n");
    }
    for (const char* name : {"big.abd", "big.obj", "big.mtl"})
        EXPECT_EQ(FileText(dir / name), "old") << name;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();

    // On a full disk (a small file system of the test's own, where it may
    // mount one), likewise; a file with a second link is rewritten once the
    // room for its new contents is taken, not while a copy holds it.
    const std::string small = dir / "small";
    std::filesystem::create_directory(small);
    if (std::system(("mount -t tmpfs -o size=256k tmpfs " + small + " 2>/dev/null").c_str()) == 0) {
        const struct Unmount {
            std::string at;
            ~Unmount() { std::system(("umount " + at).c_str()); }
        } unmount{small};
        for (const char* name : {"x.obj", "x.mtl"})
            test::SetFileText(small + "/" + name, "old");
        std::filesystem::copy_file(in, small + "/twin.abd");
        std::filesystem::create_hard_link(small + "/twin.abd", small + "/twin-link.abd");
        struct statvfs fs {};
        statvfs(small.c_str(), &fs);
        test::SetFileText(small + "/fill", std::string(fs.f_bavail * fs.f_bsize - 3 * 4096, '\0'));
        const std::string grown = WriteScene("grown.abd", 400);  // three pages where the old scene took one
        const struct {
            std::string from, to;
            int status;
            std::string kept;
        } writes[] = {{QM_SAMPLE_FIGURE, "x.obj", 1, "old"},
                      {grown, "twin.abd", 0, FileText(grown)},
                      {QM_SAMPLE_FIGURE, "twin.abd", 1, FileText(grown)}};
        for (const auto& w : writes) {
            EXPECT_EQ(Quillo("--convert " + w.from + " " + small + "/" + w.to).status, w.status) << w.to;
            EXPECT_EQ(FileText(small + "/" + w.to), w.kept) << w.to;
        }
        EXPECT_EQ(FileText(small + "/x.mtl"), "old");
        EXPECT_EQ(FileText(small + "/twin-link.abd"), FileText(grown));
    }
#ifndef QM_SANITIZED // the sanitizers' shadow memory needs more address space than the limit
    // Under a memory limit, a picture whose worst case does not fit is refused, not drawn until Mesa crashes.
    const RunResult run = Run("ulimit -v 600000; " QUILLO_BIN, "--render " + in + " " + (dir / "big.png") +
                                                                 " --size 4000x3000 --set UseFastBlower=1");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, std::string(strings::kOutOfMemory) + "\n");
#endif
}

// Files made as an attacker would, offered to the thumbnailer (the desktop's
// own command line, as a file manager runs it unasked) and to --convert:
// each ends by itself, without a signal, within 10 s and 1 GiB.
TEST_F(CommandLineTest, HostileModelFilesEndWithoutHarm)
{
    const int deep = 30000;
    std::string nodes = "[", bomb = "[", pixels, instances = "[";
    for (int i = 0; i < deep; ++i)
        nodes += R"({"children":[)" + std::to_string(i + 1) + "]},";
    for (int i = 0; i < 40; ++i)  // each node's child listed twice: 2^40 placements
        bomb += R"({"children":[)" + std::to_string(i + 1) + "," + std::to_string(i + 1) + "]},";
    for (int i = 0; i < 100; ++i)
        instances += R"({"mesh":0,"translation":[0,0,)" + std::to_string(i * 0.001) + "]},";
    std::string fbx = std::string("Kaydara FBX Binary  \0\x1a\0\x1c\x1d\0\0", 27), record(14, '\0');
    for (int i = 0; i < deep; ++i) {
        const uint32_t end = uint32_t(27 + 27 * deep - 13 * i);
        std::memcpy(&record[0], &end, 4);
        record[12] = 1, record[13] = 'N';
        fbx += record;
    }
    fbx += std::string(size_t(13 * deep + 200), '\0');
    const std::string png = GreyPng(16384, 16384), triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    std::string grid, usemtl = "mtllib two.mtl\n", objects = triangle;
    for (int i = 0; i < 100000; ++i) {
        grid += "v " + std::to_string(i % 317) + " " + std::to_string(i / 317) + " 0\n";
        usemtl += "usemtl m" + std::to_string(i % 2) + "\nf " + std::to_string(i + 1) + " " +
                  std::to_string((i + 1) % 100000 + 1) + " " + std::to_string((i + 317) % 100000 + 1) + "\n";
        objects += "o x" + std::to_string(i) + "\nf 1 2 3\n";
    }
    // 10k triangles over a grid of 101 x 51 points, drawn a hundred times over.
    std::string bin;
    for (int j = 0; j <= 50; ++j)
        for (int i = 0; i <= 100; ++i) {
            const float p[3] = {i * 0.01f, j * 0.01f, 0};
            bin.append(reinterpret_cast<const char*>(p), 12);
        }
    for (uint32_t j = 0; j < 50; ++j)
        for (uint32_t i = 0; i < 100; ++i) {
            const uint32_t a = i + j * 101, t[6] = {a, a + 101, a + 1, a + 1, a + 101, a + 102};
            bin.append(reinterpret_cast<const char*>(t), 24);
        }
    const std::string ply = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                            "property float z\nelement face 1\nproperty list uint int vertex_indices\nend_header\n";
    const std::string pmx = FileText(QM_MODEL_SEEDS "/two_triangles.pmx");
    std::filesystem::create_directory(dir / "sub");
    const std::string files[][2] = {
        {"pmx.glb", pmx},
        {"endless.pmx", FileText(QM_MODEL_SEEDS "/endless_loop.pmx")},  // the library reads it for ever
        {"deep.gltf", R"({"asset":{"version":"2.0"},"extras":)" + Repeat("[", deep) + Repeat("]", deep) + "}"},
        {"deep-nodes.gltf", Gltf(nodes + R"({"mesh":0}])")},
        {"deep.dae", Collada("3", Repeat("<node>", deep) + Repeat("</node>", deep))},
        {"deep.fbx", "; FBX 7.3.0 project file\nObjects: {\n" + Repeat("N: {\n", deep) + Repeat("}\n", deep) + "}\n"},
        {"deep-binary.fbx", fbx},
        {"itself.dae", Collada("3", R"(<node id="r"><instance_node url="#r"/></node>)")},
        {"null-component.gltf", Gltf("", R"({"bufferView":0,"componentType":null,"count":3,"type":"VEC3"})")},
        {"wrap.gltf", Gltf("", R"({"bufferView":0,"byteOffset":18446744073709551600,"componentType":5126,"count":3,"type":"VEC3"})")},
        {"stride.dae", Collada("4000000000", R"(<node><instance_node url="#n"/></node>)")},
        {"bomb.gltf", Gltf(bomb + R"({"mesh":0}])")},
        {"big.png", png},
        {"eight.gltf", Gltf("", "", {"big.png", "./big.png", "sub/../big.png", "BIG.PNG", "hard.png", "soft.png",
                                     ".//big.png", dir / "big.png"})},
        {"data-uri.gltf", Gltf("", "", {"data:image/png;base64," + Base64(png)})},
        {"two.mtl", "newmtl m0\nKd 1 0 0\nnewmtl m1\nKd 0 1 0\n"},
        {"usemtl.obj", grid + usemtl},
        {"objects.obj", objects},
        {"corners.ply", ply + "0 0 0\n1 0 0\n0 1 0\n5000000 0 1 2\n"},
        {"cut-corners.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 0\nelement face 1\n"
                            "property list uint int vertex_indices\nend_header\n\x40\x4b\x4c\x00"},
        {"instanced.bin", bin},
        {"instanced.gltf", R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[)" + [] {
             std::string all;
             for (int i = 0; i < 100; ++i)
                 all += (i ? "," : "") + std::to_string(i);
             return all;
         }() + "]}],\"nodes\":" + instances.substr(0, instances.size() - 1) + "]" +
             R"(,"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],"buffers":[{"byteLength":181212,"uri":"instanced.bin"}],)"
             R"("bufferViews":[{"buffer":0,"byteLength":61212},{"buffer":0,"byteOffset":61212,"byteLength":120000}],)"
             R"("accessors":[{"bufferView":0,"componentType":5126,"count":5151,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},)"
             R"({"bufferView":1,"componentType":5125,"count":30000,"type":"SCALAR"}]})"},
        {"fifo-mtl.obj", "mtllib fifo.mtl\nusemtl a\n" + triangle + "f 1 2 3\n"},
        {"fifo-buffer.gltf", Gltf("", "", {}, "fifo.bin")},
        {"fifo-texture.gltf", Gltf("", "", {"fifo.png"})},
        {"outside.png", GreyPng(4, 4)},
        {"sub/outside.gltf", Gltf("", "", {dir / "outside.png", "../outside.png"})},
        {"SpiderTex.jpg", GreyPng(4, 4)},
        {"windows.mtl", "newmtl a\nKd 1 1 1\nmap_Kd .\\SpiderTex.jpg\nnewmtl b\nKd 1 1 1\nmap_Kd C:\\x\\spidertex.JPG\n"},
        {"windows.obj", "mtllib windows.mtl\n" + triangle + "vt 0 0\nusemtl a\nf 1/1 2/1 3/1\nusemtl b\nf 3/1 2/1 1/1\n"},
    };
    for (const auto& [name, bytes] : files)
        test::SetFileText(dir / name, bytes);
    std::filesystem::create_hard_link(dir / "big.png", dir / "hard.png");
    std::filesystem::create_symlink("big.png", dir / "soft.png");
    for (const char* fifo : {"fifo.obj", "fifo.mtl", "fifo.bin", "fifo.png"})
        mkfifo((dir / fifo).c_str(), 0644);

    std::string exec = FileText(QM_THUMBNAILER);
    exec = exec.substr(exec.find("\nExec=quillo-render") + 19);
    exec = QUILLO_RENDER_BIN + exec.substr(0, exec.find('\n'));
    exec.replace(exec.find("%s"), 2, "128");
    exec.replace(exec.find("%s"), 2, "128");
    std::vector<std::string> models{"fifo.obj"};
    for (const auto& [name, bytes] : files)
        if (name.find(".mtl") == std::string::npos && name.find(".png") == std::string::npos &&
            name.find(".bin") == std::string::npos && name.find(".jpg") == std::string::npos)
            models.push_back(name);
#ifdef QM_SANITIZED
    const std::string limits = "timeout -s KILL 30 ";  // the sanitizers' shadow memory needs more address space
#else
    const std::string limits = "ulimit -v 1048576; timeout -s KILL 10 ";
#endif
    for (const std::string& model : models) {
        std::string thumbnail = exec;
        thumbnail.replace(thumbnail.find("%i"), 2, dir / model);
        thumbnail.replace(thumbnail.find("%o"), 2, dir / "thumbnail.png");
        for (const std::string& run : {thumbnail, std::string(QUILLO_BIN " --convert ") + (dir / model) + " " + (dir / "out.abd")}) {
            const RunResult result = Run(limits + run, "");
            EXPECT_TRUE(result.status == 0 || result.status == 1) << run << ": " << result.status << " " << result.err;
        }
    }
    // Textures outside the model's folder are not read; Windows paths are found in it.
    const RunResult outside = Quillo("--convert " + (dir / "sub/outside.gltf") + " " + (dir / "out.abd"));
    EXPECT_EQ(outside.err, (dir / "outside.png") + "、../outside.png" + strings::kNotFound + "\n");
    ASSERT_EQ(Quillo("--convert " + (dir / "windows.obj") + " " + (dir / "out.abd")).err, "");
    RecordingMessages messages;
    CBodyDoc doc(messages);
    ASSERT_EQ(LoadSceneFile(doc, dir / "out.abd"), LoadResult::Ok);
    for (int p = 0; p < 2; ++p)
        EXPECT_NEAR(doc.GetColour(doc.polygonColour[size_t(p)]).g, 0.5, 0.01) << "the grey texture, polygon " << p;
}

TEST_F(CommandLineTest, UsageErrorsExitTwo)
{
    const std::string in = WriteScene("in.abd", 1), png = dir / "out.png", numbers = dir / "numbers";
    test::SetFileText(numbers, "1\n2\n3\n4\n");  // no DXF for want of a name
    for (const std::string& args :
         {"--convert " + in, "--convert " + in + " out.xyz", std::string("--convert in.xyz out.abd"),
          "--convert " + numbers + " " + (dir / "o.abd"),
          std::string("--frobnicate"), "--convert " + in + " " + (dir / "quad.rok"), // ROK and FBX are read only
          "--convert " + in + " " + (dir / "quad.fbx"),
          "--render " + in + " " + png + " --set NoSuchKey=1", "--render " + in + " " + png + " --size 320by200",
          "--render " + in + " " + in, // a picture is written only to a .png name
          "--render " + in + " " + png + " --set UseEdge=abc", "--render " + in + " " + png + " --size 4294967297x5",
          "--render " + in + " " + png + " --size 8192x8192", // more memory than a frame may take
          "--convert " + in + " " + (dir / "o.abd") + " --frames 2",
          "--convert " + in + " " + (dir / "o.abd") + " --fit",
          "--convert " + in + " " + (dir / "o.abd") + " --timeout 5", "--render " + in + " " + png + " --timeout 0"}) {
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

// Messages and help in the language the environment names, also where that
// locale is not installed or none is set; C keeps the program's own texts.
TEST_F(CommandLineTest, MessagesAndHelpFollowTheLanguage)
{
    const std::string missing = dir / "missing.abd", args = "--convert " + missing + " " + (dir / "out.abd");
    const struct {
        std::string program, err, help;
    } cases[] = {
        {"env -u LANG -u LC_ALL LANGUAGE=fr " QUILLO_RENDER_BIN, "Impossible d'ouvrir " + missing + ". V",
         "Utilisation: quillo [OPTIONS]"},
        {"env -u LANGUAGE -u LC_ALL LANG=ja_JP.UTF-8 " QUILLO_BIN, missing + " を開けません。", "使い方: quillo [オプション]"},
        {"env -u LC_ALL LANGUAGE=de:en_GB " QUILLO_BIN, "Cannot open " + missing + ". Check", "Print this help and exit"},
        {"env LC_ALL=C LANGUAGE=ja " QUILLO_BIN, missing + strings::kCannotOpen + "\n", "Usage: quillo [OPTIONS]"},
    };
    for (const auto& c : cases) {
        const RunResult run = Run(c.program, args);
        EXPECT_EQ(run.status, 1) << c.program;
        EXPECT_EQ(run.err.find(c.err), 0u) << c.program << ": " << run.err;
        EXPECT_NE(Run(c.program, "--help").out.find(c.help), std::string::npos) << c.program;
    }
    // A reader's own message names the file in a translation, where the program's own text does not.
    const std::string rok = dir / "bad.rok", rokArgs = "--convert " + rok + " " + (dir / "rok.abd");
    test::SetFileText(rok, "ROKU4\nmodel 1 2\nPOINT\n0 0 0 0 0 1 1 1\nLINE0\nFACE0\nEND00\n");
    EXPECT_EQ(Run("env -u LC_ALL LANGUAGE=en " QUILLO_BIN, rokArgs).err.find(rok + " is damaged: "), 0u);
    EXPECT_EQ(Run("env LC_ALL=C " QUILLO_BIN, rokArgs).err, std::string(strings::kBadData) + "\n");
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

    // The headless executable runs every batch mode, and describes a scene where quillo would open the viewer.
    run = Run(QUILLO_RENDER_BIN, "--command 32845 " + in);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("skeleton: 60 nodes, 50 links"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("distance 77"), std::string::npos) << run.out;

    // Mirroring wants the skeleton edit mode, and motion blur is greyed while anti-aliasing is on:
    // nothing is written after a refused command.
    std::filesystem::remove(out);
    const std::string png = dir / "x.png";
    const struct {
        std::string args, message;
    } refused[] = {
        {"--convert " + in + " " + out + " --command 32819", "--command 32819: the command is disabled"},
        {"--render " + in + " " + png + " --settings " + ini + " --command 32833 --command 32829",
         "--command 32829: the command is disabled"},
        {"--command 99999", "--command 99999: no command has this id"},
        {"--command 32812 " + in, "--command 32812: this command needs the viewer window"},
        {"--command 57601", "this command needs the viewer window"},
        {"--command 32839", "--command 32839: the command is disabled"}, // nothing is selected in a batch run
        {"--command x", "--command"},
    };
    for (const auto& r : refused) {
        run = Run(QUILLO_RENDER_BIN, r.args);
        EXPECT_EQ(run.status, 2) << r.args;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(out) || std::filesystem::exists(png));
    run = Quillo("--convert " + in + " " + out + " --command 32813 --command 32819");  // edit mode first
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(CommandLineTest, RenderWritesAPictureWithTheCommandsAndLeavesTheSettingsAlone)
{
    const std::string in = WriteScene("in.abd", 4), ini = dir / "quillo.ini", settings = " --settings " + ini;
    const std::string common = " --size 320x200 --set DrawCount=0";
    auto picture = [&](const std::string& args, const std::string& program = QUILLO_BIN,
                       const std::string& scene = "") {
        const std::string png = dir / "out.png";
        std::filesystem::remove(png);
        const RunResult run = Run(program, "--render " + (scene.empty() ? in : scene) + " " + png + common + args);
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        EXPECT_EQ(run.out, "");
        return FileText(png);
    };
    const std::string plain = picture(settings);
    ASSERT_GT(plain.size(), 24u);
    EXPECT_EQ(plain.substr(1, 3), "PNG");
    EXPECT_EQ(plain.substr(16, 8), std::string("\0\0\x01\x40\0\0\0\xc8", 8)) << "320 by 200";
    EXPECT_NE(picture(settings + " --command 32835"), plain) << "the overlay switched on shows";
    EXPECT_EQ(picture(settings + " --command 32835 --command 32835"), plain) << "and off again";
    EXPECT_FALSE(std::filesystem::exists(ini)); // read, never written

    // Two frames by default: the first one places the light.
    const std::string lit = picture(settings, QUILLO_BIN, QM_SAMPLE_FIGURE);
    EXPECT_EQ(picture(settings + " --frames 2", QUILLO_BIN, QM_SAMPLE_FIGURE), lit);
    EXPECT_NE(picture(settings + " --frames 1", QUILLO_BIN, QM_SAMPLE_FIGURE), lit);

    // A copy of the program with the viewer's settings file beside it: both
    // executables render with that file.
    const std::string bin = dir / "bin";
    std::filesystem::create_directory(bin);
    for (const std::filesystem::path exe : {QUILLO_BIN, QUILLO_RENDER_BIN})
        std::filesystem::copy_file(exe, bin / exe.filename());
    test::SetFileText(bin + "/quillo.ini", "[Color]\nBackColorR=1\n");
    const std::string red = picture(" --settings " + bin + "/quillo.ini");
    EXPECT_NE(red, plain);
    EXPECT_EQ(picture("", bin + "/quillo"), red);
    EXPECT_EQ(picture("", bin + "/quillo-render"), red);

    // A mesh carries no camera and is framed; a scene keeps its own unless --fit.
    ASSERT_EQ(Quillo("--convert " + in + " " + (dir / "quad.dxf")).status, 0);
    const struct {
        std::string file, flags;
        bool fills;
    } framing[] = {{in, "", false}, {in, " --fit", true}, {dir / "quad.dxf", "", true}};
    for (const auto& f : framing) {
        const std::string png = dir / "framed.png";
        ASSERT_EQ(Quillo("--render " + f.file + " " + png + common + f.flags + " --set DrawGround=0").status, 0);
        const double span = test::ReadPng(png).FilledSpan();
        EXPECT_EQ(span > 0.8 && span < 0.95, f.fills) << f.file << f.flags << ": " << span;
    }
}

} // namespace
} // namespace qm
