#pragma once
// The state of the main window and the one road by which every thread changes
// it: a GuiUpdate item handed to Gui::enqueueUpdate. On the GUI thread the item
// is applied at once; from any other thread it is queued under the queue mutex
// and announced with one MSG_GUI_UPDATE per burst, on which the GUI thread
// drains the queue, applies the items in order and repaints once with the OR
// of their masks. Painting reads only the fields of Gui.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "foundation/files.h"
#include "platform/window/window.h"
#include "services/shell.h"

// The bands of the main window an update changes.
using RepaintMask = std::uint8_t;
inline constexpr RepaintMask kRepaintHeader = 1;    // status band (0, 32, 900, 96)
inline constexpr RepaintMask kRepaintSettings = 2;  // settings band (0, 96, 900, 640)
inline constexpr RepaintMask kRepaintParking = 4;   // parking band
inline constexpr RepaintMask kRepaintBottom = 8;    // bottom line (status or error)
inline constexpr RepaintMask kRepaintResize = 16;   // resize the window and repaint all of it

// The band rectangles of the main window in layout units (left, top, right,
// bottom). The header mask repaints the status band under the header line.
inline constexpr PixelRect kHeaderBand{0, 32, 900, 96};
inline constexpr PixelRect kSettingsBand{0, 96, 900, 640};
inline constexpr PixelRect kParkingExpanded{0, 640, 900, 736};
inline constexpr PixelRect kParkingCompact{0, 96, 900, 192};
inline constexpr PixelRect kBottomExpanded{0, 736, 900, 768};
inline constexpr PixelRect kBottomCompactPark{0, 192, 900, 224};
inline constexpr PixelRect kBottomCompact{0, 96, 900, 128};

// The forty kinds, numbered 0 to 39; the numbers are part of the interface.
enum class GuiUpdateKind : std::uint8_t {
    SetCompact = 0,
    ToggleCompact = 1,
    StayOnTop = 2,
    Minimise = 3,
    Repaint = 4,
    StatusTick = 5,
    TrafficSourceStarted = 6,
    StaticsWaiting = 7,
    TrafficReaderState = 8,
    DisplayRecord = 9,
    WeatherReaderState = 10,
    TrafficServiceInfo = 11,
    SimulatorName = 12,
    SimulatorReady = 13,
    LiveriesCount = 14,
    SimaddonCount = 15,
    ThirdpartyCount = 16,
    UserWingspanKnown = 17,
    LiveAircraftCount = 18,
    StandCount = 19,
    ParkedCounts = 20,
    ParkingTarget = 21,
    AirportQuality = 22,
    ParkAirportCode = 23,
    ParkedTrafficText = 24,
    ParkingInterval = 25,
    ParkedTrafficFlag = 26,
    Qnh = 27,
    QnhInHg = 28,
    ParkAirportText = 29,
    StandOptionUpdates = 30,
    StaticFit = 31,
    LiveFit = 32,
    UserStand = 33,
    DimSettingsLabels = 34,
    StatusLine = 35,
    ErrorText = 36,
    ClearStatusLine = 37,
    ClearError = 38,
    ResetDisplay = 39,
};
inline constexpr int kGuiUpdateKindCount = 40;

// Reader states shown by the lamps: running, running with trouble, not running.
inline constexpr std::uint32_t kReaderRunning = 0;
inline constexpr std::uint32_t kReaderTrouble = 1;
inline constexpr std::uint32_t kReaderStopped = 2;

using DisplayRecordBytes = std::array<std::uint8_t, 40>;

struct GuiTwoCounts {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
};
struct GuiTwoInts {
    std::int32_t first = 0;
    std::int32_t second = 0;
};
struct GuiTextFlag {
    std::string text;
    bool flag = false;
};

// One change of the displayed state. Build it with the factory of its kind;
// the item owns its text, so the caller's text may go away at once.
struct GuiUpdate {
    using Payload = std::variant<std::monostate, bool, std::uint8_t, std::uint32_t, std::int32_t, std::uint64_t, float,
                                 GuiTwoCounts, GuiTwoInts, std::string, GuiTextFlag, DisplayRecordBytes, IcaoCode>;

