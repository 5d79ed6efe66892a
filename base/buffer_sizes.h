// The sizes of the program's fixed buffers. Shared with the authoring tool, which warns about
// records that would not fit them.
#pragma once

// A path has at most LONGEST_PATH characters, counted as the system counts them (in UTF-16
// units), whatever its encoding. A path buffer holds the longest one in the widest encoding a
// log may use, UTF-8 (up to three bytes a unit; a double-byte code page takes two), and the
// terminator; a message buffer holds the longest text a box shows, with its terminator.
enum { LONGEST_PATH = 259, PATH_SIZE = 3 * LONGEST_PATH + 1, MESSAGE_SIZE = 1024 };
