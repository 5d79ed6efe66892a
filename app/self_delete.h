// Removal of the program file and its folder once the process has ended.
#pragma once

// Starts the job that deletes the program file and its folder once the process has ended; 1 when
// it runs. A program file another program holds is queued for the restart instead.
int ScheduleSelfDelete();
// Before a restart, which ends the job: the program file, the job's batch and its folder are
// queued for deletion at the restart too.
void QueueSelfDeletionForRestart();
