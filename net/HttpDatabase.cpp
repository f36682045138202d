#include "net/HttpDatabase.h"

namespace HttpDatabase {
void init() {}
void getPlayerScoreAsync(const std::string&, const std::string&, std::function<void(int)>) {}
}
