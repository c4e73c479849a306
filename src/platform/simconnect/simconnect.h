#pragma once
// The simulator's client API as TAVO calls it. On this platform the calls are
// answered by the in-process simulator model (sim_model.h), which stands in for
// the running simulator; the shape of every call is the one the program uses
// against the real library, so the simulator link is written once.
//
// Conventions kept from the real API:
// - every call returns an HRESULT; negative means the call failed and nothing
//   was sent. Log it with "0x{:08X}" of static_cast<std::uint32_t>(hr).
// - a call that succeeded was sent as one packet; its packet id (rising per
//   connection, from 1) is what SimConnect_GetLastSentPacketID returns, and
//   what an EXCEPTION record reports later as dwSendID when the simulator
//   rejects the call after the fact (unknown title, unknown object, ...).
// - answers arrive only through SimConnect_CallDispatch, which hands each
//   queued record and its size in bytes to the dispatch procedure, oldest
//   first. Fields past the size must not be read: a truncated record is
//   delivered in a buffer of exactly that size.
// - records are packed without padding; data of a SIMOBJECT_DATA record starts
//   at offset 40, of a FACILITY_DATA record at offset 40.

#include <cstddef>
#include <cstdint>

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using HANDLE = void*;
using HWND = void*;

#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

inline constexpr HRESULT S_OK = 0;
// Unspecified failure: the simulator is not running, the call was refused, or
// a fault knob of the model fired.
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
// A null or unknown argument (handle, name, data pointer).
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// A handle that is not (or no longer) an open connection.
inline constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

using SIMCONNECT_OBJECT_ID = DWORD;
using SIMCONNECT_DATA_DEFINITION_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_ID = DWORD;
using SIMCONNECT_CLIENT_EVENT_ID = DWORD;
using SIMCONNECT_NOTIFICATION_GROUP_ID = DWORD;
using SIMCONNECT_DATA_SET_FLAG = DWORD;
using SIMCONNECT_DATA_REQUEST_FLAG = DWORD;
using SIMCONNECT_EVENT_FLAG = DWORD;

// "No datum id" for SimConnect_AddToDataDefinition.
inline constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
// Object id 0 names the user aircraft in every request; replies carry the
// aircraft's real object id.
inline constexpr SIMCONNECT_OBJECT_ID SIMCONNECT_OBJECT_ID_USER = 0;

inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST_MASKABLE = 10000000;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_STANDARD = 1900000000;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_DEFAULT = 2000000000;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_LOWEST = 4000000000u;

inline constexpr SIMCONNECT_EVENT_FLAG SIMCONNECT_EVENT_FLAG_DEFAULT = 0;
inline constexpr SIMCONNECT_EVENT_FLAG SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
inline constexpr SIMCONNECT_DATA_SET_FLAG SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0;
inline constexpr SIMCONNECT_DATA_REQUEST_FLAG SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;

// Value types of a data definition. Strings of fixed width are padded with
// NUL and cut to width (the last byte is not forced to NUL); STRINGV takes the
// text and its NUL.
enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,  // cancels an earlier request with the same id
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

// Kinds of received record (dwID of SIMCONNECT_RECV).
enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
    SIMCONNECT_RECV_ID_EVENT_EX1 = 27,
    SIMCONNECT_RECV_ID_FACILITY_DATA = 28,
    SIMCONNECT_RECV_ID_FACILITY_DATA_END = 29,
};

// Exception numbers of an EXCEPTION record.
enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_UNOPENED = 4,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// Block kinds of a FACILITY_DATA record (its Type field). Runway thresholds
// arrive as kind 23, their parent being the runway block.
enum SIMCONNECT_FACILITY_DATA_TYPE : DWORD {
    SIMCONNECT_FACILITY_DATA_AIRPORT = 0,
    SIMCONNECT_FACILITY_DATA_RUNWAY = 1,
    SIMCONNECT_FACILITY_DATA_START = 2,
    SIMCONNECT_FACILITY_DATA_HELIPAD = 4,
    SIMCONNECT_FACILITY_DATA_TAXI_PARKING = 15,
    SIMCONNECT_FACILITY_DATA_PAVEMENT = 23,
};
inline constexpr SIMCONNECT_FACILITY_DATA_TYPE SIMCONNECT_FACILITY_DATA_THRESHOLD =
    SIMCONNECT_FACILITY_DATA_PAVEMENT;

// Initial position of an AI create: degrees, feet, degrees, knots.
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;
    double Longitude;
    double Altitude;
    double Pitch;
    double Bank;
    double Heading;
    DWORD OnGround;
    DWORD Airspeed;
};
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);

// ---- received records; the offsets in the comments are the wire layout ----

struct SIMCONNECT_RECV {
    DWORD dwSize;     // 0: bytes of this record
    DWORD dwVersion;  // 4
    DWORD dwID;       // 8: SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
    DWORD dwException;  // 12: SIMCONNECT_EXCEPTION
    DWORD dwSendID;     // 16: packet id of the call that failed
    DWORD dwIndex;      // 20: index of the faulty argument or datum
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
    char szApplicationName[256];           // 12: "KittyHawk" (2020), "SunRise" (2024)
    DWORD dwApplicationVersionMajor;       // 268
    DWORD dwApplicationVersionMinor;       // 272
    DWORD dwApplicationBuildMajor;         // 276
    DWORD dwApplicationBuildMinor;         // 280
    DWORD dwSimConnectVersionMajor;        // 284
    DWORD dwSimConnectVersionMinor;        // 288
    DWORD dwSimConnectBuildMajor;          // 292
    DWORD dwSimConnectBuildMinor;          // 296
    DWORD dwReserved1;                     // 300
    DWORD dwReserved2;                     // 304
};

