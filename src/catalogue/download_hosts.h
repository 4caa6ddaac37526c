#pragma once

#include <string>

// The download host to use for a candidate name (from the command line or
// the site list): the candidate itself when it is, byte for byte, the
// primary or the alternate download host, otherwise the primary one. No
// other host is ever contacted.
std::string CheckedDownloadHost(const std::string& candidate);
