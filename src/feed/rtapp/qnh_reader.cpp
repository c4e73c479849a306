#include "feed/rtapp/qnh_reader.h"

#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "feed/fields.h"
#include "feed/rtapp/qnh.h"
#include "feed/rtapp/traffic_reader.h"
#include "foundation/log.h"
#include "services/gui.h"
#include "services/stop.h"

QnhReader g_qnhReader;

namespace {

// The main loop shows the reader receiving while its METAR is this young.
constexpr auto kMetarFreshness = std::chrono::seconds(90);

std::int64_t lf_steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The pause before binding anew; false when the program or the reader was
// stopped meanwhile (the thread then ends instead of binding again).
bool lf_waitBeforeRebind(const QnhReader& reader) {
    const RTAppUdpTiming timing = gf_rtAppUdpTiming();
    const auto deadline = std::chrono::steady_clock::now() + timing.reconnectWait;
    const auto step = timing.reconnectStep > std::chrono::milliseconds(0) ? timing.reconnectStep
                                                                          : std::chrono::milliseconds(100);
    while (true) {
        if (!keepRunning() || reader.stopRequested()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return true;
        const auto left = deadline - now;
        std::this_thread::sleep_for(left < step ? left : std::chrono::steady_clock::duration(step));
    }
}

}  // namespace

QnhReader::QnhReader() : UdpReader(kQnhReaderName) {}

void QnhReader::onDatagram() { handleWeather(datagram_); }

void QnhReader::handleWeather(std::string_view datagram) {
    try {
        const nlohmann::json data = nlohmann::json::parse(datagram);
        if (!metarText_.empty() && data.is_object()) {
            const auto it = data.find("METAR");
            // The same METAR again: the weather is still being sent, nothing new.
            if (it != data.end() && it->is_string() && it->get_ref<const std::string&>() == metarText_) {
                metarTimeNs_.store(lf_steadyNowNs());
                return;
            }
        }
        const QnhResult result = gf_qnhFromWeatherData(data);
        if (const auto* qnh = std::get_if<std::uint32_t>(&result)) {
            metarText_ = data.at("METAR").get<std::string>();
            metarTimeNs_.store(lf_steadyNowNs());
            if (*qnh != storedQnh_.load()) {
                storedQnh_.store(*qnh);
                g_trafficReader.qnh.publish(*qnh);
            }
            return;
        }
        const auto& error = std::get<QnhError>(result);
        if (error.code <= 1)
            gf_log(fmt::format("no QNH {}", gf_logQuote(datagram)));
        else
            gf_logError(fmt::format("{} in {}", error.message, gf_logQuote(datagram)));
    } catch (const std::exception& e) {
        gf_log(fmt::format("Exception {}, in {}", e.what(), gf_logQuote(datagram)));
    }
}

void QnhReader::clearState(bool clearStop) {
    clearDatagramState(clearStop);
    metarText_.clear();
    storedQnh_.store(0);
    metarTimeNs_.store(0);
}

bool QnhReader::metarIsRecent(std::chrono::steady_clock::time_point now) const {
    const std::int64_t seen = metarTimeNs_.load();
    if (seen == 0) return false;
    const auto age = now.time_since_epoch() - std::chrono::nanoseconds(seen);
    return age <= kMetarFreshness;
}

void gf_weatherReader() {
    QnhReader& reader = g_qnhReader;
    try {
        while (true) {
            try {
                reader.createSocket();
                reader.bindToPort(gf_rtAppUdpPorts().weather);
                Gui::enqueueUpdate(GuiUpdate::weatherReaderState(kReaderRunning));
                gf_log(fmt::format("{} connected", reader.name()));
                reader.receive();
                break;
            } catch (const std::exception& e) {
                reader.closeSocket();
                if (!keepRunning() || reader.stopRequested()) break;
                // A new socket starts afresh, but a stop already asked for
                // must survive the reconnection.
                reader.clearState(false);
                Gui::enqueueUpdate(GuiUpdate::weatherReaderState(kReaderStopped));
                gf_logError(fmt::format("{} exception: {}; reconnecting ...", "gf_weatherReader", e.what()));
                if (!lf_waitBeforeRebind(reader)) break;
            }
        }
    } catch (...) {
        try {
            gf_reportReaderError(reader.name(), "Unknown exception");
        } catch (...) {
            requestStop(StopReason::ReaderError, 15);
        }
    }
    reader.closeSocket();
    Gui::enqueueUpdate(GuiUpdate::weatherReaderState(kReaderStopped));
    gf_logNoThrow("QNH Reader disconnected");
}
