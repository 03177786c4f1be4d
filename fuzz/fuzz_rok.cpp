// libFuzzer target: ROK import of arbitrary bytes, then DXF export of the result.
#include "formats/RokImport.h"
#include "fuzz/FuzzImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qm::fuzz::FuzzImport(data, size, [](qm::CBodyDoc& doc, std::istream& in) { qm::ImportRok(doc, in); });
}
