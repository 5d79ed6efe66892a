// The records the log carries, as the removal phases read them. Each record is one
// allocation: its fixed fields, then its strings, each with a terminator.
#pragma once

struct FileRecord {
    char* folder;
    char* name;
    unsigned char flags;  // FILE_SHARED, FILE_FONT, FILE_SELFREG
};

struct FolderRecord {
    char* folder;
    char* name;
};

struct RegistryRecord {
    unsigned int root;  // a predefined root key's handle value, as stored in the log
    char* path;         // key path, or key path, two backslashes and a value name
};
