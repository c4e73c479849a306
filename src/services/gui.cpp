#include "services/gui.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdio>

#include "foundation/log.h"

namespace {

// Diagnostics of the queue itself never go to Log.txt: the log may be closed,
// and a failing log must not hide a failing queue.
void lf_debugOutput(const char* text) noexcept {
    std::fputs(text, stderr);
}

template <typename T>
const T& lf_payload(const GuiUpdate& item) {
    return std::get<T>(item.payload);
}

}  // namespace

Gui::Gui() : clock([] { return std::chrono::steady_clock::now(); }) {}

Gui::~Gui() {
    close();
    const WindowHandle w = window.load();
    if (w != WindowHandle::None && gf_isWindow(w)) gf_destroyWindow(w);
}

Gui& gf_gui() {
    // Never destroyed: threads still running while the process exits (the
    // thread slots join at exit) may post to it.
    static Gui* const gui = new Gui();
    return *gui;
}

bool Gui::isGuiThread() const noexcept {
    const std::thread::id id = guiThread.load();
    return id != std::thread::id() && id == std::this_thread::get_id();
}

void Gui::enqueue(GuiUpdate item) noexcept {
    if (closed.load()) return;
    if (isGuiThread()) {
        try {
            repaint(applyUpdate(item));
        } catch (...) {
            lf_debugOutput("Gui::applyUpdate failed\n");
        }
        return;
    }
    try {
        WindowHandle w = WindowHandle::None;
        {
            // The announcement flag is decided under the queue lock, so that a
            // close (which clears the queue and the flag under the same lock)
            // cannot be followed by a flag raised for an item it dropped.
            std::lock_guard lock(m_queueMutex);
            if (closed.load()) return;
            m_queue.push_back(std::move(item));
            w = window.load();
            if (w == WindowHandle::None) return;  // drained once the window exists
            // One announcement per burst: the drain in flight takes this item too.
            if (drainPosted.exchange(true)) return;
        }
        if (!gf_postMessage(w, MSG_GUI_UPDATE)) drainPosted.store(false);
    } catch (...) {
        lf_debugOutput("Gui::enqueueUpdate failed\n");
    }
}

void Gui::attachGuiThread() {
    guiThread.store(std::this_thread::get_id());
    closed.store(false);
    baseHeights.clear();
}

void Gui::attachWindow(WindowHandle w) {
    window.store(w);
    if (w == WindowHandle::None) return;
    std::lock_guard lock(m_queueMutex);
    if (!m_queue.empty()) {
        drainPosted.store(true);
        if (!gf_postMessage(w, MSG_GUI_UPDATE)) drainPosted.store(false);
    }
}

std::size_t Gui::queuedCount() {
    std::lock_guard lock(m_queueMutex);
    return m_queue.size();
}

void Gui::drain() {
    std::deque<GuiUpdate> taken;
    {
        std::lock_guard lock(m_queueMutex);
        taken.swap(m_queue);
        // Cleared before applying, so an item queued meanwhile posts anew.
        drainPosted.store(false);
    }
    RepaintMask mask = 0;
    for (const GuiUpdate& item : taken) {
        try {
            mask |= applyUpdate(item);
        } catch (...) {
            lf_debugOutput("Gui::applyUpdate failed\n");
        }
    }
    repaint(mask);
}

