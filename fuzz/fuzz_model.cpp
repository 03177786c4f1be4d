// libFuzzer target: model import of arbitrary bytes as one format (the
// extension QM_FUZZ_EXTENSION), then export of the result as DXF.
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
