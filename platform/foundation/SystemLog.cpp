#include "SystemLog.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace velarium {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(const std::string&)>& currentSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

}  // namespace

void systemLog(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);

    std::lock_guard<std::mutex> lock(sinkMutex());
    if (currentSink()) {
        currentSink()(line);
        return;
    }
    syslog(LOG_NOTICE, "%s", line);
    if (std::getenv("VELARIUM_LOG_STDERR")) std::fprintf(stderr, "%s\n", line);
}

ScopedLogCapture::ScopedLogCapture(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    previous_ = std::move(currentSink());
    currentSink() = std::move(sink);
}

ScopedLogCapture::~ScopedLogCapture() {
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(previous_);
}

}  // namespace velarium
