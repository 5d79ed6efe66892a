// The command-line switches.
#include "app/switches.h"
#include "base/run_context.h"
#include "base/text.h"

void ParseSwitches(const char* text) {
    if (!text) return;
    const char* c = text;
    while (*c == ' ') ++c;
    for (;;) {
        if (*c != '-' && *c != '/') return;
        if (c[1] == 0) return;
        if (ToUpperAscii(c[1]) == 'X') run.silent = 1;
        c += 2;
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
