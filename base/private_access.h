// Rights for what the run makes where other accounts could reach it (the self-deletion's folder,
// a new report): only the running account, the administrators and the system may change it or
// anything made inside it, and it takes no rights over from its parent folder.
#pragma once
#include "base/platform.h"

// 1 with the attributes ready for CreateDirectoryA or CreateFileA; 0 where the system has no such
// rights (the 95 family, NT before 2000) or they could not be made. Each success is undone by
// FreePrivateAccess.
int MakePrivateAccess(SECURITY_ATTRIBUTES* attributes);
void FreePrivateAccess(SECURITY_ATTRIBUTES* attributes);
