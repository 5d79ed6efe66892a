// Consent, from the run's switches and answers.
#include "removal/consent.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/log_format.h"
#include "removal/report.h"
#include "resources/resource.h"
#include "ui/message_box.h"
#include "ui/readonly_dialog.h"

namespace {

int refusedPolicy = -1;  // -1 ask, 1 Yes to all, 0 No to all

// Yes or No to the slot's text with the argument in it; 1 for Yes. No memory to word it: `fallback`.
int AskYesNo(int slot, const char* argument, int fallback) {
    char* text;
    if (!AllocZeroed(MESSAGE_SIZE, &text)) return fallback;
    FormatMessageText(text, slot, argument);
    int yes = ShowMessage(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
    FreeAndNull(&text);
    return yes;
}

}  // namespace

void ResetConsent() { refusedPolicy = -1; }

int RunAsksPerson() { return !run.silent && !run.quiet; }

int RefusedFilesPolicy() { return refusedPolicy; }

int AnswerRefusedFile(const char* path, const char** words, int* asked) {
    *asked = 0;
    if (run.quiet) {
        *words = ", not asked in a quiet run";
        return REFUSED_QUEUE;
    }
    if (refusedPolicy == 0) {
        *words = ", answered No to all";
        return REFUSED_KEEP;
    }
    if (refusedPolicy == 1) {
        *words = ", answered Yes to all";
        return REFUSED_RETRY;
    }
    int choice = AskReadOnly(path);
    *asked = 1;
    if (choice == IDYES) {
        *words = ", answered Yes";
        return REFUSED_RETRY_ASKING;
    }
    if (choice == IDC_YESALL) {
        refusedPolicy = 1;
        *words = ", answered Yes to all";
        return REFUSED_RETRY;
    }
    if (choice == IDC_NOALL) {
        refusedPolicy = 0;
        *words = ", answered No to all";
        return REFUSED_KEEP;
    }
    *words = ", answered No";  // No, Cancel, or no dialog: this file stays
    return REFUSED_KEEP;
}

int AgreesToRemoveShared(const char* path, const char** words, int* asked) {
    *words = run.quiet ? "not asked in a quiet run" : "answered No";
    *asked = !run.quiet;
    return *asked && AskYesNo(MSG_SHARED_UNUSED, path, 1);
}

int AgreesToClosePrograms(const char* names, const char** words) {
    if (run.quiet) return 1;
    *words = "the log asks nothing about it";
    if (!GetMessageText(0, MSG_CLOSE_APPS)[0]) return 0;
    *words = "answered No";
    return AskYesNo(MSG_CLOSE_APPS, names, 0);
}

int AgreesToRestart() {
    if (!RunAsksPerson() || !Counts()->queued || !GetMessageText(0, MSG_RESTART)[0]) return 0;
    return ShowMessage(GetMessageText(0, MSG_RESTART), MB_YESNO | MB_ICONQUESTION) == IDYES;
}
