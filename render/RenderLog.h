// One-line console messages of the render system: progress to standard output,
// failures to standard error. Each call writes the formatted text, then the end
// of the line, and flushes so the two streams interleave in order.
#pragma once

namespace render {

void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace render
