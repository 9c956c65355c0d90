#pragma once
// Synchronous HTTP GET of a page, as the address box's click fetches it.

#include "parse/text.h"

#include <cstdint>

// User agent that every page fetch sends.
inline constexpr const char* pageUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// Fetches `address` with an HTTP/1.0 GET and returns the body of the final response,
// whatever its status; zero bytes included. Empty on any failure; a body cut short
// keeps the bytes received before. Never throws, shows nothing, logs nothing.
Bytes fetchPage(const Text& address);

// The canonical form of `address` that a fetch requests: the text up to its first zero
// byte, trailing white space removed, dot segments resolved, inner blanks as %20,
// nothing decoded. Empty when a fetch would send nothing (an address that cannot be
// parsed, or a scheme other than http and https).
Text canonicalAddress(const Text& address);

// How many bytes one read of the body asks room for, from the value of the
// Content-Length header (nullptr when the header is missing).
int32_t readSizeFor(const char* contentLength);

// The client's time-outs. A desktop HTTP client's defaults; only code may change them
// (tests lower them to exercise stalled servers).
struct FetchTimeouts {
    long connectSeconds = 60;
    long idleSeconds = 60; // give up when no byte arrives for this long
};
void setFetchTimeouts(const FetchTimeouts& timeouts);

// Closes the client context that the first fetch opened (at exit). Safe to call
// when none is open; the next fetch opens a new one.
void closeFetchContext();
