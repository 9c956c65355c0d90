#include "parse/debug_dump.h"

#include "app/app_state.h"
#include "parse/dump_file.h"
#include "ui/toolkit.h"

void writeDebugDump() {
    if (!isTicked()) {
        return;
    }
    // Line one is the title and description run together; every later row stands
    // on a line of its own; every line ends with CR LF.
    appState.dumpText = rowText(0);
    const int32_t rows = rowCount();
    for (int32_t i = 1; i < rows; ++i) {
        appState.dumpText = concatTexts({appState.dumpText, rowText(i), "\r\n"});
    }
    // The name comes from the page: it may point into an existing subdirectory, but
    // never out of the program's directory.
    const Text relativeName = concatTexts({rowText(0), rowText(1), ".txt"});
    if (!staysInsideDirectory(relativeName)) {
        return;
    }
    const Text name = concatTexts({programDirectory(), "/", relativeName});
    writeWholeFile(name, textToBytes(appState.dumpText));
}
