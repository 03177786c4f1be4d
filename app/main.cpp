#include <climits>
#include <string>

#include <unistd.h>

#ifdef QM_WITH_VIEWER
#include "app/BodyApp.h"
#endif
#include "app/CommandLine.h"
#include "platform/Messages.h"
#include "resources/Strings.h"

namespace {

// Headless rendering runs in its own executable beside this one: OSMesa and
// the system's GL cannot share a process.
int HandOverToRenderer(char** argv)
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.find_last_of('/') + 1) + "quillo-render";
    execv(path.c_str(), argv);
    qm::StderrMessages().ShowMessage({qm::strings::kCannotOpen, path});
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    return qm::RunCommandLine(
        argc, argv, [argv](const qm::RenderRequest&) { return HandOverToRenderer(argv); },
#ifdef QM_WITH_VIEWER
        [argc, argv](const qm::ViewerRequest& request) { return qm::RunViewer(argc, argv, request); });
#else
        qm::DescribeScene);
#endif
}
