// Leftover sweep: the matching of file names against the log's patterns.
#pragma once

// 1 when the file name (no path) matches a pattern of run.patterns, which must hold at least
// one pattern: a first pattern beginning with '*' matches every name; "." alone matches a name
// without a dot; a pattern beginning with '.' is compared with the name from its last dot on;
// any other pattern with the whole name. Only the ASCII letters are compared without regard to
// case, and a '*' anywhere else is an ordinary character.
int MatchesPattern(const char* name);
