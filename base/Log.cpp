#include "base/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace base {

namespace {

// Held from the write to the flush, so a progress line and a failure written by
// two threads reach the terminal in the order they were written.
std::mutex writeMutex;

void writeLine(std::FILE* stream, const char* format, std::va_list args) {
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return;
    std::string line(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(line.data(), line.size(), format, args);
    line.back() = '\n';
    const std::lock_guard<std::mutex> lock(writeMutex);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

void logInfo(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(stdout, format, args);
    va_end(args);
}

void logError(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(stderr, format, args);
    va_end(args);
}

}  // namespace base
