// Removal of the program file and its folder once the process has ended.
#pragma once

void ScheduleSelfDelete();
