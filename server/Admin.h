// `lumoka-server admin ...`: an operator's moderation of the database a server
// uses (either engine), also while servers run on it. Each command prints what
// it changed; a failure is one line on standard error and exit code 1, a wrong
// command line the usage and exit code 2.
//   list [LEVEL]                      remove-player NAME [--level LEVEL]
//   remove-entry LEVEL NAME           cap-score LEVEL MAX
//   backup FILE (SQLite)              each with --db PATH|URI
#pragma once

#include <string>
#include <vector>

// arguments: what follows "admin"; database: the default --db.
int runAdmin(const std::vector<std::string>& arguments, const std::string& defaultDatabase);
