#include "engine/records.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "engine/stands.h"
#include "foundation/geodesy.h"
#include "foundation/random.h"

namespace {

constexpr std::array<std::string_view, 5> kSimStateNames{"buffer", "adding2sim", "active", "liveryrespawn",
                                                         "removingfromsim"};
constexpr std::array<std::string_view, 11> kPhaseNames{"pushing_back", "pushed_back", "taxi",    "takeoff_roll",
                                                       "takeoff",      "flying",      "landing", "landing_roll",
                                                       "parking",      "parked",      "birth"};

constexpr std::array<CategoryValues, 7> kCategoryValues{{
    {3.0, -9.0, -15.0, 0.15, 250, 250, 100, 150},    // Light
    {5.0, -8.5, -17.0, 0.10, 275, 275, 150, 200},    // TwoProps
    {5.0, -8.0, -18.0, 0.09, 300, 300, 200, 250},    // Bizjet
    {8.0, -6.0, -16.5, 0.07, 400, 350, 200, 300},    // Large
    {12.0, -5.0, -12.5, 0.05, 450, 450, 250, 400},   // Heavy
    {4.0, -6.0, -20.0, 0.10, 150, 150, 100, 200},    // HighPerf
    {4.0, -20.0, -30.0, 0.20, 100, 100, 100, 100},   // Rotorcraft
}};

// Sorted, so that a lookup is a binary search.
constexpr std::array<std::string_view, 204> kSlowLight{
    "A210", "A5",   "AA1",  "AA5",  "AAT3", "AFOX", "ALGR", "AP22", "AP32", "ARCP", "AS02", "AS16", "ASTO", "BE23",
    "BE24", "BE33", "BE35", "BE36", "BEAR", "BL8",  "BR23", "BREZ", "BT36", "BTB2", "C140", "C150", "C152", "C162",
    "C170", "C172", "C175", "C177", "C180", "C182", "C185", "C206", "C207", "C210", "C42",  "C72R", "C77R", "C82R",
    "C82S", "C82T", "CC11", "CC19", "CTAH", "D140", "D28D", "D7",   "DA2",  "DA40", "DA50", "DIMO", "DO27", "DR22",
    "DR40", "DV1",  "DV20", "ECHO", "EFOX", "ELPS", "ERCO", "EUPA", "EV97", "EVOT", "EVSS", "EXNG", "F8L",  "FDCT",
    "FDF2", "FK14", "FK9",  "FM25", "FOX",  "G115", "G120", "G200", "G70",  "GA8",  "GB1",  "GLAS", "GX",   "HROC",
    "HUSK", "IMPU", "J3",   "JAB4", "JABI", "JAS4", "KP2",  "KP5",  "KR30", "M108", "M18",  "M200", "M20P", "M20T",
    "M5",   "M7",   "MCR1", "MCR4", "MJ5",  "MP02", "NG4",  "NG5",  "P149", "P208", "P210", "P28A", "P28B", "P28R",
    "P28S", "P28T", "P28U", "P32R", "PA18", "PA22", "PA24", "PA25", "PA32", "PA38", "PA46", "PARA", "PETR", "PIAT",
    "PIPA", "PISI", "PIVI", "PL2",  "PNR2", "PNR3", "PRIM", "PTS2", "R200", "RALL", "RBEL", "RF5",  "RF6",  "RISN",
    "RS21", "RV10", "RV12", "RV14", "RV4",  "RV6",  "RV7",  "RV8",  "RV9",  "S108", "S22T", "SAVG", "SE1",  "SF25",
    "SHRK", "SIRA", "SKAR", "SKRA", "SLG2", "SLG4", "SLH4", "SNGY", "SONX", "SR20", "SR22", "SSTL", "STCH", "STOR",
    "SUBA", "SVNH", "T206", "T210", "T34P", "TAGO", "TAIL", "TAMP", "TB20", "TB21", "TEX2", "TEXA", "TL20", "TL30",
    "TOBA", "TRAL", "TRF1", "TRIN", "TRIS", "TUCA", "TUCR", "U15",  "ULAC", "VENT", "VEZE", "VL3",  "VR7",  "VTRA",
    "WACO", "WFOC", "WT9",  "XA41", "XL2",  "Z42",  "Z43",  "ZEPH"};

constexpr std::array<std::string_view, 22> kSlowTwin{"B58T", "BE55", "BE58", "BE76", "C310", "C337", "C340", "DA42",
                                                     "DA62", "G21",  "G44",  "GA7",  "L200", "P06T", "P337", "P68",
                                                     "PA23", "PA27", "PA30", "PA31", "PA34", "PA44"};

constexpr std::array<std::string_view, 46> kSlowLarge{
    "AN24", "AT43", "AT44", "AT45", "AT46", "AT72", "AT73", "AT75", "AT76", "B190", "CRJ1", "CRJ2",
    "CRJ7", "CRJ9", "CRJX", "D328", "DH8A", "DH8B", "DH8C", "DH8D", "DHC6", "DHC7", "E110", "E120",
    "E135", "E145", "E170", "E190", "E195", "E290", "E295", "E35L", "E75L", "E75S", "F100", "F28",
    "F50",  "F70",  "J328", "JS41", "RJ70", "RJ85", "SB20", "SF34", "SH36", "SU95"};

template <std::size_t N>
constexpr bool lf_isSorted(const std::array<std::string_view, N>& list) {
    for (std::size_t i = 1; i < N; ++i)
        if (!(list[i - 1] < list[i])) return false;
    return true;
}
static_assert(lf_isSorted(kSlowLight) && lf_isSorted(kSlowTwin) && lf_isSorted(kSlowLarge),
              "the type lists are searched by halving");

template <std::size_t N>
bool lf_contains(const std::array<std::string_view, N>& list, std::string_view code) {
    return std::binary_search(list.begin(), list.end(), code);
}

// Stand search radius limits in metres.
constexpr double kMinStandSearchM = 18.0;
constexpr double kMaxStandSearchM = 65.0;

}  // namespace

