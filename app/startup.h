#pragma once
// The program from its first step to its exit code.

// Builds the global state, creates the window, checks the Internet, runs the event
// loop until the window is destroyed, releases the state and returns the exit code.
int runProgram(int argc, char** argv);
