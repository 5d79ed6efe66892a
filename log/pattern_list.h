// The leftover-file patterns: the pattern block's payload, kept as it stands.
#pragma once
#include "base/platform.h"
#include "log/block_reader.h"

// Replaces run.patterns with the payload of the pattern block whose header was just read.
int ReadPatternList(HANDLE file, const BlockHeader* header);
// 1 when the zero-ended patterns of the buffer reach an empty one inside it, so a walk of the
// list never leaves the buffer.
int EndsPatternList(const char* patterns, unsigned int length);