RepaintMask Gui::applyUpdate(const GuiUpdate& item) {
    switch (item.kind) {
        case GuiUpdateKind::SetCompact:
            setCompact(lf_payload<bool>(item));
            return kRepaintResize;
        case GuiUpdateKind::ToggleCompact:
            setCompact(!compact);
            return kRepaintResize;
        case GuiUpdateKind::StayOnTop: {
            const WindowHandle w = window.load();
            if (w != WindowHandle::None) gf_setTopmost(w, lf_payload<bool>(item));
            return 0;
        }
        case GuiUpdateKind::Minimise: {
            const WindowHandle w = window.load();
            if (w != WindowHandle::None) gf_showWindow(w, ShowCommand::Minimized);
            return 0;
        }
        case GuiUpdateKind::Repaint:
            return lf_payload<std::uint8_t>(item);
        case GuiUpdateKind::StatusTick:
            if (statusExpiryArmed && clock() >= statusExpiry) {
                statusLine.clear();
                statusExpiryArmed = false;
                return kRepaintBottom;
            }
            return 0;
        case GuiUpdateKind::TrafficSourceStarted:
            trafficSourceNotStarted = false;
            return kRepaintHeader;
        case GuiUpdateKind::StaticsWaiting:
            staticsWaiting = lf_payload<std::uint64_t>(item);
            return kRepaintParking;
        case GuiUpdateKind::TrafficReaderState: {
            const auto value = lf_payload<std::uint32_t>(item);
            if (value == trafficReaderState) return 0;
            trafficReaderState = value;
            return kRepaintHeader;
        }
        case GuiUpdateKind::DisplayRecord:
            displayRecord = lf_payload<DisplayRecordBytes>(item);
            return kRepaintHeader;
        case GuiUpdateKind::WeatherReaderState: {
            const auto value = lf_payload<std::uint32_t>(item);
            if (value == weatherReaderState) return 0;
            weatherReaderState = value;
            return kRepaintHeader;
        }
        case GuiUpdateKind::TrafficServiceInfo:
            trafficServiceInfo = lf_payload<std::string>(item);
            return kRepaintHeader;
        case GuiUpdateKind::SimulatorName:
            simulatorName = lf_payload<std::string>(item);
            return kRepaintHeader;
        case GuiUpdateKind::SimulatorReady:
            simulatorReady = lf_payload<bool>(item);
            return kRepaintHeader;
        case GuiUpdateKind::LiveriesCount:
            liveriesCount = lf_payload<std::uint64_t>(item);
            return kRepaintHeader;
        case GuiUpdateKind::SimaddonCount:
            simaddonCount = lf_payload<std::uint64_t>(item);
            return kRepaintHeader;
        case GuiUpdateKind::ThirdpartyCount:
            thirdpartyCount = lf_payload<std::uint64_t>(item);
            return kRepaintHeader;
        case GuiUpdateKind::UserWingspanKnown:
            userWingspanKnown = lf_payload<bool>(item);
            return kRepaintHeader;
        case GuiUpdateKind::LiveAircraftCount: {
            const auto value = lf_payload<std::uint64_t>(item);
            if (value == liveAircraftCount) return 0;
            liveAircraftCount = value;
            return kRepaintHeader;
        }
        case GuiUpdateKind::StandCount:
            standCount = lf_payload<std::uint64_t>(item);
            return kRepaintParking;
        case GuiUpdateKind::ParkedCounts: {
            const auto& counts = lf_payload<GuiTwoCounts>(item);
            if (counts.first == liveParkedCount && counts.second == staticCount) return 0;
            liveParkedCount = counts.first;
            staticCount = counts.second;
            return kRepaintParking;
        }
        case GuiUpdateKind::ParkingTarget: {
            const auto& target = lf_payload<GuiTwoInts>(item);
            parkingTargetCount = target.first;
            parkingTargetPercent = target.second;
            return kRepaintParking;
        }
        case GuiUpdateKind::AirportQuality:
            airportQualityText = lf_payload<std::string>(item);
            return kRepaintParking;
        case GuiUpdateKind::ParkAirportCode: {
            const auto& code = lf_payload<IcaoCode>(item);
            const bool hadAirport = !parkAirport.isNone();
            parkAirport = code;
            // In compact mode the parking band comes or goes with the airport,
            // which changes the window's height.
            if (compact && hadAirport != !code.isNone()) return kRepaintResize;
            return kRepaintParking;
        }
        case GuiUpdateKind::ParkedTrafficText: {
            const auto& payload = lf_payload<GuiTextFlag>(item);
            parkedTrafficTextFlag = payload.flag;
            parkedTrafficText = payload.text;
            if (errorText.empty()) {
                statusLine.clear();
                statusExpiryArmed = false;
            }
            return kRepaintParking | kRepaintBottom;
        }
        case GuiUpdateKind::ParkingInterval:
            parkingIntervalMinutes = lf_payload<std::int32_t>(item);
            return kRepaintParking;
        case GuiUpdateKind::ParkedTrafficFlag:
            parkedTrafficFlag = lf_payload<bool>(item);
            return kRepaintParking;
        case GuiUpdateKind::Qnh:
            qnhHpa = lf_payload<std::int32_t>(item);
            if (weatherReaderState == kReaderTrouble) weatherReaderState = kReaderRunning;
            return kRepaintHeader;
        case GuiUpdateKind::QnhInHg: {
            const bool value = lf_payload<bool>(item);
            if (value == qnhInHg) return 0;
            qnhInHg = value;
            return kRepaintHeader;
        }
        case GuiUpdateKind::ParkAirportText: {
            const auto& payload = lf_payload<GuiTextFlag>(item);
            parkAirportText = payload.text;
            parkAirportFlag = payload.flag;
            return kRepaintParking;
        }
        case GuiUpdateKind::StandOptionUpdates: {
            const auto value = lf_payload<std::uint32_t>(item);
            if (value == standOptionUpdates) return 0;
            standOptionUpdates = value;
            return kRepaintParking;
        }
        case GuiUpdateKind::StaticFit: {
            const float value = lf_payload<float>(item);
            if (value == staticFit) return 0;  // a NaN never compares equal: always a change
            staticFit = value;
            return kRepaintParking;
        }
        case GuiUpdateKind::LiveFit: {
            const float value = lf_payload<float>(item);
            if (value == liveFit) return 0;
            liveFit = value;
            return kRepaintParking;
        }
        case GuiUpdateKind::UserStand: {
            const auto& value = lf_payload<std::string>(item);
            if (value == userStand) return 0;
            userStand = value;
            return kRepaintHeader;
        }
        case GuiUpdateKind::DimSettingsLabels:
            settingsLabelsActive = false;
            return kRepaintSettings;
        case GuiUpdateKind::StatusLine: {
            // The error keeps the bottom line until it is cleared.
            if (!errorText.empty()) return 0;
            const auto& payload = lf_payload<GuiTextFlag>(item);
            if (payload.flag && !payload.text.empty()) gf_log(payload.text);
            const RepaintMask mask = payload.text != statusLine ? kRepaintBottom : 0;
            statusLine = payload.text;
            if (statusLine.empty()) {
                statusExpiryArmed = false;
            } else {
                statusExpiry = clock() + kStatusLineLifetime;
                statusExpiryArmed = true;
            }
            return mask;
        }
        case GuiUpdateKind::ErrorText: {
            const auto& text = lf_payload<std::string>(item);
            if (statusLine.empty() && text == errorText) return 0;
            statusLine.clear();
            statusExpiryArmed = false;
            errorText = text;
            gf_log(fmt::format("Error {}", errorText));
            return kRepaintBottom;
        }
        case GuiUpdateKind::ClearStatusLine:
            if (errorText.empty() && !statusLine.empty()) {
                statusLine.clear();
                statusExpiryArmed = false;
                return kRepaintBottom;
            }
            return 0;
        case GuiUpdateKind::ClearError:
            if (!errorText.empty()) {
                errorText.clear();
                return kRepaintBottom;
            }
            return 0;
        case GuiUpdateKind::ResetDisplay:
            reset();
            return kRepaintHeader | kRepaintSettings | kRepaintParking | kRepaintBottom;
    }
    return 0;  // a kind outside the forty changes nothing
}

