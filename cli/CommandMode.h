#pragma once
// The entry of the mode without a window. The choice is made in main before any
// GUI object exists, and this mode creates a QCoreApplication only: it runs where
// there is no display at all.

// Whether the command line asks for the mode without a window (CommandLine.h).
bool choosesCommandMode(int argc, char* argv[]);

// Runs it and returns the process's exit code.
int runCommandMode(int argc, char* argv[]);
