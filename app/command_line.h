// The window program's own options: --version and --help print and end the program before
// any window (or toolkit) starts. Every other argument is left to the toolkit as before.
#pragma once

#include <optional>

// The exit code when an argument asked for the version or the help (printed to stdout),
// otherwise nothing: the program goes on to open its window.
std::optional<int> HandleInfoOptions(int argc, const char* const* argv);
