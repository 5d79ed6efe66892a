// An access list for what the run makes for itself (its report, its batch's folder), so that no
// other user of the machine can change it: the running account, the Administrators group and the
// system account may do anything with it, everyone else may only read it. Each entry is also
// inherited by what is made inside a folder that gets it, and the list takes nothing from the
// folder it is made in.
#pragma once
#include "base/platform.h"

struct PrivateSecurity {
    // What CreateFileA and CreateDirectoryA are given: the private list on the NT family, null on
    // the 95 family, which has no access lists.
    SECURITY_ATTRIBUTES* attributes;
    SECURITY_ATTRIBUTES made;
    SECURITY_DESCRIPTOR descriptor;
    DWORD list[48];        // the access list, which must be DWORD-aligned
    DWORD_PTR account[24]; // the token's account entry and the SID behind it
};

// Makes it in place; 1 when `attributes` is ready, 0 when on the NT family the running account
// cannot be had (nothing is to be made then). It holds no handle and no memory of its own: it
// needs no freeing, and it must stay where it is while `attributes` is used.
int MakePrivateSecurity(PrivateSecurity* out);
// The same list without the running account's entry: only the Administrators group and the
// system account may change what it is given (the folder of files waiting for the restart,
// whose paths the system acts on at boot).
int MakeAdministratorsSecurity(PrivateSecurity* out);
