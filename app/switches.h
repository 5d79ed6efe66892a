// The command-line switches.
#pragma once

// Reads the switches, each a '/' or '-' and one letter in either case, up to the first word that
// begins with neither: X sets run.silent, Q sets run.quiet, and L=PATH or L="PATH" names the
// report file (removal/report.h). The report's path is taken whole, blanks, dashes and slashes
// and all, and nothing in it is read as a switch; a path that does not fit a path buffer, or a
// quote that is never closed, gives no report.
void ParseSwitches(const char* text);
// The argument text of a full command line: past the program's name, quoted or not, and
// past every character of code 0x20 or below that follows it.
const char* SkipProgramName(const char* commandLine);
