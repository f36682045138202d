// One-line log messages: progress to standard output, failures to standard error.
// Worker threads, server threads and the game's threads log at the same time, so
// each line is formatted first and written in one piece.
#pragma once

namespace netlog {

void info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void error(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace netlog
