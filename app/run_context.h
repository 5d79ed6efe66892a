// The process-wide state of one uninstall run, and its set-up and release.
#pragma once
#include "app/buffer_sizes.h"
#include "app/platform.h"
#include "log/records.h"

enum { EXIT_OK = 0, EXIT_FAILED = -1 };

struct RunContext {
    HINSTANCE instance;
    char* installDir;  // folder of the program file, ending with a backslash
    char* pathBuf;     // scratch path; every user writes it before reading it
    char* modulePath;  // the program file, as the loader opened it
    HWND ownerWindow;
    int isNT;
    int silent;
    int readOnlyPolicy = -1;  // -1 ask, 1 yes to all, 0 no to all

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

    // The question dialog's drawing objects.
    HBRUSH dialogBrush;
    int dialogBrushOwned;
    HFONT dialogFont;
};

extern RunContext run;

// Puts the run context back to its state at process start (for the host tests).
void ResetRunContext();

// 0 when a path buffer cannot be had or the program's own path does not fit one.
int InitRunContext(HINSTANCE instance);
void ReleaseRunContext();
void FreeUninstallLog();
