#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm {

// A headless render as the command line asks for it.
struct RenderRequest {
    std::string in, out;
    int width = 640, height = 480;
    int frames = 1;
    std::vector<std::pair<std::string, std::string>> settings;  // --set KEY=VALUE, in order
    std::string settingsFile;                                   // --settings, or empty
};

// Carries out a render request; returns the exit status.
using RenderBackend = std::function<int(const RenderRequest&)>;

// Runs quillo's command line. Every mode here works without a display:
// --convert IN OUT, --render IN OUT.png, --help, --version, and a scene file
// to describe. Returns the process exit status: 0 done, 1 a read or write
// failed (the message is on standard error), 2 a usage error.
int RunCommandLine(int argc, const char* const* argv, const RenderBackend& render);

} // namespace qm
