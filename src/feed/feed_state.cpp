#include "feed/feed_state.h"

std::atomic<bool> g_rtConnected{false};
std::atomic<bool> g_rtProfessional{false};