using SIMCONNECT_RECV_QUIT = SIMCONNECT_RECV;

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
    DWORD uGroupID;  // 12: SIMCONNECT_UNUSED for system events
    DWORD uEventID;  // 16: the client's event id
    DWORD dwData;    // 20
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE : SIMCONNECT_RECV_EVENT {
    DWORD eObjType;  // 24: SIMCONNECT_SIMOBJECT_TYPE; dwData holds the object id
};

struct SIMCONNECT_RECV_EVENT_FILENAME : SIMCONNECT_RECV_EVENT {
    char szFileName[260];  // 24
    DWORD dwFlags;         // 284
};

struct SIMCONNECT_RECV_EVENT_FRAME : SIMCONNECT_RECV_EVENT {
    float fFrameRate;  // 24
    float fSimSpeed;   // 28
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
    DWORD dwRequestID;    // 12
    DWORD dwObjectID;     // 16
    DWORD dwDefineID;     // 20
    DWORD dwFlags;        // 24
    DWORD dwentrynumber;  // 28: 1-based entry of a by-type answer
    DWORD dwoutof;        // 32: number of entries of a by-type answer
    DWORD dwDefineCount;  // 36: number of values
    DWORD dwData;         // 40: first byte of the packed values
};

using SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE = SIMCONNECT_RECV_SIMOBJECT_DATA;

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID : SIMCONNECT_RECV {
    DWORD dwRequestID;  // 12
    DWORD dwObjectID;   // 16
};

struct SIMCONNECT_RECV_FACILITY_DATA : SIMCONNECT_RECV {
    DWORD UserRequestId;          // 12: the request id of SimConnect_RequestFacilityData
    DWORD UniqueRequestId;        // 16: identity of this block
    DWORD ParentUniqueRequestId;  // 20: identity of the enclosing block (0 for the airport)
    DWORD Type;                   // 24: SIMCONNECT_FACILITY_DATA_TYPE
    DWORD IsListItem;             // 28
    DWORD ItemIndex;              // 32
    DWORD ListSize;               // 36
    DWORD Data;                   // 40: first byte of the packed fields
};

struct SIMCONNECT_RECV_FACILITY_DATA_END : SIMCONNECT_RECV {
    DWORD RequestId;  // 12
};

// The records derive from SIMCONNECT_RECV as the client code expects (a
// static_cast from the dispatched pointer); g++ lays such types out plainly,
// which these checks pin down.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE) == 28);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 288);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == 32);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData) == 40);
static_assert(sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID) == 20);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, Data) == 40);
static_assert(sizeof(SIMCONNECT_RECV_FACILITY_DATA_END) == 16);
#pragma GCC diagnostic pop

// The dispatch procedure: one received record, its size in bytes and the
// context handed to SimConnect_CallDispatch.
using DispatchProc = void (*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// ---- calls ----

// Opens a connection named szName. Fails (E_FAIL) while the simulator does not
// run. On success the first record queued is OPEN. hWnd, UserEventWin32 and
// hEventHandle are accepted for shape and ignored.
HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
// Closes the connection: its queued records are dropped and the AI objects it
// created leave the simulator (other subscribers see ObjectRemoved).
HRESULT SimConnect_Close(HANDLE hSimConnect);
// Hands every record that was queued when the call began to pfcnDispatch, in
// order. An exception thrown by the procedure passes out of this call; that
// record is consumed and the rest stay queued. After the simulator quit and
// the QUIT record was delivered, the call fails.
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);

// System events known: "Sim" (state sent at once, then on each change; data 1
// while a flight runs), "Frame", "ObjectAdded", "ObjectRemoved", "FlightLoaded",
// "1sec". Another name is answered later by EXCEPTION 7 (name unrecognised).
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName);
// Adds one variable to a definition. Names match without regard to case; an
// unknown name is answered later by EXCEPTION 7 with this call's packet id and
// the datum's index, and packs as zeros.
HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float fEpsilon = 0, DWORD DatumID = SIMCONNECT_UNUSED);
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags = 0, DWORD origin = 0,
                                          DWORD interval = 0, DWORD limit = 0);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
// ArrayCount 0 or 1 sets one unit of cbUnitSize bytes; cbUnitSize must be the
// packed size of the definition, else EXCEPTION 19 follows.
HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
// Creates an AI aircraft; ASSIGNED_OBJECT_ID with RequestID follows, or
// EXCEPTION 22 with this call's packet id when the title is not installed.
HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID);
// A plan file that cannot be read is answered by EXCEPTION 23.
HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName = "");
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags);
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable = FALSE);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority);
HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError);

// Facility definitions: "OPEN <BLOCK>", field names and "CLOSE <BLOCK>" in the
// order the answer's blocks and fields shall follow. Blocks: AIRPORT,
// TAXI_PARKING, HELIPAD, RUNWAY, START, PRIMARY_THRESHOLD, SECONDARY_THRESHOLD.
// An unknown field, a block in the wrong parent or a CLOSE without its OPEN
// fails the call with E_INVALIDARG.
HRESULT SimConnect_AddToFacilityDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                           const char* FieldName);
// Answers with FACILITY_DATA blocks (the airport, then each child list in the
// order of the definition, each item followed by its own children) and one
// FACILITY_DATA_END; an airport the simulator does not know is answered by
// EXCEPTION 20 with this call's packet id.
HRESULT SimConnect_RequestFacilityData(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       SIMCONNECT_DATA_REQUEST_ID RequestID, const char* ICAO,
                                       const char* Region = "");
