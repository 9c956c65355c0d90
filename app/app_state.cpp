#include "app/app_state.h"

#include <cstdio>
#include <unistd.h>

AppState appState;

namespace {
bool released = false;
void (*releaseObserver)() = nullptr;

// Releasing a list destroys its matches in list order, then the list itself.
void releaseMatchList(MatchList& list) {
    for (Match& match : list) {
        Match().swap(match);
    }
    MatchList().swap(list);
}
} // namespace

void initAppState() {
    appState.titlePattern = Pattern{};
    appState.descPattern = Pattern{};
    appState.sizePattern = Pattern{};
    appState.mediaPattern = Pattern{};
    appState.titleMatches.clear();
    appState.descMatches.clear();
    appState.sizeMatches.clear();
    appState.mediaMatches.clear();
    appState.urlPrefix.clear();
    appState.pageText.clear();
    appState.dumpText.clear();
    appState.loopCounter = 0;
}

void releaseAppState() {
    if (released) {
        return;
    }
    released = true;
    Text().swap(appState.urlPrefix);
    Text().swap(appState.pageText);
    appState.titlePattern.expression.reset();
    appState.descPattern.expression.reset();
    appState.sizePattern.expression.reset();
    appState.mediaPattern.expression.reset();
    releaseMatchList(appState.titleMatches);
    releaseMatchList(appState.descMatches);
    releaseMatchList(appState.sizeMatches);
    releaseMatchList(appState.mediaMatches);
    Text().swap(appState.dumpText);
    if (releaseObserver != nullptr) {
        releaseObserver();
    }
}

void setReleaseObserver(void (*observer)()) {
    releaseObserver = observer;
}

void exitProgram(int32_t code) {
    releaseAppState();
    std::fflush(nullptr);
    _exit(code);
}
