// libFuzzer target: every input is read as a model file under each import
// extension's name (or those listed in QM_FUZZ_EXTENSIONS, separated by
// spaces), as the reading process reads it, handed over as it hands it to
// the program, imported, checked and exported as DXF. The bytes go through a
// file, as the program reads models: the library's reading from memory
// crashes on any OBJ naming a material file, a path the program never takes.
// Found so far: the library loops forever on some damaged PLY headers, so a
// PLY header is checked before the library sees it; the library's own leaks
// when it gives up on a damaged file are suppressed in tests/lsan.supp. The
// library is not instrumented here: coverage guides the fuzzer through our
// own code, and its faults show only where they crash or touch the heap
// through the sanitizers' hooks.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "formats/ModelFiles.h"
#include "formats/ModelRead.h"
#include "formats/ModelWire.h"
#include "fuzz/FuzzImport.h"

namespace {

std::vector<std::string> Extensions()
{
    std::vector<std::string> chosen;
    std::istringstream listed(std::getenv("QM_FUZZ_EXTENSIONS") ? std::getenv("QM_FUZZ_EXTENSIONS") : "");
    for (std::string e; listed >> e;)
        chosen.push_back(e);
    if (chosen.empty())
        chosen.assign(std::begin(qm::kModelImportExtensions), std::end(qm::kModelImportExtensions));
    return chosen;
}

// ReadModel, its result passed through the form the reading process hands over.
qm::ModelReadStatus ReadAndHandOver(const std::string& path, qm::ModelData& data)
{
    qm::ModelData read;
    std::string wire;
    const qm::ModelReadStatus status = qm::ReadModel(path, read);
    if (!qm::WriteModelWire(status, read, [&wire](const void* bytes, size_t size) {
            wire.append(static_cast<const char*>(bytes), size);
            return true;
        }))
        std::abort();
    size_t at = 0;
    return qm::ReadModelWire(
        [&](void* to, size_t size) {
            if (size > wire.size() - at)
                return false;
            wire.copy(static_cast<char*>(to), size, at);
            at += size;
            return true;
        },
        data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<std::string> extensions = Extensions();
    static const std::string stem = "/tmp/qm-fuzz-" + std::to_string(getpid()) + ".";
    return qm::fuzz::FuzzImport(data, size, [](qm::CBodyDoc& doc, std::istream& in) {
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        for (const std::string& extension : extensions) {
            const std::string path = stem + extension;
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                std::fclose(f);
                qm::ImportModelWith(doc, path, ReadAndHandOver);
                qm::fuzz::CheckScene(doc);
                std::remove(path.c_str());
            }
        }
    });
}