    GuiUpdateKind kind = GuiUpdateKind::Repaint;
    Payload payload;

    static GuiUpdate setCompact(bool compact);
    static GuiUpdate toggleCompact();
    static GuiUpdate stayOnTop(bool onTop);
    static GuiUpdate minimise();
    static GuiUpdate repaint(RepaintMask mask);
    static GuiUpdate statusTick();
    static GuiUpdate trafficSourceStarted();
    static GuiUpdate staticsWaiting(std::uint64_t count);
    static GuiUpdate trafficReaderState(std::uint32_t state);
    static GuiUpdate displayRecord(const DisplayRecordBytes& record);
    static GuiUpdate weatherReaderState(std::uint32_t state);
    static GuiUpdate trafficServiceInfo(std::string text);
    static GuiUpdate simulatorName(std::string name);
    static GuiUpdate simulatorReady(bool ready);
    static GuiUpdate liveriesCount(std::uint64_t count);
    static GuiUpdate simaddonCount(std::uint64_t count);
    static GuiUpdate thirdpartyCount(std::uint64_t count);
    static GuiUpdate userWingspanKnown(bool known);
    static GuiUpdate liveAircraftCount(std::uint64_t count);
    static GuiUpdate standCount(std::uint64_t count);
    static GuiUpdate parkedCounts(std::uint64_t liveParked, std::uint64_t statics);
    static GuiUpdate parkingTarget(std::int32_t count, std::int32_t percent);
    static GuiUpdate airportQuality(std::string text);
    // A default-built code means no airport.
    static GuiUpdate parkAirportCode(IcaoCode code);
    static GuiUpdate parkedTrafficText(bool flag, std::string text);
    static GuiUpdate parkingInterval(std::int32_t minutes);
    static GuiUpdate parkedTrafficFlag(bool flag);
    static GuiUpdate qnh(std::int32_t hectopascal);
    static GuiUpdate qnhInHg(bool inHg);
    static GuiUpdate parkAirportText(std::string text, bool handmade);
    static GuiUpdate standOptionUpdates(std::uint32_t count);
    static GuiUpdate staticFit(float value);
    static GuiUpdate liveFit(float value);
    static GuiUpdate userStand(std::string text);
    static GuiUpdate dimSettingsLabels();
    static GuiUpdate statusLine(std::string text, bool log);
    static GuiUpdate errorText(std::string text);
    static GuiUpdate clearStatusLine();
    static GuiUpdate clearError();
    static GuiUpdate resetDisplay();
};

// The displayed state of the main window and its update queue. One global
// instance (gf_gui); tests may build their own.
class Gui {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    Gui();
    virtual ~Gui();
    Gui(const Gui&) = delete;
    Gui& operator=(const Gui&) = delete;

    // --- posting (any thread; never throws) ---
    // Applies the item at once on the GUI thread, else queues it and announces
    // the burst with one MSG_GUI_UPDATE; dropped after close.
    void enqueue(GuiUpdate item) noexcept;
    // The global instance's enqueue and the posting operations on it.
    static void enqueueUpdate(GuiUpdate item) noexcept;
    static void addStatusLine(std::string_view text, bool log) noexcept;
    static void showError(std::string_view text) noexcept;
    static void showTbloHintOrClear() noexcept;
    static void showTrafficServiceInfo(std::string_view text) noexcept;
    static void showParkedTrafficText(bool flag, std::string_view text) noexcept;
    static void setParkedTrafficFlag(bool flag) noexcept;
    static void showParkAirport(std::string_view text, bool handmade) noexcept;
    static void showParkedTrafficValue(float value) noexcept;
    static void showUserPositionText(std::string_view text) noexcept;
    static void repaintHeaderBand() noexcept;
    static void repaintSettingsBand() noexcept;
    static void repaintLowerBand() noexcept;

    // --- GUI thread ---
    // Makes the calling thread the GUI thread and reopens the queue (the first
    // step of creating the window); clears the base heights.
    void attachGuiThread();
    // Stores the created window and, when items wait, posts one MSG_GUI_UPDATE
    // for them.
    void attachWindow(WindowHandle window);
    // Takes the whole queue and applies it in order; one repaint with the OR of
    // the masks. The window procedure runs it on MSG_GUI_UPDATE.
    void drain();
    RepaintMask applyUpdate(const GuiUpdate& item);
    void repaint(RepaintMask mask);
    void setCompact(bool compact);
    void reset();
    // Marks the queue closed (enqueuers see it without the lock) and drops
    // what is queued.
    void close();

