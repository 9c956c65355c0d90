// The click on "获取地址": check the address, fetch the page, extract the results
// into the list, optionally dump them, and select a row.

#include "app/app_state.h"
#include "parse/debug_dump.h"
#include "parse/fetch.h"
#include "parse/page_patterns.h"
#include "parse/site.h"
#include "ui/handlers.h"
#include "ui/toolkit.h"

namespace {

// The message for an address outside the site, with an example of a good one.
Text refusalMessage() {
    return concatTexts(
        {"您输入的视频地址不正确，请重新输入。\r\n示例：", sitePrefix, "v/66/66861.shtml  "});
}

// Stores `fresh` in `field`; the old list goes only after the new one is built.
void replaceMatches(MatchList& field, MatchList fresh) {
    MatchList old = std::move(field);
    field = std::move(fresh);
}

// Adds the text of `group` of the first match, or an empty row when there is none,
// so that the title and the description always stand in rows 0 and 1.
void addFirstMatchRow(const MatchList& matches, int32_t group) {
    appState.loopCounter = 1;
    addRow(matches.empty() ? Text() : groupText(matches.front(), appState.pageText, group));
    appState.loopCounter = 0;
}

void addEveryMatchRow(const MatchList& matches, int32_t group) {
    int32_t pass = 0;
    for (const Match& match : matches) {
        appState.loopCounter = ++pass;
        addRow(groupText(match, appState.pageText, group));
    }
    appState.loopCounter = 0;
}

} // namespace

void onGetAddressClicked() {
    // Address check and fetch.
    clearRows();
    appState.urlPrefix = textLeft(boxText(), int32_t(sitePrefix.size()));
    if (compareText(appState.urlPrefix, Text(sitePrefix)) != 0) {
        showError(refusalMessage());
        return;
    }
    appState.pageText = bytesToText(fetchPage(boxText()));

    // Extraction.
    compilePattern(appState.titlePattern, titlePatternText);
    compilePattern(appState.descPattern, descPatternText);
    compilePattern(appState.sizePattern, sizePatternText);
    compilePattern(appState.mediaPattern, mediaPatternText());
    replaceMatches(appState.titleMatches, searchAll(appState.titlePattern, appState.pageText));
    replaceMatches(appState.descMatches, searchAll(appState.descPattern, appState.pageText));
    replaceMatches(appState.sizeMatches, searchAll(appState.sizePattern, appState.pageText));
    replaceMatches(appState.mediaMatches, searchAll(appState.mediaPattern, appState.pageText));

    // Input that queued up during the fetch is handled here; a click among it runs
    // this whole handler nested, and the rows below then follow its rows.
    processEvents();

    addFirstMatchRow(appState.titleMatches, 1);
    addFirstMatchRow(appState.descMatches, 1);
    addEveryMatchRow(appState.sizeMatches, 1);
    addEveryMatchRow(appState.mediaMatches, 0);

    writeDebugDump();
    selectRow(5);
}
