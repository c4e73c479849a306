#include "services/shell.h"

std::atomic<bool> g_timeShiftActive{false};
std::atomic<WindowHandle> g_mainWindow{WindowHandle::None};
std::atomic<bool> g_webServerMaintenance{false};
