#pragma once
// The handlers that the main window's events call. Each runs on the window thread
// to its end; only onGetAddressClicked lets other events run (once, in processEvents).

#include <cstdint>

void onWindowCreated();
void onGetAddressClicked();
void onResultDoubleClicked();

// The mouse-press handlers get the press position and the modifier keys held
// (Ctrl 1, Shift 2, Alt 4) and ignore them; the press then goes on to the control.
void onAddressBoxPressed(int32_t x, int32_t y, int32_t modifiers);
void onResultRightPressed(int32_t x, int32_t y, int32_t modifiers);
