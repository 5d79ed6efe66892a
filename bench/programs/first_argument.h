// The baselines take one argument. The program's own name comes first on the command line,
// quoted or not; the argument is what follows it and the blanks after it.
#pragma once

inline const char* FirstArgument(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        for (++at; *at && *at != '"'; ++at) {}
        if (*at) ++at;
    } else {
        while (*at && *at != ' ') ++at;
    }
    while (*at == ' ') ++at;
    return at;
}
