#pragma once

namespace qm {

// Runs quillo's command line. Every mode here works without a display:
// --convert IN OUT, --help, --version, and a scene file to describe.
// Returns the process exit status: 0 done, 1 a read or write failed (the
// message is on standard error), 2 a usage error.
int RunCommandLine(int argc, const char* const* argv);

} // namespace qm
