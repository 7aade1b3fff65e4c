#pragma once

namespace quillet {

// The program's entry procedure: identity, settings, command line, first window.
int runQuillet(int argc, char *argv[]);

} // namespace quillet
