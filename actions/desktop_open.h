#pragma once
// Handing a text to the desktop's default "open" action.

#include "parse/text.h"

// Starts `xdg-open` with `text` as its one argument, detached; the child is reaped and
// its outcome not looked at. No shell sees the text.
void openWithDesktop(const Text& text);
