#pragma once
// The file-system side of the debug dump.

#include "parse/text.h"

// Absolute path of the directory that holds the running program, with no trailing
// separator ("/" alone never occurs: a program in the root gives the empty text).
Text programDirectory();

// Creates `name`, or truncates it, and writes `bytes` in one piece; held exclusively
// while written. False on any failure; an empty name touches nothing. A final
// component that is a symbolic link is not followed (false).
bool writeWholeFile(const Text& name, const Bytes& bytes);

// True when `relativeName`, joined to a directory with "/", names a place inside that
// directory: not empty, not absolute, and no ".." segment.
bool staysInsideDirectory(const Text& relativeName);
