// Folder links inside the package's folder tree. A link (a junction, a symbolic link to a
// folder) below the installation folder leads to what is not the package's: nothing behind it
// is deleted, unloaded, unregistered or removed, and the link itself stays. Records outside the
// installation folder are not affected.
#pragma once

// Forgets the folders checked so far: each phase starts afresh.
void ForgetLinkChecks();

// 1 when the folder lies below the installation folder (in whatever spelling) and a folder
// link stands on the way down to it from there, the folder itself included; also when the
// folder's full form cannot be had, as no deletion could then be sure where it leads.
int IsFolderBehindLink(const char* folder);
// The same for the folder that holds the file (a name may bring levels of its own).
int IsFileBehindLink(const char* file);
