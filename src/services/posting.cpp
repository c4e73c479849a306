// The posting operations: each builds one GuiUpdate for the global Gui and
// copies its text, so callers on any thread may drop theirs at once.

#include <atomic>

#include "services/gui.h"

namespace {

std::atomic<TbloPendingQuery> g_tbloPendingQuery{nullptr};

}  // namespace

void Gui::enqueueUpdate(GuiUpdate item) noexcept { gf_gui().enqueue(std::move(item)); }

void Gui::addStatusLine(std::string_view text, bool log) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::statusLine(std::string(text), log));
    } catch (...) {
        // Building the item failed (no memory): the line is lost, as a failed
        // enqueue would lose it.
    }
}

void Gui::showError(std::string_view text) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::errorText(std::string(text)));
    } catch (...) {
    }
}

void Gui::showTbloHintOrClear() noexcept {
    if (gf_tbloPending()) {
        gf_showTbloHint();
    } else {
        gf_gui().enqueue(GuiUpdate::clearStatusLine());
    }
}

void Gui::showTrafficServiceInfo(std::string_view text) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::trafficServiceInfo(std::string(text)));
    } catch (...) {
    }
}

void Gui::showParkedTrafficText(bool flag, std::string_view text) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::parkedTrafficText(flag, std::string(text)));
    } catch (...) {
    }
}

void Gui::setParkedTrafficFlag(bool flag) noexcept {
    // The planner reads the shared copy at once, before the GUI applies the item.
    gf_gui().parkedTrafficFlagShared.store(flag);
    gf_gui().enqueue(GuiUpdate::parkedTrafficFlag(flag));
}

void Gui::showParkAirport(std::string_view text, bool handmade) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::parkAirportText(std::string(text), handmade));
    } catch (...) {
    }
}

void Gui::showParkedTrafficValue(float value) noexcept { gf_gui().enqueue(GuiUpdate::staticFit(value)); }

void Gui::showUserPositionText(std::string_view text) noexcept {
    try {
        gf_gui().enqueue(GuiUpdate::userStand(std::string(text)));
    } catch (...) {
    }
}

void Gui::repaintHeaderBand() noexcept { gf_gui().enqueue(GuiUpdate::repaint(kRepaintHeader)); }
void Gui::repaintSettingsBand() noexcept { gf_gui().enqueue(GuiUpdate::repaint(kRepaintSettings)); }
void Gui::repaintLowerBand() noexcept { gf_gui().enqueue(GuiUpdate::repaint(kRepaintParking)); }

void gf_showTbloHint() noexcept {
    try {
        Gui::addStatusLine(std::string("Push the Tblo button and mail the file \"tblo.zip\" to ")
                               .append(kTbloContactAddress)
                               .append(", please"),
                           false);
    } catch (...) {
    }
}

void gf_setTbloPendingQuery(TbloPendingQuery query) noexcept { g_tbloPendingQuery.store(query); }

bool gf_tbloPending() noexcept {
    const TbloPendingQuery query = g_tbloPendingQuery.load();
    return query != nullptr && query();
}
