// The read-ahead under the log's file helpers: the records are read a few bytes at a time, and
// one platform read per piece would cost more than all the rest of the load. It holds bytes of
// one file that follow the helpers' position in it; the platform's own position in that file
// stands at the end of them.
#pragma once
#include "app/platform.h"

enum { READ_AHEAD_SIZE = 4096 };

struct ReadAhead {
    HANDLE file;         // the file the bytes are from; null when it holds none
    unsigned int next;   // the next byte to hand out
    unsigned int end;    // the end of the bytes read
    unsigned char bytes[READ_AHEAD_SIZE];
};
