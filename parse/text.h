#pragma once
// Byte-string helpers shared by every part of the program.
//
// Text  - bytes in the system's narrow code page; it ends at its first zero byte.
//         An empty Text stands for "nothing".
// Bytes - a counted byte array; it may hold zero bytes.
// Both are std::string: ownership is the value's lifetime. No helper here converts
// between character sets; bytes are copied as they are.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

using Text = std::string;
using Bytes = std::string;

// The first `count` bytes of `text` (all of it when shorter); empty for count <= 0.
Text textLeft(const Text& text, int32_t count);

// Three-way byte comparison of the two texts (each up to its first zero byte),
// bytes taken as unsigned values: negative, 0 or positive.
int32_t compareText(const Text& a, const Text& b);

// The bytes up to, not including, the first zero byte; all of them when there is none.
Text bytesToText(const Bytes& bytes);
// The same, taking the bytes over: a whole page is cut in place instead of copied.
Text bytesToText(Bytes&& bytes);

// The texts joined in order; each contributes its bytes up to its first zero byte.
Text concatTexts(std::initializer_list<std::string_view> parts);

// Exactly the bytes of `text` up to its first zero byte, without a terminator.
Bytes textToBytes(const Text& text);
