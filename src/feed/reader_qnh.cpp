#include "feed/reader_qnh.h"

#include "engine/engine_state.h"
#include "services/gui.h"

bool ReaderQnh::setInitial() {
    std::lock_guard lock(mutex_);
    if (value_.load() != 0) return false;
    value_.store(kDefaultQnh);
    g_qnh.exchange(kDefaultQnh);
    Gui::enqueueUpdate(GuiUpdate::qnh(static_cast<std::int32_t>(kDefaultQnh)));
    return true;
}

void ReaderQnh::publish(std::uint32_t hectopascal) {
    std::lock_guard lock(mutex_);
    value_.store(hectopascal);
    g_qnh.exchange(hectopascal);
    Gui::enqueueUpdate(GuiUpdate::qnh(static_cast<std::int32_t>(hectopascal)));
}
