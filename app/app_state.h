#pragma once
// The program's global state: one record for the whole run.

#include "parse/pattern.h"
#include "parse/text.h"

#include <cstdint>

struct AppState {
    Text urlPrefix;
    Text pageText;
    Pattern titlePattern;
    Pattern descPattern;
    Pattern sizePattern;
    Pattern mediaPattern;
    MatchList titleMatches;
    MatchList descMatches;
    MatchList sizeMatches;
    MatchList mediaMatches;
    int32_t loopCounter = 0;
    Text dumpText;
};

extern AppState appState;

// Builds appState with its start values: empty texts, patterns holding no
// expression, empty match lists, loopCounter 0.
void initAppState();

// The exit clean-up: releases every field in order. Runs at most once per run;
// later calls do nothing.
void releaseAppState();

// Lets a test harness see each run of the clean-up's body.
void setReleaseObserver(void (*observer)());

// Runs releaseAppState unless it has run, then ends the process at once with `code`.
[[noreturn]] void exitProgram(int32_t code);