std::string_view gf_acSimStateName(std::uint32_t state) {
    return state < kSimStateNames.size() ? kSimStateNames[state] : "?";
}

std::string_view gf_acPhaseName(std::uint32_t phase) { return phase < kPhaseNames.size() ? kPhaseNames[phase] : "?"; }

const CategoryValues& gf_categoryValues(std::uint32_t category) {
    if (category >= kCategoryValues.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kCategoryValues[category];
}

bool gf_isSlowLightType(std::string_view code) { return lf_contains(kSlowLight, code); }
bool gf_isSlowTwinType(std::string_view code) { return lf_contains(kSlowTwin, code); }
bool gf_isSlowLargeType(std::string_view code) { return lf_contains(kSlowLarge, code); }

AcInfo gf_makeAcInfo(const FlightIdentity& identity) {
    AcInfo info;
    static_cast<FlightIdentity&>(info) = identity;

    // A type without a wing span in the database gets the largest one: a
    // radius of 0 would let it fit every stand and never collide.
    double radius = gf_getWingspan(identity.key.model);
    if (!(radius > 0.0)) radius = gf_maxWingRadius();
    info.wingRadiusNm = radius;
    info.collisionRadiusNm = radius;

    info.category = gf_getModelCategory(identity.key.model);
    const CategoryValues& values = gf_categoryValues(info.category);
    info.groundOffsetFt = values.groundOffsetFt;

    const std::string_view code = gf_modelCodeAt(identity.key.model);
    const auto category = static_cast<ModelCategory>(info.category);
    info.isJetCategory = category == Bizjet || category == Large || category == Heavy;
    if (category == Large && gf_isSlowLargeType(code))
        info.isSlowLarge = 1;
    else if (category == TwoProps && gf_isSlowTwinType(code))
        info.isSlowTwoProp = 1;
    else if (category == Light && gf_isSlowLightType(code))
        info.isSlowLight = 1;

    info.flareTicks = values.flareTicks;
    info.approachLimit = values.approachLimit;
    info.rotationTicks = values.rotationTicks;
    info.climbPitchTicks = values.climbPitchTicks;
    info.rotationPitchRad = gf_randomizeByPercent(values.rotationPitchDeg, 2.5) * degreesToRadians;
    info.climbPitchRad = gf_randomizeByPercent(values.climbPitchDeg, 5.0) * degreesToRadians;
    info.turnRateRad = values.turnRateDeg * degreesToRadians;

    const double searchM = std::clamp(radius * metresPerNm * 1.8 + 12.0, kMinStandSearchM, kMaxStandSearchM);
    info.standSearchRadiusNm = searchM * metresToNm;
    info.standSearchRadiusWideNm = 1.25 * info.standSearchRadiusNm;
    return info;
}

AcBase gf_initStaticAircraft(const AcInfo& info, std::int32_t standId, LaLo standPos, double standHeadingRad,
                             bool cargo) {
    AcBase ac;
    static_cast<AcInfo&>(ac) = info;
    ac.standId = standId;
    ac.standPos = standPos;
    ac.standHeadingRad = standHeadingRad;
    ac.isCargo = cargo ? 1 : 0;
    const Stand* stand = gf_standById(standId);
    ac.isGate = stand != nullptr && gf_isGateName(stand->name);
    return ac;
}

LiveAc::LiveAc(std::deque<StreamPoint> initialStream, const AcInfo& info, double firstReportTime)
    : AcBase(), stream(std::move(initialStream)), lastReportTime(firstReportTime) {
    static_cast<AcInfo&>(*this) = info;
}
