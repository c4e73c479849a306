#pragma once
// Stop requests: the one way any thread ends or restarts a run of the main
// thread, the questions every waiting loop asks, the reports that turn a
// reader's failure into a message and a stop request, and the four thread
// slots.
//
// A run of the main thread is closed by the first request posted into the
// stop mailbox; later requests of the same run are dropped. The closing-down
// sequence reads the kept request and empties the mailbox before a restart.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// Why a run ends. The values are stored and logged; keep their order.
enum class StopReason : std::uint32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    InstallPathMissing = 5,
    SimConnectError = 6,
    ReaderError = 7,
    SystemError = 8,
    NewVersion = 9,
    TrafficMailboxStalled = 10,
};

struct StopReasonName {
    std::uint32_t value;
    std::string_view name;
};

// The eleven reasons with the names the log shows ("{} Exiting: {}").
inline constexpr std::array<StopReasonName, 11> kStopReasonNames{{
    {0, "NOT YET SET"},
    {1, "SIM WAS CLOSED"},
    {2, "NEW FLIGHT"},
    {3, "NEW SETTINGS"},
    {4, "USER CLOSED SIM"},
    {5, "INSTALL PATH MISSING"},
    {6, "SIMCONNECT ERROR"},
    {7, "READER ERROR"},
    {8, "SYSTEM ERROR"},
    {9, "NEW VERSION"},
    {10, "TRAFFIC MAILBOX STALLED"},
}};

// The name of a reason value. Throws std::out_of_range for a value that is no
// reason (a checked lookup: a corrupt request must not be named silently).
std::string_view gf_stopReasonName(std::uint32_t reason);

// True for the reasons after which the closing-down sequence restarts the run
// (NEW FLIGHT, NEW SETTINGS, SIMCONNECT ERROR, READER ERROR).
bool gf_stopReasonRestarts(std::uint32_t reason) noexcept;

// One posted request. Immutable once published; shared by pointer.
struct StopRequest {
    std::uint32_t reason = 0;     // a StopReason value
    std::uint32_t countdown = 0;  // seconds before a restart
};

// The stop mailbox: holds the pending request, or nothing. It offers the
// interface of std::atomic<std::shared_ptr<StopRequest>> (load, store,
// compare_exchange_strong) so a poster may store its own request against an
// empty expected value (first wins). It is not that type because the standard
// library shipped here releases the internal lock of its load with relaxed
// order, which leaves the read of the stored pointer unordered against a
// following compare-exchange on another thread (ThreadSanitizer reports it).
// Here every access is under a mutex, and keepRunning reads a separate atomic
// flag that mirrors "a request is pending", so asking stays lock-free.
class StopMailbox {
public:
    std::shared_ptr<StopRequest> load() const;
    void store(std::shared_ptr<StopRequest> request);
    // Stores desired when the mailbox holds expected (compared by pointer);
    // otherwise copies the held request into expected and returns false.
    bool compare_exchange_strong(std::shared_ptr<StopRequest>& expected, std::shared_ptr<StopRequest> desired);
    // The orders of the atomic interface are accepted; every access is
    // sequentially consistent anyway.
    std::shared_ptr<StopRequest> load(std::memory_order) const { return load(); }
    void store(std::shared_ptr<StopRequest> request, std::memory_order) { store(std::move(request)); }
    bool compare_exchange_strong(std::shared_ptr<StopRequest>& expected, std::shared_ptr<StopRequest> desired,
                                 std::memory_order, std::memory_order = std::memory_order_seq_cst) {
        return compare_exchange_strong(expected, std::move(desired));
    }
    // True while a request is pending; lock-free.
    bool pending() const noexcept { return m_pending.load(std::memory_order_acquire); }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<StopRequest> m_request;
    std::atomic<bool> m_pending{false};
};

// Empty while no request is pending; only the restart of the main state
// empties it (gf_clearStopMailbox).
extern StopMailbox g_stopMailbox;

// Set when the user closed the main window; never cleared in this process.
// While set, keepRunning is false and the program does not restart.
extern std::atomic<bool> g_exiting;

// Posts {reason, countdown}: stored only when the mailbox is empty, silently
// dropped otherwise. With USER CLOSED SIM, whatever happened to the request,
// g_exiting is set and the RT App server is closed (see gf_setRTAppServerCloser).
// Every modal dialog open then is asked to look whether it is refused (the
// shell refuses them while the program stops: gf_setModalDialogRefusal).
// Any thread; never throws.
void requestStop(std::uint32_t reason, std::uint32_t countdown) noexcept;
void requestStop(StopReason reason, std::uint32_t countdown) noexcept;

// True while no stop request is pending and the program is not exiting. Any
// thread, lock-free, cheap enough for every turn of every loop.
bool keepRunning() noexcept;

// The pending request, or null.
std::shared_ptr<StopRequest> gf_pendingStopRequest() noexcept;

// Empties the mailbox; the restart of the main state calls it, just before the
// next run is started.
void gf_clearStopMailbox() noexcept;

// The RT App server registers here, when it starts listening, the function
// that closes its client and listening sockets (so a thread blocked in accept
// or recv wakes up); it registers nullptr when it is reset. The server only
// listens while the RT App is the traffic source, so a registered closer means
// "the RT App is the source". requestStop(USER CLOSED SIM) calls it at once.
// The closer must be safe to call from any thread and more than once.
using RTAppServerCloser = void (*)();
void gf_setRTAppServerCloser(RTAppServerCloser closer) noexcept;

// Reports. Each shows its text in the main window (the GUI queue drops it when
// the window is gone) and posts its stop request.
// Error line (GuiUpdate ErrorText) and {SYSTEM ERROR, 0}.
void gf_reportSystemError(const std::string& text);
// An RT Direct reader (or its login) ended with a bad status: 402 shows the
// licence-expired line, anything else "The {} has stopped with an error".
// Posts {READER ERROR, 15} when sessionRefused (the session is renewed by a
// restart), else {SYSTEM ERROR, 15}.
void gf_reportReaderStopped(std::string_view readerName, bool sessionRefused, std::int32_t status);
// An RT App reader ended with an exception: "The {} has stopped with error: {}"
// and {READER ERROR, 15}.
void gf_reportReaderError(std::string_view readerName, const std::string& text);
// The simulator connection was lost: unless a stop is already under way, logs
// "{} Flight Simulator no longer connected, {} will stop ..." and posts
// {SIM WAS CLOSED, 0}.
void gf_simNoLongerConnected();
// The user started a new flight: {NEW FLIGHT, 60}.
void gf_requestNewFlight();

// The four thread slots. Each owns a stop source; assigning a new thread to a
// slot first requests stop on the thread it still holds and joins it (the
// move assignment of std::jthread), and at process exit each slot requests
// stop and joins. Only the SimClient thread takes its stop token; the others
// stop through keepRunning and their own flags. A slot is touched only by the
// thread that starts or joins its thread (the GUI thread for g_mainThread, the
// main thread for the other three).
extern std::jthread g_mainThread;
extern std::jthread g_simClientThread;
extern std::jthread g_trafficReaderThread;
extern std::jthread g_weatherReaderThread;

// Requests stop on the slot's thread and joins it when it is joinable; the slot
// is empty afterwards. Never called by the slot's own thread.
void gf_stopAndJoin(std::jthread& slot);
