// The two actions on the result list: copy a row, or open it with the desktop.

#include "actions/clipboard.h"
#include "actions/desktop_open.h"
#include "ui/handlers.h"
#include "ui/toolkit.h"

void onResultDoubleClicked() {
    copyToClipboard(rowText(selectedRow()));
}

void onResultRightPressed(int32_t /*x*/, int32_t /*y*/, int32_t /*modifiers*/) {
    openWithDesktop(rowText(selectedRow()));
}
