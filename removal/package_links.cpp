// Folder links inside the package's folder tree.
#include "removal/package_links.h"
#include "app/run_context.h"
#include "app/text.h"
#include "removal/resolve_folder.h"

namespace {

// The last folder asked about, as the caller spelt it, and the answer: the records of one
// folder come in runs, and a run asks the file system once.
char askedFolder[PATH_SIZE];
int askedAnswer;
// The last folder found free of links, in the form its levels were looked at: a folder that
// shares levels with it needs only its own deeper levels looked at.
char linkFreeFolder[PATH_SIZE];
// The installation folder's short form with its backslash, made when first needed.
char shortInstallDir[PATH_SIZE];

int IsFolderLink(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The length of `folder` (ending with a backslash) when the path lies below it, else 0.
unsigned int BelowLength(const char* path, const char* folder) {
    unsigned int length = TextLength(folder);
    for (unsigned int i = 0; i < length; ++i)
        if (ToUpperAscii(path[i]) != ToUpperAscii(folder[i])) return 0;
    return path[length] ? length : 0;
}

// Where the path's levels below the installation folder begin, or 0 when it does not lie below
// it. A path in another spelling of that folder (short names, or a program started by its
// short name) is compared in the short forms of both, and is left in its short form.
unsigned int LevelsBelowInstallDir(char* path) {
    unsigned int start = BelowLength(path, run.installDir);
    if (start) return start;
    if (!shortInstallDir[0]) {
        DWORD length = GetShortPathNameA(run.installDir, shortInstallDir, PATH_SIZE);
        if (length == 0 || length >= PATH_SIZE || !AppendBackslash(shortInstallDir)) {
            shortInstallDir[0] = 0;
            return 0;
        }
    }
    char shortPath[PATH_SIZE];
    DWORD length = GetShortPathNameA(path, shortPath, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) return 0;
    start = BelowLength(shortPath, shortInstallDir);
    if (start) CopyText(path, PATH_SIZE, shortPath);
    return start;
}

// Where the levels the path shares with the last link-free folder end (the end of a level in
// both), or 0 when they share none.
unsigned int SharedLevelsEnd(const char* path) {
    unsigned int end = 0;
    for (unsigned int i = 0;; ++i) {
        int pathEnds = path[i] == '\\' || path[i] == 0;
        int freeEnds = linkFreeFolder[i] == '\\' || linkFreeFolder[i] == 0;
        if (pathEnds && freeEnds) end = i;
        if (!path[i] || !linkFreeFolder[i] || ToUpperAscii(path[i]) != ToUpperAscii(linkFreeFolder[i])) return end;
    }
}

// Looks at each level of the full path below the installation folder, from the top down.
int HasLinkBelowInstallDir(char* path) {
    StripBackslash(path);
    unsigned int start = LevelsBelowInstallDir(path);
    if (!start) return 0;
    unsigned int shared = SharedLevelsEnd(path);
    if (shared >= start) {
        if (!path[shared]) return 0;
        start = shared + 1;
    }
    for (unsigned int at = start;; ++at) {
        char c = path[at];
        if (c != '\\' && c != 0) continue;
        path[at] = 0;
        int linked = IsFolderLink(path);
        path[at] = c;
        if (linked) return 1;
        if (!c) break;
    }
    CopyText(linkFreeFolder, PATH_SIZE, path);
    return 0;
}

}  // namespace

void ForgetLinkChecks() {
    askedFolder[0] = 0;
    askedAnswer = 0;
    linkFreeFolder[0] = 0;
    shortInstallDir[0] = 0;
}

int IsFolderBehindLink(const char* folder) {
    if (askedFolder[0] && EqualsIgnoreCase(folder, askedFolder)) return askedAnswer;
    char path[PATH_SIZE];
    int answer = !FullPathOf(folder, path) || HasLinkBelowInstallDir(path);
    if (CopyText(askedFolder, PATH_SIZE, folder)) askedAnswer = answer;
    else askedFolder[0] = 0;
    return answer;
}

int IsFileBehindLink(const char* file) {
    char folder[PATH_SIZE];
    if (!FullPathOf(file, folder)) return 1;
    char* cut = FindLast(folder, '\\');
    if (!cut) return 1;
    cut[1] = 0;
    return IsFolderBehindLink(folder);
}
