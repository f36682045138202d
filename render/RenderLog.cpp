#include "render/RenderLog.h"

#include <cstdarg>
#include <cstdio>

namespace render {

namespace {

void writeLine(std::FILE* stream, const char* format, std::va_list args) {
    std::vfprintf(stream, format, args);
    std::fputs("\n", stream);
    std::fflush(stream);
}

} // namespace

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

} // namespace render
