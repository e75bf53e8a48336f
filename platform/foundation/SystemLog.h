#pragma once

#include <functional>
#include <string>

namespace velarium {

// Writes one line to the system log (syslog), and to stderr when the
// environment variable VELARIUM_LOG_STDERR is set. printf-style.
void systemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replaces syslog with a sink of the caller's while it lives; used by tests
// to see exactly which lines were written. Sinks do not nest across threads.
class ScopedLogCapture {
public:
    explicit ScopedLogCapture(std::function<void(const std::string&)> sink);
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

private:
    std::function<void(const std::string&)> previous_;
};

}  // namespace velarium
