#include <cstdio>

#include "platform/Messages.h"

namespace qm {

void StderrMessages::ShowMessage(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace qm
