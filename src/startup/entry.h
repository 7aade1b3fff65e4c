#pragma once

// The program's entry procedure: identity, settings, command line, first window.
int RunQuillet(int argc, char *argv[]);
