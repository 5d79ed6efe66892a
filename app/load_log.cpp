// The uninstall log read at the start of the run, and reported when it is damaged.
#include "app/load_log.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "removal/record_paths.h"
#include "removal/report.h"
#include "ui/message_box.h"

int LoadUninstallLog() {
    int code = ReadUninstallLog();
    // Every record's path is made once, here, for all the phases.
    if (code == LOG_OK && !ResolveRecordPaths()) code = ERR_NO_MEMORY;
    if (code == LOG_OK) return 1;
    Report(OUTCOME_NOTED, "nothing removed, %s: %s",
           code == LOG_NOT_READ ? "no log, or the program file cannot be opened"
           : code == ERR_NO_MEMORY       ? "no memory for the log"
           : code == ERR_OTHER_CODE_PAGE ? "the log is in another code page than this system's"
                                         : "the log is damaged",
           run.modulePath);
    // A quiet run shows no box: its exit code says it.
    if (code == LOG_NOT_READ || run.quiet) return 0;
    char* message;
    if (!AllocZeroed(MESSAGE_SIZE, &message)) return 0;
    FormatMessageText(message, code == ERR_OTHER_CODE_PAGE ? ERR_BAD_LOG : code, run.modulePath);
    ShowMessage(message, MB_OK | MB_ICONINFORMATION);
    FreeAndNull(&message);
    return 0;
}
