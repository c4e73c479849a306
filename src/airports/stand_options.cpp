#include "airports/stand_options.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cmath>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "engine/records.h"
#include "airports/parking_state.h"
#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "services/gui.h"

std::uint32_t g_learnedOptionCount = 0;

namespace {

std::string_view withoutTrailingUnderscore(std::string_view text) {
    if (!text.empty() && text.back() == '_') text.remove_suffix(1);
    return text;
}

StandOption* optionByNumber(std::vector<StandOption>& options, std::uint32_t number) {
    if (number == 0) return nullptr;
    for (StandOption& option : options) {
        if (option.number == number) return &option;
    }
    return nullptr;
}

void countLearnedOption() {
    ++g_learnedOptionCount;
    Gui::enqueueUpdate(GuiUpdate::standOptionUpdates(g_learnedOptionCount));
}

bool isWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The stand's name holds the word as a whole word (no letter or digit just
// before or after it) and the stand lies within 250 m of the position.
bool lf_standHasNameWord(const Stand& stand, std::string_view word, LaLo position) {
    const std::string_view name = stand.name;
    for (std::size_t at = name.find(word); at != std::string_view::npos; at = name.find(word, at + 1)) {
        const bool startsWord = at == 0 || !isWordCharacter(name[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end >= name.size() || !isWordCharacter(name[end]);
        if (startsWord && endsWord)
            return gf_distanceNm(position, LaLo{stand.latitude, stand.longitude}) <= 0.1349892008639309;
    }
    return false;
}

// The nearest stand search over stands offered to it in vector order: the
// nearest usable, fitting stand within 81.25 m and the aircraft's own stand
// radius (the first on equal distances), else, when allowed, the nearest
// within its wider radius with a real option for it.
class NearestStandSearch {
public:
    NearestStandSearch(LaLo position, const AcInfo& aircraft, bool allowFallback)
        : position_(position),
          aircraft_(aircraft),
          allowFallback_(allowFallback),
          rotorcraft_(aircraft.category == Rotorcraft),
          cosLatitude_(std::cos(position.lat * 0.017453292519943295)),
          ownSquared_(aircraft.standSearchRadiusNm * aircraft.standSearchRadiusNm),
          fallbackSquared_(aircraft.standSearchRadiusWideNm * aircraft.standSearchRadiusWideNm) {}

    void consider(Stand& stand) {
        if (stand.type == ParkingType::NONE || stand.blocked || stand.heli != rotorcraft_) return;
        const double dLat = (stand.latitude - position_.lat) * 60.0;
        const double dLon = gf_wrapLongitudeDifference(stand.longitude - position_.lon) * 60.0 * cosLatitude_;
        if (std::fabs(dLat) > kBoxNm || std::fabs(dLon) > kBoxNm) return;
        if (!gf_standFitsAircraft(stand, static_cast<std::int32_t>(aircraft_.category), aircraft_.wingRadiusNm)) return;
        const double squared = dLat * dLat + dLon * dLon;
        if (squared > kLimitSquaredNm) return;
        if (squared <= ownSquared_ && (best_ == nullptr || squared < bestSquared_)) {
            best_ = &stand;
            bestSquared_ = squared;
        }
        if (best_ == nullptr && allowFallback_ && squared <= fallbackSquared_ &&
            (fallback_ == nullptr || squared < fallbackSquared2_) &&
            gf_standHasRealOptionForAircraft(stand.options, aircraft_.callsign, aircraft_.key)) {
            fallback_ = &stand;
            fallbackSquared2_ = squared;
        }
    }

    Stand* result(double& distanceMetres) const {
        distanceMetres = 100000.0;
        if (best_ != nullptr) {
            distanceMetres = std::sqrt(bestSquared_) * 1852.0;
            return best_;
        }
        if (fallback_ != nullptr) {
            distanceMetres = std::sqrt(fallbackSquared2_) * 1852.0;
            return fallback_;
        }
        return nullptr;
    }

    static constexpr double kBoxNm = 0.04387149028077754;             // 81.25 m
    static constexpr double kLimitSquaredNm = 0.0019247076594563581;  // the same, squared

private:
    LaLo position_;
    const AcInfo& aircraft_;
    bool allowFallback_;
    bool rotorcraft_;
    double cosLatitude_;
    double ownSquared_;
    double fallbackSquared_;
    Stand* best_ = nullptr;
    double bestSquared_ = 0.0;
    Stand* fallback_ = nullptr;
    double fallbackSquared2_ = 0.0;
};

// The first run of letters and digits of a text (empty when it has none).
std::string_view lf_firstToken(std::string_view text) {
    const auto begin = std::find_if(text.begin(), text.end(), isWordCharacter);
    const auto end = std::find_if_not(begin, text.end(), isWordCharacter);
    return text.substr(static_cast<std::size_t>(begin - text.begin()), static_cast<std::size_t>(end - begin));
}

}  // namespace

StandNameWords::StandNameWords(const std::vector<Stand>& stands) : stands_(&stands) {
    for (std::uint32_t i = 0; i < stands.size(); ++i) {
        const std::string_view name = stands[i].name;
        for (std::string_view rest = name; !rest.empty();) {
            const std::string_view token = lf_firstToken(rest);
            if (token.empty()) break;
            std::vector<std::uint32_t>& at = byToken_[std::string(token)];
            // A token twice in one name lists the stand once.
            if (at.empty() || at.back() != i) at.push_back(i);
            rest = rest.substr(static_cast<std::size_t>(token.data() + token.size() - rest.data()));
        }
    }
}

std::uint32_t StandNameWords::find(std::string_view parkingText, LaLo position) const {
    if (parkingText.size() < 6) return 0;
    const std::string_view word = parkingText.substr(5);
    // A name that holds the word as a whole word holds its first token as a
    // whole token: the stands listed under that token are all there is to
    // test, in table order.
    const std::string_view token = lf_firstToken(word);
    if (token.empty()) return gf_findStandByNameWord(*stands_, parkingText, position);
    const auto listed = byToken_.find(token);
    if (listed == byToken_.end()) return 0;
    for (const std::uint32_t i : listed->second) {
        const Stand& stand = (*stands_)[i];
        if (lf_standHasNameWord(stand, word, position)) return stand.id;
    }
    return 0;
}

std::pair<std::uint32_t, bool> gf_addStandOption(std::vector<StandOption>& options, AcKey key, WeekTime now,
                                                 std::string_view callsign, std::string_view registration, bool cpl) {
    if (registration.empty()) return {0, false};
    callsign = withoutTrailingUnderscore(callsign);
    HoursBitset hours;
    hours.set(now.slot);  // a slot of 48 or more throws std::out_of_range
    const auto number = static_cast<std::uint32_t>(options.size() + 1);
    if (key.flag == 0) {
        if (const auto known = gf_findRegistration(registration)) key = *known;
    }
    for (const StandOption& option : options) {
        if (option.registration == registration && option.day == now.day && option.hours == hours) return {0, false};
    }
    StandOption option;
    option.key = key;
    option.registration = std::string(registration);
    option.callsign1 = std::string(callsign);
    option.hours = hours;
    option.number = number;
    option.day = now.day;
    option.mark = 0;
    option.real = 1;
    option.cpl = cpl;
    options.push_back(std::move(option));
    countLearnedOption();
    return {number, true};
}

void gf_addOptionCallsign(std::vector<StandOption>& options, std::uint32_t number, std::string_view callsign) {
    callsign = withoutTrailingUnderscore(callsign);
    if (callsign.empty()) return;
    StandOption* option = optionByNumber(options, number);
    if (option == nullptr) return;
    if (option->callsign1.empty()) {
        option->callsign1 = std::string(callsign);
    } else if (option->callsign2.empty() && callsign != option->callsign1) {
        option->callsign2 = std::string(callsign);
    } else if (callsign != option->callsign1 && callsign != option->callsign2) {
        option->callsign2 = std::string(callsign);
    }
}

bool updateOptions(std::vector<StandOption>& options, SlotList& slots, std::uint32_t number) {
    StandOption* option = optionByNumber(options, number);
    if (option == nullptr) return false;
    try {
        while (!slots.empty()) {
            option->hours.set(slots.back());
            slots.pop_back();
        }
    } catch (const std::exception& error) {
        gf_logError(fmt::format("{} exception:{}", "updateOptions", error.what()));
    }
    return true;
}

bool updateOptionsWrapped(std::vector<StandOption>& options, SlotList& slots, std::uint32_t first,
                          std::uint32_t second) {
    StandOption* before = optionByNumber(options, first);
    StandOption* after = optionByNumber(options, second);
    if (before == nullptr || after == nullptr) return false;
    if (slots.empty()) return true;
    // A list shorter than a day: any slot later than the newest belongs to
    // the day before, so the run before midnight never takes today's slots.
    const std::uint32_t newest = slots.front();
    try {
        while (!slots.empty()) {
            const std::uint32_t slot = slots.back();
            (slot > newest ? before : after)->hours.set(slot);
            slots.pop_back();
        }
    } catch (const std::exception& error) {
        gf_logError(fmt::format("{} exception:{}", "updateOptions", error.what()));
        return false;
    }
    return true;
}

SlotList gf_listPreviousSlots(WeekTime time, std::int32_t n) {
    SlotList slots;
    slots.reserve(kSlotsPerDay);
    for (std::int32_t i = 0; i < n; ++i) {
        slots.push_back(time.slot);
        if (time.slot == 0) {
            time.slot = kSlotsPerDay - 1;
            time.day = time.day <= 1 ? 7 : time.day - 1;
        } else {
            --time.slot;
        }
    }
    return slots;
}

bool lf_addStandOptionSpan(WeekTime now, std::vector<StandOption>& options, std::uint32_t number, WeekTime last,
                           const AcKey& key, std::uint32_t category, std::string_view callsign, bool cpl) {
    if (number == 0) return false;
    if (now == last) return true;
    const std::int64_t longest = key.cargo != 0 ? 12 : category == Heavy ? 8 : 6;
    std::int64_t distance = (static_cast<std::int64_t>(now.day) - last.day) * kSlotsPerDay +
                            static_cast<std::int64_t>(now.slot) - last.slot;
    if (distance < 0) distance += 7 * kSlotsPerDay;
    if (distance < 1 || distance >= longest) return false;
    SlotList slots = gf_listPreviousSlots(now, static_cast<std::int32_t>(distance));
    if (now.day == last.day) {
        updateOptions(options, slots, number);
        gf_addOptionCallsign(options, number, callsign);
        return true;
    }
    const StandOption* old = optionByNumber(options, number);
    if (old == nullptr) return false;
    const std::string registration = old->registration;
    const auto [added, isNew] = gf_addStandOption(options, key, now, callsign, registration, cpl);
    if (!isNew) return false;
    if (updateOptionsWrapped(options, slots, number, added)) {
        gf_addOptionCallsign(options, number, callsign);
        gf_addOptionCallsign(options, added, callsign);
        return true;
    }
    if (StandOption* fresh = optionByNumber(options, added)) fresh->number = 0;
    return false;
}

void gf_addRealStandOption(std::int64_t standId, AcInfo& aircraft, std::int32_t kind) {
    const std::string registration(withoutTrailingUnderscore(aircraft.registration));
    const std::optional<AcKey> known = gf_findRegistration(registration);
    if (!known) return;
    aircraft.key = *known;
    Stand* stand = gf_standById(standId);
    if (stand == nullptr) return;
    const bool cpl = kind == 2 || kind == 3;
    const WeekTime now = gf_weekTimeOf(g_weekTime.load());
    try {
        std::vector<StandOption>& options = stand->options;
        // The options of today for this aircraft, seen at this stand.
        const auto ofToday = [&](const StandOption& option, std::uint32_t mark) {
            return option.number != 0 && option.day == now.day && option.real != 0 && option.mark == mark &&
                   option.registration == registration;
        };
        // Its flight as the airport file plans it, at another time of day:
        // nothing is learned from it.
        for (const StandOption& option : options) {
            if (ofToday(option, 1) && !option.hours.test(now.slot)) return;
        }
        const auto addOption = [&] {
            gf_addStandOption(options, aircraft.key, now, aircraft.callsign, registration, cpl);
        };
        const auto learned = std::find_if(options.begin(), options.end(),
                                          [&](const StandOption& option) { return ofToday(option, 0); });
        if (learned == options.end()) {
            addOption();
            return;
        }
        const std::size_t index = static_cast<std::size_t>(learned - options.begin());
        if (learned->hours.test(now.slot)) {
            if (cpl) learned->cpl = true;
            return;
        }
        if (learned->cpl) {
            addOption();
            return;
        }
        std::uint32_t lastSlot = kSlotsPerDay - 1;
        while (lastSlot > 0 && !learned->hours.test(lastSlot)) --lastSlot;
        const std::uint32_t number = learned->number;
        if (lf_addStandOptionSpan(now, options, number, WeekTime{now.day, lastSlot}, aircraft.key, aircraft.category,
                                  aircraft.callsign, cpl)) {
            countLearnedOption();
        } else {
            addOption();
        }
        // Adding may have moved the options: the one found is taken again by
        // its place.
        if (cpl) options[index].cpl = true;
    } catch (const std::exception& error) {
        gf_logError(fmt::format("{}: hh_now: {}, {}", "gf_addRealStandOption", now.slot, error.what()));
    }
}

void gf_applyStandOptionCallsigns(const std::vector<Stand>& stands, WeekTime now, AcInfo& aircraft) {
    if (aircraft.callsign.empty()) return;
    const std::string_view withUnderscore = aircraft.callsign;
    const std::string_view plain = withoutTrailingUnderscore(withUnderscore);
    if (plain.empty()) return;
    const std::int64_t reach = aircraft.category == Heavy ? 14 : 10;
    const std::int64_t slot = now.slot;
    HoursBitset window;
    for (std::int64_t s = std::max<std::int64_t>(0, slot - reach);
         s <= std::min<std::int64_t>(kSlotsPerDay - 1, slot + reach); ++s) {
        window.set(static_cast<std::size_t>(s));
    }
    const auto named = [&](const std::string& callsign) { return callsign == withUnderscore || callsign == plain; };
    for (const Stand& stand : stands) {
        for (const StandOption& option : stand.options) {
            if (option.number == 0 || option.day != now.day || option.key.airline != aircraft.key.airline ||
                option.callsign2.empty() || (option.hours & window).none()) {
                continue;
            }
            if (named(option.callsign1) || named(option.callsign2)) {
                aircraft.identity2 = option.callsign1;
                aircraft.identity3 = option.callsign2;
                return;
            }
        }
    }
}

std::uint32_t gf_findStandByNameWord(const std::vector<Stand>& stands, std::string_view parkingText, LaLo position) {
    if (parkingText.size() < 6) return 0;
    const std::string_view word = parkingText.substr(5);
    for (const Stand& stand : stands)
        if (lf_standHasNameWord(stand, word, position)) return stand.id;
    return 0;
}

Stand* gf_findNearestStand(std::vector<Stand>& stands, LaLo position, const AcInfo& aircraft, double& distanceMetres,
                           bool allowFallback) {
    NearestStandSearch search(position, aircraft, allowFallback);
    for (Stand& stand : stands) search.consider(stand);
    return search.result(distanceMetres);
}

StandGrid::StandGrid(std::vector<Stand>& stands) : stands_(&stands) {
    if (stands.empty()) return;
    origin_ = LaLo{stands.front().latitude, stands.front().longitude};
    // A square is the search's reach wide at the first stand's latitude.
    cellLonDeg_ = kCellLatDeg / std::max(std::cos(origin_.lat * degreesToRadians), 1e-6);
    for (std::uint32_t i = 0; i < stands.size(); ++i) {
        const Stand& stand = stands[i];
        cells_[lf_cellKey(lf_row(stand.latitude), lf_column(gf_wrapLongitudeDifference(stand.longitude - origin_.lon)))]
            .push_back(i);
    }
}

Stand* StandGrid::findNearest(LaLo position, const AcInfo& aircraft, double& distanceMetres, bool allowFallback) const {
    std::vector<Stand>& stands = *stands_;
    NearestStandSearch search(position, aircraft, allowFallback);
    const double offset = gf_wrapLongitudeDifference(position.lon - origin_.lon);
    const double cosLatitude = std::cos(position.lat * degreesToRadians);
    // The longitudes the search reaches at the position's latitude, in the
    // squares' own terms; where that spans more squares than there are
    // stands (near a pole), every stand is simply looked at. A stand within
    // reach lies in a square looked at; the others fail the test anyway.
    const double reachLonDeg = cosLatitude > 1e-6 ? kCellLatDeg / cosLatitude : 360.0;
    const std::int64_t firstRow = lf_row(position.lat - kCellLatDeg) - 1, lastRow = lf_row(position.lat + kCellLatDeg) + 1;
    const std::int64_t firstColumn = lf_column(offset - reachLonDeg) - 1, lastColumn = lf_column(offset + reachLonDeg) + 1;
    const auto squares = static_cast<double>(lastRow - firstRow + 1) * static_cast<double>(lastColumn - firstColumn + 1);
    if (squares > static_cast<double>(stands.size())) {
        for (Stand& stand : stands) search.consider(stand);
        return search.result(distanceMetres);
    }
    // The stands of the squares around the position, in vector order, as the
    // plain search meets them.
    std::vector<std::uint32_t> near;
    for (std::int64_t row = firstRow; row <= lastRow; ++row) {
        for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
            const auto square = cells_.find(lf_cellKey(row, column));
            if (square != cells_.end()) near.insert(near.end(), square->second.begin(), square->second.end());
        }
    }
    std::sort(near.begin(), near.end());
    for (const std::uint32_t i : near) search.consider(stands[i]);
    return search.result(distanceMetres);
}

std::int64_t StandGrid::lf_row(double latitude) { return static_cast<std::int64_t>(std::floor(latitude / kCellLatDeg)); }

std::int64_t StandGrid::lf_column(double longitudeOffset) const {
    return static_cast<std::int64_t>(std::floor(longitudeOffset / cellLonDeg_));
}

std::uint64_t StandGrid::lf_cellKey(std::int64_t row, std::int64_t column) {
    return (static_cast<std::uint64_t>(row) << 32) ^ static_cast<std::uint64_t>(column & 0xFFFFFFFF);
}

std::uint64_t gf_rateAirportStands(const std::vector<Stand>& stands) {
    const bool anyOption =
        std::any_of(stands.begin(), stands.end(), [](const Stand& stand) { return !stand.options.empty(); });
    if (!anyOption) return ~std::uint64_t{0};
    double weightSum = 0.0;
    double score[2] = {0.0, 0.0};  // real, soft
    for (const Stand& stand : stands) {
        if (stand.type == ParkingType::FUEL) continue;
        const double weight = stand.radius <= 7.0 ? 0.3 : stand.radius <= 10.0 ? 1.5 : 1.0;
        weightSum += weight;
        for (int kind = 0; kind < 2; ++kind) {
            std::uint32_t count = 0;
            std::bitset<8> days;
            HoursBitset hoursUnion;
            std::size_t hourSum = 0;
            for (const StandOption& option : stand.options) {
                if (option.number == 0 || (option.real != 0) != (kind == 0)) continue;
                ++count;
                if (option.day >= 1 && option.day <= 7) days.set(option.day);
                hoursUnion |= option.hours;
                hourSum += option.hours.count();
            }
            if (count == 0) continue;
            score[kind] += (static_cast<double>(hoursUnion.count()) * 12.5 + static_cast<double>(days.count()) * 100.0 +
                            std::min(20.0 * count, 4000.0) + 10000.0 + std::min(2.0 * hourSum, 700.0)) *
                           weight;
        }
    }
    if (!(weightSum > 0.0)) return 0;
    std::uint64_t ratings[2] = {0, 0};
    for (int kind = 0; kind < 2; ++kind) {
        const double rating = std::clamp(std::round(score[kind] / weightSum * 0.00625), 0.0, 100.0);
        ratings[kind] = static_cast<std::uint64_t>(rating);
    }
    return ratings[0] | (ratings[1] << 32);
}
