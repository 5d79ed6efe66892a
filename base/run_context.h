// The process-wide state of one uninstall run: what the entry sets up and the loaded log (the
// report's state is removal/report's, the dialog's objects ui/dialog_objects'). Every layer
// reads it; each field has one layer that sets it.
#pragma once
#include "base/buffer_sizes.h"
#include "base/platform.h"
#include "base/records.h"

struct RunContext {
    HINSTANCE instance;
    char* installDir;  // folder of the program file, ending with a backslash, for the whole run
    char* modulePath;  // the program file, read once at the start of the run
    HWND ownerWindow;
    int isNT;
    int silent;  // /X: no confirmation, no completion message, no self-deletion
    int quiet;   // /Q: no box of any kind; every question gets its safe answer

    // The loaded uninstall log.
    char** catalogue;  // table 0, ended by a null entry
    FileRecord** files;
    unsigned int fileCount;
    FolderRecord** folders;
    unsigned int folderCount;
    RegistryRecord** registryEntries;
    unsigned int registryCount;
    unsigned int registryCapacity;  // entries the list has room for: its count and three more
    char* patterns;  // the pattern block's payload, or null
};

extern RunContext run;

// Puts the run context back to its state at process start (for the host tests).
void ResetRunContext();
