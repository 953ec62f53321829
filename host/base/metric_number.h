// A number as the metrics text writes it, for every counter the host shows.
#pragma once

#include <cstdio>
#include <string>

namespace quorin::host {

// Nine significant digits: enough for a nanosecond sum in seconds.
inline std::string metric_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

} // namespace quorin::host
