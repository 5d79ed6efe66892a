// The uninstall log's format: framing, tags, flags, slots and error codes.
// Shared by the program and the authoring tool, so both read the same numbers.
#pragma once
#include "base/buffer_sizes.h"

// The six bytes "wwgT)H" that stand directly before LogOffsetField in the program's data.
// Kept as a list of characters, never as a string literal, so the program holds them once.
#define LOG_MARKER 'w', 'w', 'g', 'T', ')', 'H'
enum { LOG_MARKER_LENGTH = 6, LOG_OFFSET_FIELD_SIZE = 4 };

enum { BLOCK_HEADER_SIZE = 8 };

enum BlockTag : unsigned short {
    BLOCK_MESSAGES = 0x1234,
    BLOCK_FILES = 0x1235,
    BLOCK_FOLDERS = 0x1236,
    BLOCK_REGISTRY = 0x1237,
    BLOCK_REGISTRY_ADD = 0x1238,
    BLOCK_PATTERNS = 0x1239,
    BLOCK_CODE_PAGE = 0x123A,  // the code page of the log's texts: a 32-bit number, 65001 for UTF-8
    BLOCK_END = 0x7F7F,
};

// Bit 0 of a block's flags byte marks a payload the program does not accept.
enum { BLOCK_FLAG_REJECTED = 0x01 };

enum FileFlag : unsigned char {
    FILE_SHARED = 0x01,
    FILE_FONT = 0x02,
    FILE_SELFREG = 0x04,
};

// Slots of the message catalogue, in table 0.
enum MessageSlot {
    MSG_TITLE = 0,
    MSG_CONFIRM = 1,
    MSG_DONE = 2,
    MSG_YES = 3,
    MSG_YES_ALL = 4,
    MSG_NO = 5,
    MSG_NO_ALL = 6,
    MSG_NO_MEMORY = 7,
    MSG_BAD_LOG = 8,
    MSG_READONLY = 9,
    MSG_SHARED_UNUSED = 10,
    MSG_CLOSE_APPS = 11,  // the package's running programs, %s their files' names, one per line
    MSG_RESTART = 12,     // restart Windows now to finish the removal
    MSG_SLOT_COUNT = 13,
};

// A reader's error code is the catalogue slot of the text that reports it.
enum LogError {
    LOG_OK = 0,
    ERR_NO_MEMORY = MSG_NO_MEMORY,
    ERR_BAD_LOG = MSG_BAD_LOG,
    // The log's texts are in another code page than the run's: reported as a damaged log, as
    // its paths would name other files.
    ERR_OTHER_CODE_PAGE = MSG_SLOT_COUNT,
};

// Longest strings a record may carry: both strings of a file or folder record, with their
// terminators, fit the staging buffer of two paths; a registry path has at most 519 bytes.
enum {
    STAGING_SIZE = 2 * PATH_SIZE,
    MAX_RECORD_STRINGS = STAGING_SIZE - 2,
    MAX_REGISTRY_PATH = 519,
};

// The smallest record of each kind: empty strings, and the flags byte of a file record. A count
// that the block's payload cannot hold at this size is damage.
enum {
    FOLDER_RECORD_MIN = 4,
    FILE_RECORD_MIN = 5,
    REGISTRY_RECORD_MIN = 6,
};

// The registry list has room for this many BLOCK_REGISTRY_ADD records behind its own.
enum { ADDED_REGISTRY_ROOM = 3 };