    // The client height in layout units for the current mode: 768 expanded,
    // 224 compact with a park airport, 128 compact without.
    int clientLayoutHeight() const;
    // The outer window size for a client area of 900 by the given layout
    // height at the window's DPI.
    std::pair<int, int> windowSizeForClient(int layoutHeight) const;

    bool isGuiThread() const noexcept;
    std::size_t queuedCount();

    // Test seams: the steady clock of the status expiry, and the count of
    // repaints that did something (mask not 0 and a window).
    Clock clock;
    std::uint64_t repaintCount = 0;

    // --- the displayed state (GUI thread unless said otherwise) ---
    bool compact = false;
    std::vector<ControlId> expandedOnlyControls;  // hidden while compact
    PixelRect expandBox;                           // device pixels, stored at each paint
    unsigned dpi = 96;
    std::unordered_map<ControlId, int> baseHeights;  // 96-DPI heights of combo boxes
    // The DPI the controls font was made for; unset until the first one is
    // made (controls then get the painting font, made for 96 DPI).
    std::optional<unsigned> controlsFontDpi;

    std::string statusLine;
    std::string errorText;
    std::string parkedTrafficText;
    std::string parkAirportText;
    std::string airportQualityText;
    std::string simulatorName;
    std::string trafficServiceInfo;
    std::string userStand;

    IcaoCode parkAirport;  // none: no park airport shown
    float staticFit = -1.0f;
    float liveFit = -1.0f;
    std::uint64_t liveAircraftCount = 0;
    std::uint64_t simaddonCount = 0;
    std::uint64_t thirdpartyCount = 0;
    std::uint64_t liveriesCount = 0;
    std::uint64_t liveParkedCount = 0;
    std::uint64_t staticCount = 0;
    std::uint64_t standCount = 0;
    DisplayRecordBytes displayRecord{};
    std::int32_t parkingTargetPercent = 0;
    std::int32_t parkingTargetCount = 0;
    std::int32_t parkingIntervalMinutes = 0;
    std::chrono::steady_clock::time_point statusExpiry{};
    bool statusExpiryArmed = false;
    std::uint32_t standOptionUpdates = 0;
    std::uint64_t staticsWaiting = 0;
    std::int32_t qnhHpa = 0;

    bool qnhInHg = false;
    bool parkAirportFlag = false;
    bool trafficSourceNotStarted = true;
    bool parkedTrafficTextFlag = false;
    bool simulatorReady = false;
    bool userWingspanKnown = true;
    bool parkedTrafficFlag = false;
    std::atomic<bool> parkedTrafficFlagShared{false};  // written by posters, read by the planner
    bool settingsLabelsActive = true;

    std::uint32_t trafficReaderState = kReaderStopped;
    std::uint32_t weatherReaderState = kReaderStopped;

    // --- the queue (any thread) ---
    std::atomic<WindowHandle> window{WindowHandle::None};
    std::atomic<std::thread::id> guiThread{};
    std::atomic<bool> closed{false};
    std::atomic<bool> drainPosted{false};

private:
    std::mutex m_queueMutex;
    std::deque<GuiUpdate> m_queue;
};

// The program's one Gui; built on first use, lives until process exit.
Gui& gf_gui();

// How long a status line stays before a StatusTick removes it.
inline constexpr std::chrono::seconds kStatusLineLifetime{25};

// Where users send the airport-scan archive (the hint names it, and the scan
// writes it into the note beside the archive).
inline constexpr std::string_view kTbloContactAddress = "support@tavo-traffic.org";
// The status line that asks the user to send the airport-scan archive.
void gf_showTbloHint() noexcept;
// The airport scan registers the question "does an archive wait to be sent?"
// (its pending flag); while none is registered the answer is no.
using TbloPendingQuery = bool (*)();
void gf_setTbloPendingQuery(TbloPendingQuery query) noexcept;
bool gf_tbloPending() noexcept;
