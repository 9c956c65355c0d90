#pragma once
// How row and message bytes are shown on screen. The bytes themselves are never
// converted: only the string drawn is decoded.

#include "parse/text.h"

#include <QString>

// UTF-8 when the bytes are valid UTF-8, GB18030 otherwise (the site's pages come in
// either); the text ends at its first zero byte.
QString displayString(const Text& text);
