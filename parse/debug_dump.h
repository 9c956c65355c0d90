#pragma once
// The optional dump of the result list into a text file beside the program.

// When "调试输出" is ticked, writes the list's rows to "<title><description>.txt" in
// the program's directory; silent on every failure.
void writeDebugDump();
