#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm {

class CBodyView;

// A headless render as the command line asks for it.
struct RenderRequest {
    std::string in, out;
    int width = 640, height = 480;
    int frames = 2;  // the first frame places the light; the second shows the steady picture
    bool fit = false;  // the whole mesh in the picture, as "Cadrer le modèle" does
    double timeout = 0.0;  // seconds after which the run gives up (exit 1); 0: none
    std::vector<std::pair<std::string, std::string>> settings;  // --set KEY=VALUE, in order
    std::string settingsFile;                                   // --settings, or empty
    std::vector<int> commands;                                  // --command ID, in order
};

// Carries out a render request; returns the exit status.
using RenderBackend = std::function<int(const RenderRequest&)>;

// The viewer as the command line starts it.
struct ViewerRequest {
    std::string file;          // a scene to open, or a mesh to import; may be empty
    std::string settingsFile;  // --settings, or empty
    std::vector<int> commands; // --command ID, run in order once the file is open
};
using ViewerBackend = std::function<int(const ViewerRequest&)>;

// Describes the scene a viewer request names (after its commands), for
// builds without a window.
int DescribeScene(const ViewerRequest& request);

// Runs quillo's command line: --convert IN OUT, --render IN OUT.png, --help
// and --version work without a display; anything else starts the viewer.
// Returns the process exit status: 0 done, 1 a read or write failed (the
// message is on standard error), 2 a usage error.
int RunCommandLine(int argc, const char* const* argv, const RenderBackend& render, const ViewerBackend& viewer);

// Runs the --command ids in order through the view's command table. The ids
// are known to be the view's; one that its update rule disables at its turn
// is a usage error: the message goes to standard error and 2 is returned.
// 0 when every command ran.
int RunBatchCommands(CBodyView& view, const std::vector<int>& commands);

} // namespace qm
