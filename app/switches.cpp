// The command-line switches.
#include "app/switches.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/report.h"

namespace {

// Takes the report's path at c, quoted or up to the next blank, for the report; returns where
// the scan goes on, or null when it must stop (a quote that is never closed).
const char* TakeReportPath(const char* c) {
    char end = ' ';
    if (*c == '"') {
        end = '"';
        ++c;
    }
    unsigned int length = 0;
    while (c[length] && c[length] != end) ++length;
    if (end == '"' && c[length] != '"') return nullptr;
    AskForReport(c, length);
    return c + length + (end == '"');
}

}  // namespace

void ParseSwitches(const char* text) {
    if (!text) return;
    const char* c = text;
    while (*c == ' ') ++c;
    for (;;) {
        if (*c != '-' && *c != '/') return;
        if (c[1] == 0) return;
        char letter = ToUpperAscii(c[1]);
        c += 2;
        if (letter == 'X') run.silent = 1;
        if (letter == 'Q') run.quiet = 1;
        if (letter == 'L' && *c == '=') {
            c = TakeReportPath(c + 1);
            if (!c) return;
        }
        while (*c && *c != ' ' && *c != '-' && *c != '/') ++c;
        while (*c == ' ') ++c;
    }
}

const char* SkipProgramName(const char* commandLine) {
    const char* c = commandLine;
    if (*c == '"') {
        ++c;
        while (*c && *c != '"') ++c;
        if (*c == '"') ++c;
    } else {
        while (static_cast<unsigned char>(*c) > ' ') ++c;
    }
    while (*c && static_cast<unsigned char>(*c) <= ' ') ++c;
    return c;
}
