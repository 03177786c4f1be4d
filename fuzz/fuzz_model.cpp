// libFuzzer target: model import of arbitrary bytes as one format (the
// extension QM_FUZZ_EXTENSION), then export of the result as DXF.
// Found so far: the library loops forever on some damaged PLY headers, so the
// importer checks a PLY header before the library sees it; it crashes on an
// OBJ "mtllib" name with NUL bytes read from memory, so an OBJ file with a NUL
// byte is refused before it gets there; the library's own
// leaks when it gives up on a damaged glTF or PLY file are suppressed in
// tests/lsan.supp. It is not instrumented here: coverage guides the fuzzer
// through the importer's own code only.
#include <iterator>
#include <string>

#include "formats/ModelFiles.h"
#include "fuzz/FuzzImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qm::fuzz::FuzzImport(data, size, [](qm::CBodyDoc& doc, std::istream& in) {
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        qm::ImportModel(doc, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), QM_FUZZ_EXTENSION);
    });
}
