// The operation log of the expiry sweep: appended, time-stamped lines.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace quorin {

// One sweep's handle on the log file: opened at construction when enabled,
// closed at destruction. A file that cannot be opened leaves a failed
// stream, whose lines are dropped silently.
class logger {
public:
    logger(const std::string& path, bool enabled);
    logger(const logger&) = delete;
    logger& operator=(const logger&) = delete;

    // Writes "YYYY/MM/DD hh:mm:ss ", the text and a line feed, then flushes.
    // Control bytes in the text are written as \xHH so that a file name can
    // never forge or split a line.
    void write(std::string_view text);

private:
    std::unique_ptr<std::ofstream> stream;
};

} // namespace quorin
