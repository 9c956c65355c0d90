#pragma once
// The start-up test that the Internet can be reached.

#include <cstdint>
#include <string>

// Connectivity-check page of a large public service, served over plain HTTP.
inline constexpr const char* probeUrl = "http://connectivitycheck.gstatic.com/generate_204";

// 1 when probeUrl answers (any status), 0 otherwise.
int32_t probeConnection();

// The probe of a given address; probeConnection() is probeAddress(probeUrl).
int32_t probeAddress(const std::string& url);

// True when an interface other than loopback is up and running, or a proxy is
// configured in the environment (http_proxy / all_proxy).
bool networkConnectionUp();
