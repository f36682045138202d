// The game's and the server's one-line log messages: progress to standard output,
// failures to standard error. Any thread may log: each line is formatted first,
// then written whole and flushed, so lines never mix and the two streams keep
// their order on a terminal. Where the messages go is left to the process.
#pragma once

namespace base {

void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base
