#pragma once
// The operations through which the handlers use the main window's controls:
// the result list, the address box and the check box. The one implementation
// drives the Qt widgets of the window that is currently open; with no window open,
// reads give empty results and writes do nothing.

#include "parse/text.h"

#include <cstdint>

// Result list
void clearRows();
void addRow(const Text& text);
int32_t rowCount();
Text rowText(int32_t index);
int32_t selectedRow();
void selectRow(int32_t index);

// Address box
Text boxText();
void setBoxText(const Text& text);
void caretToEnd();

// Check box
bool isTicked();

// A modal error box with `text`, one OK button and an empty title; returns once the
// user has dismissed it.
void showError(const Text& text);

// Handles every window event already waiting; a request to quit stays queued.
void processEvents();

// Sleeps `milliseconds` (negative counts as 0) without handling any event.
void pause(int32_t milliseconds);
