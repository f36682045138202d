#include "base/Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace netlog {

namespace {

void writeLine(std::FILE* stream, const char* format, std::va_list args) {
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return;
    std::string line(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(line.data(), line.size(), format, args);
    line.back() = '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

void info(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(stdout, format, args);
    va_end(args);
}

void error(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(stderr, format, args);
    va_end(args);
}

}  // namespace netlog
