// The folders a run found protected or behind a link. "Not empty" is never kept here: pruning
// empties parents as it goes.
#include "removal/left_folders.h"
#include "base/buffer_sizes.h"
#include "base/text.h"
#include "removal/protected_folders.h"

namespace {

enum { LEFT_FOLDERS = 16 };

char leftPath[LEFT_FOLDERS][PATH_SIZE];
char leftKind[LEFT_FOLDERS];
unsigned int leftCount;

}  // namespace

int LeftFolderKind(const char* path) {
    for (unsigned int i = 0; i < leftCount; ++i)
        if (EqualsIgnoreCase(leftPath[i], path)) return leftKind[i];
    return LEFT_UNKNOWN;
}

void RememberLeftFolder(int kind, const char* path) {
    if (LeftFolderKind(path) != LEFT_UNKNOWN || leftCount == LEFT_FOLDERS || !CopyText(leftPath[leftCount], PATH_SIZE, path)) return;
    leftKind[leftCount++] = static_cast<char>(kind);
}

int IsFolderLeftProtected(const char* path) {
    if (LeftFolderKind(path) == LEFT_PROTECTED) return 1;
    if (!IsProtectedFolder(path)) return 0;
    RememberLeftFolder(LEFT_PROTECTED, path);
    return 1;
}

void ResetLeftFolders() { leftCount = 0; }
