#include "scan/tblo_pending.h"

std::atomic<bool> g_tbloPending{false};
