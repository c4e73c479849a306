#pragma once
// The RT Direct readers in one include: the shared head and thread frame, the
// traffic reader, the weather reader, and the login, logout, start and stop
// around them.

#include "feed/rtdirect/login.h"
#include "feed/rtdirect/reader.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/weather_reader.h"
