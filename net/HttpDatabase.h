// The online leaderboard client. (Requests come with the online work; for now
// the spine only calls init at its place.)
#pragma once

namespace HttpDatabase {
void init();
}
