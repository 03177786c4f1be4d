// libFuzzer target: DXF import of arbitrary bytes, then export of the result.
#include "formats/DxfImport.h"
#include "fuzz/FuzzImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qm::fuzz::FuzzImport(data, size, [](qm::CBodyDoc& doc, std::istream& in) { qm::ImportDxf(doc, in); });
}
