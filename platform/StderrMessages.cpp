#include <cstdio>

#include "platform/Messages.h"
#include "platform/Translation.h"

namespace qm {

void StderrMessages::ShowMessage(const Message& message)
{
    std::fprintf(stderr, "%s\n", Tr(message).c_str());
}

} // namespace qm
