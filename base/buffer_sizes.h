// The sizes of the program's fixed buffers. Shared with the authoring tool, which warns about
// records that would not fit them.
#pragma once

// A path buffer holds the platform's longest path, 259 characters and the terminator; a message
// buffer holds the longest text a box shows, with its terminator.
enum { PATH_SIZE = 260, MESSAGE_SIZE = 1024 };
