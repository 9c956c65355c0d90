#pragma once
// Putting a text on the system clipboard.

#include "parse/text.h"

// Replaces whatever the clipboard holds, in every format, with `text` as plain text;
// its exact bytes, unconverted.
void copyToClipboard(const Text& text);
