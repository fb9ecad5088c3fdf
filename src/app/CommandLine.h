#pragma once

#include <optional>

namespace app {

// Answers --help and --version, and refuses anything else, before a window or a display is
// needed: a package's tooling and a user in a terminal ask this of a machine with no desktop.
// Returns the exit status when the process should end here, nothing when the window should open.
std::optional<int> HandleCommandLine(int argc, char* argv[]);

} // namespace app
