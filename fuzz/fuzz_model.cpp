// libFuzzer target: model import of arbitrary bytes as one format (the
// extension QM_FUZZ_EXTENSION), then export of the result as DXF. The bytes go
// through a file, as the program reads models: the library's reading from
// memory crashes on any OBJ naming a material file, a path the program never takes.
// Found so far: the library loops forever on some damaged PLY headers, so the
// importer checks a PLY header before the library sees it; the library's own
// leaks when it gives up on a damaged glTF or PLY file are suppressed in
// tests/lsan.supp. It is not instrumented here: coverage guides the fuzzer
// through the importer's own code only.
#include <cstdio>
#include <iterator>
#include <string>

#include <unistd.h>

#include "formats/ModelFiles.h"
#include "fuzz/FuzzImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/qm-fuzz-" + std::to_string(getpid()) + "." QM_FUZZ_EXTENSION;
    return qm::fuzz::FuzzImport(data, size, [](qm::CBodyDoc& doc, std::istream& in) {
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            qm::ImportModel(doc, path);
            std::remove(path.c_str());
        }
    });
}
