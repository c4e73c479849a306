#include "fuzz_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "airports/current_airport.h"
#include "engine/user_position.h"
#include "feed/handover.h"
#include "feed/rtapp/qnh.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/session.h"
#include "liveries/dbase.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "tools/enc_writer.h"
#include "support/source_paths.h"

namespace tavo::fuzz {

namespace {

class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code ec;
        const std::filesystem::path shm("/dev/shm");
        const std::filesystem::path base = std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
                                               ? shm
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tavo-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no scratch folder for fuzzing");
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

}  // namespace

const std::filesystem::path& scratchFolder() {
    static ScratchFolder folder;
    return folder.path;
}

void writeFileAt(const std::filesystem::path& path, std::string_view text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + path.string());
    const bool written = text.empty() || std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) throw std::runtime_error("cannot write " + path.string());
}

std::filesystem::path writeScratchFile(std::string_view name, const std::uint8_t* data, std::size_t size) {
    std::filesystem::path path = scratchFolder() / name;
    writeFileAt(path, asText(data, size));
    return path;
}

InScratchFolder::InScratchFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(scratchFolder());
}

InScratchFolder::~InScratchFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

void writeEncryptedInputFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    const std::vector<unsigned char> bytes = tavo::tools::makeEncryptedBytes(asText(data, size));
    writeFileAt(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void settle() { gf_gui().drain(); }

namespace {

// The code tables as the program has them: the shipped sample database, read
// once per process. Codes that inputs intern stay, as they do in a running
// program (a full table gives new codes none).
void lf_loadSampleDbase() {
    static const bool loaded = [] {
        const auto path = scratchFolder() / "dbase.enc";
        tavo::tools::encryptDataFile(tavo::test::sourceDir() / "data" / "plain" / "dbase.xml", path);
        gf_resetAircraftDatabaseForTest();
        if (!gf_readDbase(path)) throw std::runtime_error("the sample aircraft database cannot be read");
        return true;
    }();
    (void)loaded;
}

}  // namespace

void resetFeedWorld(bool rtDirect) {
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, static_cast<std::uint8_t>(rtDirect ? 0 : 1)}));
    gf_publishUserAircraftState(UserAircraftState{});
    gf_clearCurrentAirport();
    gf_clearParkedTrafficSources();
    lf_loadSampleDbase();
    gf_clearStopMailbox();
    settle();
}

}  // namespace tavo::fuzz

namespace tavo::fuzz {

void readRTAPIReplyBody(std::uint32_t httpStatus, std::string_view body) {
    gf_checkRTAPIStatus(body, "fuzz", rtApiNoIntervalKey);
    const RTAPIResult result = gf_toRTAPIResult(RTAPIRawReply{httpStatus, body}, "fuzz", rtApiRrlKey);
    if (const auto* reply = std::get_if<RTAPIReply>(&result)) {
        const OwnPositionSnapshot own = rtDirectOwnPosition();
        TrafficBatch batch;
        gf_parseTrafficResponse(reply->data, own, batch);
        gf_deliverBufferSegments(reply->data, own, batch, [](TrafficBatch& b, std::uint32_t) { b.clear(); });
        gf_parseParkedResponse(reply->data);
        gf_parseNearestMetarResponse(reply->data);
        gf_qnhFromWeatherData(reply->data);
    }
}

OwnPositionSnapshot rtDirectOwnPosition() {
    return OwnPositionSnapshot{.latitude = 52.0,
                               .longitude = 4.0,
                               .cosLatitude = std::cos(52.0 * 3.14159265358979323846 / 180.0),
                               .airportElevationFt = std::nullopt,
                               .qnh = 1013,
                               .settings = settingsSnapshot.load(),
                               .collectHandOver = true,
                               .dropGround0000 = true,
                               .handOverBeforeFilters = false,
                               .rtDirect = true};
}

}  // namespace tavo::fuzz
