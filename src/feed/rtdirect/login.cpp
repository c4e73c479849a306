#include "feed/rtdirect/login.h"

#include <chrono>
#include <limits>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "feed/credential.h"
#include "feed/feed_state.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/weather_reader.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "services/gui.h"
#include "services/stop.h"

namespace {
using namespace std::chrono_literals;
}  // namespace

std::string gf_rtApiSoftwareText() { return fmt::format("{}_{}", kRTAPIProgramName, kProgramVersionText); }

std::string gf_rtDirectServiceInfo(std::uint32_t type, std::int64_t expiry, std::int64_t now) {
    // In seconds: a garbage expiry cannot overflow as its value x 10^7 would.
    std::int64_t left = 0;
    if (__builtin_sub_overflow(expiry, now, &left))
        left = expiry < now ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    const std::int64_t days = left / 86400;
    return fmt::format("RT Direct {} license, {} day{} left", type == 2 ? "professional" : "standard", days,
                       (days == 1 || days < 0) ? "" : "s");
}

namespace {

// The login; true on success. `status` is 100 unless the failure carries one.
bool lf_reportAuthentication(std::uint32_t& status) {
    status = 100;
    RTAPIConnection& connection = gf_rtApiConnection();
    connection.clearSession();
    g_rtConnected.store(false);
    try {
        const RTAPIAuthResult result = connection.authenticate(g_rtCredential, gf_rtApiSoftwareText());
        if (const auto* error = std::get_if<RTAPIStatusError>(&result)) {
            status = error->status;
            if (!error->message.empty()) gf_logError(error->message);
            return false;
        }
        const RTAPISession& session = *std::get<RTAPISessionPtr>(result);
        RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
        weather.rrl.store(session.rrl);
        weather.wrrl.store(session.wrrl);
        g_rtProfessional.store(session.type == 2);
        gf_log(fmt::format("\nAuthenticated at RT server '{}'", session.server.empty() ? "?" : session.server));
        g_rtConnected.store(true);
        Gui::showTrafficServiceInfo(gf_rtDirectServiceInfo(session.type, session.expiry, gf_systemSeconds()));
        // The service asks for a pause before the first weather request. The
        // interval is clamped already; the pause ends when the program stops.
        gf_rtDirectWaitWhile(std::chrono::milliseconds(gf_clampRTAPIInterval(session.wrrl)),
                             [] { return !keepRunning(); });
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "authenticate", e.what()));
        return false;
    }
}

void lf_waitTenSeconds() {
    gf_rtDirectWaitWhile(10s, [] { return !keepRunning(); });
}

}  // namespace

void gf_authenticateAtRTServer() {
    Gui::addStatusLine("Waiting for authentication at RT server ...", true);
    gf_logAndFlush(" ");
    std::uint32_t status = 0;
    if (lf_reportAuthentication(status)) {
        Gui::showTbloHintOrClear();
        return;
    }
    std::string_view text;
    switch (status) {
        case 402:
            text = "Your RT license is expired";
            break;
        case 404:
            text = "RT did not recognize your license";
            break;
        case 405:
            text = "More than one RealTraffic session is not possible, do not run the RealTraffic app";
            break;
        case 500:
            throw std::runtime_error("No RT database connection");
        default:
            gf_reportReaderStopped(kAuthenticaterName, false, 0);
            Gui::showTbloHintOrClear();
            return;
    }
    Gui::addStatusLine(text, true);
    lf_waitTenSeconds();
    throw tavo::UserRelatedException(static_cast<int>(status), text);
}

void gf_RTAPIDeauthenticate() {
    RTAPIConnection& connection = gf_rtApiConnection();
    try {
        if (!connection.isAuthenticated()) {
            gf_logError("Deauthentication skipped: empty GUID");
        } else {
            const RTAPIDeauthResult result = connection.deauthenticate();
            if (const auto* done = std::get_if<RTAPIDeauthReply>(&result))
                gf_log(fmt::format("{} RT server '{}'", done->message, done->server));
            else {
                const auto& error = std::get<RTAPIStatusError>(result);
                gf_logError(fmt::format("Deauthentication failed, status {}: {}", error.status, error.message));
            }
        }
    } catch (const std::exception& e) {
        gf_logRTAPIErrorNoThrow("deauthenticate", e.what());
    } catch (...) {
    }
    g_rtConnected.store(false);
    connection.clearSession();
}

void gf_startRTDirectReaders() {
    gf_registerRTDirectReaders();
    g_weatherReaderThread = std::jthread([] { gf_RTAPIWeatherReader(); });
    g_trafficReaderThread = std::jthread([] { gf_RTAPITrafficReader(); });
}

void gf_closeRTDirect(bool restart) {
    RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
    RTAPITrafficReader& traffic = gf_rtApiTrafficReader();
    weather.requestStop();
    traffic.requestStop();
    gf_stopAndJoin(g_weatherReaderThread);
    gf_stopAndJoin(g_trafficReaderThread);
    gf_RTAPIDeauthenticate();
    if (restart) {
        traffic.reset();
        weather.reset();
    }
}
