#pragma once
// The addresses of the video site that the program is built for.

#include <string_view>

// Page-address prefix of the video site: "http://" + host + "/", 22 bytes.
inline constexpr std::string_view sitePrefix = "http://v.morvane.test/";
static_assert(sitePrefix.size() == 22);

// Host name of the media server that serves the FLV files on port 8080.
inline constexpr std::string_view mediaHost = "media.morvane.test";
