#include "net/HttpDatabase.h"

namespace HttpDatabase {
void init() {}
}
