// The command-line switches.
#pragma once

// Sets run.silent for an X switch (/X or -X, either case).
void ParseSwitches(const char* text);
// The argument text of a full command line: past the program's name, quoted or not, and
// past every character of code 0x20 or below that follows it.
const char* SkipProgramName(const char* commandLine);
