// Message boxes: each one owned by the hidden owner window and captioned with the catalogue's
// title.
#include "ui/message_box.h"
#include "base/run_context.h"
#include "log/catalogue.h"
#include "log/log_format.h"

int ShowMessage(const char* text, UINT flags) {
    return MessageBoxA(run.ownerWindow, text, GetMessageText(0, MSG_TITLE), flags);
}