void Gui::reset() {
    statusLine.clear();
    errorText.clear();
    parkedTrafficText.clear();
    parkAirportText.clear();
    airportQualityText.clear();
    simulatorName.clear();
    trafficServiceInfo.clear();
    userStand.clear();
    statusExpiryArmed = false;
    parkAirportFlag = false;
    parkedTrafficTextFlag = false;
    simulatorReady = false;
    parkedTrafficFlag = false;
    parkedTrafficFlagShared.store(false);
    trafficSourceNotStarted = true;
    userWingspanKnown = true;
    settingsLabelsActive = true;
    standOptionUpdates = 0;
    liveAircraftCount = 0;
    parkingTargetCount = 0;
    qnhHpa = 0;
    liveParkedCount = 0;
    staticCount = 0;
    standCount = 0;
    parkAirport = IcaoCode();
    staticFit = -1.0f;
    liveFit = -1.0f;
    trafficReaderState = kReaderStopped;
    weatherReaderState = kReaderStopped;
}

void Gui::setCompact(bool value) {
    compact = value;
    for (ControlId id : expandedOnlyControls) {
        if (gf_controlExists(id)) gf_showControl(id, !value);
    }
}

int Gui::clientLayoutHeight() const {
    if (!compact) return 768;
    return !parkAirport.isNone() ? 224 : 128;
}

std::pair<int, int> Gui::windowSizeForClient(int layoutHeight) const {
    const int d = static_cast<int>(dpi);
    return gf_outerSizeForClient(gf_mulDiv(900, d, 96), gf_mulDiv(layoutHeight, d, 96), dpi);
}

void Gui::repaint(RepaintMask mask) {
    const WindowHandle w = window.load();
    if (mask == 0 || w == WindowHandle::None) return;
    ++repaintCount;
    const int d = static_cast<int>(dpi);
    if (mask & kRepaintResize) {
        gf_setWindowPos(w, std::nullopt, windowSizeForClient(clientLayoutHeight()));
        gf_invalidate(w, std::nullopt, true);
        return;
    }
    auto invalidateBand = [&](const PixelRect& band) {
        if (band.empty()) return;
        gf_invalidate(w,
                      PixelRect{gf_mulDiv(band.left, d, 96), gf_mulDiv(band.top, d, 96), gf_mulDiv(band.right, d, 96),
                                gf_mulDiv(band.bottom, d, 96)},
                      false);
    };
    const bool withPark = !parkAirport.isNone();
    if (mask & kRepaintHeader) invalidateBand(kHeaderBand);
    if (mask & kRepaintSettings) invalidateBand(kSettingsBand);
    if (mask & kRepaintParking) {
        if (!compact) {
            invalidateBand(kParkingExpanded);
        } else if (withPark) {
            invalidateBand(kParkingCompact);
        }  // compact without a park airport: no parking band to redraw
    }
    if (mask & kRepaintBottom) {
        invalidateBand(!compact ? kBottomExpanded : (withPark ? kBottomCompactPark : kBottomCompact));
    }
}

void Gui::close() {
    closed.store(true);  // enqueuers see it before taking the lock
    std::lock_guard lock(m_queueMutex);
    m_queue.clear();
    drainPosted.store(false);
}
