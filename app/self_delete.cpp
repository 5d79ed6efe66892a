// Removal of the program file and its folder once the process has ended.
#include "app/self_delete.h"

// Not built yet: the program file stays.
void ScheduleSelfDelete() {}
