#pragma once
// Every setting of the program is one global, typed parameter object named by
// its key in parameters.xml. The objects live from static initialisation until
// exit and are never copied. Values are read and written from the GUI thread
// and the main thread, so each object guards its value itself: scalars are
// atomics, texts and paths sit behind a small per-object lock. Getters copy the
// value out; no lock is ever held while a file is read or written.
//
// Worker threads do not read these objects; they read the settings snapshot
// (settings/snapshot.h).

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

// ---------------------------------------------------------------------------
// Base classes

class Parameter {
public:
    explicit Parameter(std::string name_);
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key exactly as written in parameters.xml.
    const std::string name;
};

// The binding of a parameter to its control in the main window. The layout
// numbers are the main window's: x of the control, x of its label, y of its
// row, and the control's vertical offset from the row.
class GuiControl {
public:
    GuiControl(std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
               std::int32_t yOffset_, std::string label_ = {});
    virtual ~GuiControl();
    GuiControl(const GuiControl&) = delete;
    GuiControl& operator=(const GuiControl&) = delete;

    // True once the main window stored the handle of the created control.
    bool hasControl() const {
        return windowHandle.load(std::memory_order_acquire) != WindowHandle::None;
    }

    const std::uint16_t controlId;
    const std::int32_t x;
    const std::int32_t labelX;
    const std::int32_t y;
    const std::int32_t yOffset;
    // The text the main window paints at (labelX, y) to name the control for
    // the user; empty for a control without a painted label (the combo boxes
    // of the choices, the buttons, which carry their caption).
    const std::string label;
    // Stored by the main window when it has created the control; None until
    // then. The settings code reaches the control through its id (the window
    // layer does nothing for an id that is no control).
    std::atomic<WindowHandle> windowHandle{WindowHandle::None};
    // Free for the main window's own use; 0 at construction.
    std::atomic<std::uintptr_t> userData{0};
};

// ---------------------------------------------------------------------------
// Integers and floats: one design over two value types.

template <class T>
class NumberParameter : public Parameter {
public:
    NumberParameter(std::string name_, T defaultValue, T minimum, T maximum)
        : Parameter(std::move(name_)), m_default(defaultValue), m_minimum(minimum),
          m_maximum(maximum), m_value(defaultValue) {}

    T defaultValue() const { return m_default; }
    T minimum() const { return m_minimum; }
    T maximum() const { return m_maximum; }
    T value() const { return m_value.load(std::memory_order_acquire); }
    T clamp(T v) const { return std::clamp(v, m_minimum, m_maximum); }

    // value := v clamped to minimum..maximum; nothing saved.
    void set(T v) { m_value.store(clamp(v), std::memory_order_release); }

private:
    const T m_default;
    const T m_minimum;
    const T m_maximum;
    std::atomic<T> m_value;
};

class IntParameter : public NumberParameter<std::int32_t> {
public:
    IntParameter(std::string name_, std::int32_t defaultValue, std::int32_t minimum,
                 std::int32_t maximum);
    // value := v clamped to minimum..maximum, then save().
    void setAndSave(std::int32_t v);
    // Writes the current value into parameters.xml (gf_saveParameter).
    void save() const;
    // Log line "KEY=value".
    void log() const;
};

class FloatParameter : public NumberParameter<float> {
public:
    FloatParameter(std::string name_, float defaultValue, float minimum, float maximum);
    void log() const;
};

// ---------------------------------------------------------------------------
// Flags

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name_, bool defaultValue);

    bool defaultValue() const { return m_default; }
    bool value() const { return m_value.load(std::memory_order_acquire) != 0; }
    // Flags have no saving setter: assign, then save().
    void setValue(bool v) { m_value.store(v ? 1 : 0, std::memory_order_release); }
    void save() const;
    // Log line "KEY=true" / "KEY=false".
    void log() const;

private:
    const bool m_default;
    std::atomic<std::uint8_t> m_value;
};

// A checkbox of the main window.
class GuiBoolParameter : public BoolParameter, public GuiControl {
public:
    GuiBoolParameter(std::string name_, bool defaultValue, std::uint16_t controlId_, std::int32_t x_,
                     std::int32_t labelX_, std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});
};

// ---------------------------------------------------------------------------
// Texts

class StringParameter : public Parameter {
public:
    StringParameter(std::string name_, std::string defaultValue);

    std::string defaultValue() const;
    // Only the file layer changes a default (PROGRAM_VERSION's, when it writes a
    // fresh parameters.xml).
    void setDefaultValue(std::string v);
    std::string value() const;
    void setValue(std::string v);
    // value := v, then save().
    void setAndSave(std::string v);
    void save() const;
    // Log line KEY="value".
    void log() const;

private:
    mutable std::mutex m_mutex;
    std::string m_default;
    std::string m_value;
};

// An edit field (or the base of a combo box) of the main window.
class StringOption : public StringParameter, public GuiControl {
public:
    StringOption(std::string name_, std::string defaultValue, std::uint16_t controlId_,
                 std::int32_t x_, std::int32_t labelX_, std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});
};

// A combo box with fixed choice texts.
class ChoiceOption : public StringOption {
public:
    ChoiceOption(std::string name_, std::string defaultValue, std::vector<std::string> choices_,
                 std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                 std::int32_t yOffset_, std::string label_ = {});

    // The choices never change after construction, so they are read without a lock.
    const std::vector<std::string>& choices() const { return m_choices; }
    // The choice at that position; out_of_range "configuration option index is
    // out of range" for an index not below the number of choices.
    const std::string& valueAt(std::size_t index) const;
    // Position of the first choice exactly equal to the current value (case
    // matters); empty when there is none.
    std::optional<std::size_t> indexOfValue() const;
    // Refills the combo box with the choices and selects the current value
    // exactly (nothing selected when it is no choice). Nothing happens while
    // the control does not exist. Defined with the option lists.
    void fillCombo() const;

private:
    const std::vector<std::string> m_choices;
};

// A combo box whose texts other code replaces while the program runs.
class DynamicListOption : public StringOption {
public:
    using List = std::vector<std::string>;
    // invalid_argument "dynamic configuration option list cannot be null" for a null list.
    DynamicListOption(std::string name_, std::string defaultValue, std::shared_ptr<const List> list,
                      std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                      std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});

    // The list as it is now; the caller keeps it alive while reading it.
    std::shared_ptr<const List> choices() const;
    // Swaps in a new list; readers that hold the old one keep it.
    void replaceChoices(List texts);
    // As ChoiceOption::fillCombo, with the texts the list holds now.
    void fillCombo() const;

private:
    mutable std::mutex m_listMutex;
    std::shared_ptr<const List> m_list;
};

// ---------------------------------------------------------------------------
// Paths

class PathParameter : public Parameter {
public:
    PathParameter(std::string name_, std::filesystem::path defaultValue);

    std::filesystem::path defaultValue() const { return m_default; }
    std::filesystem::path value() const;
    void setValue(std::filesystem::path v);
    // value := v, then save().
    void setAndSave(std::filesystem::path v);
    void save() const;
    // Log line KEY="path as UTF-8".
    void log() const;

private:
    const std::filesystem::path m_default;
    mutable std::mutex m_mutex;
    std::filesystem::path m_value;
};

// ---------------------------------------------------------------------------
// Lists of allowed numbers: one design over int and float.

// Throws out_of_range "configuration option index is out of range".
[[noreturn]] void gf_throwOptionIndexOutOfRange();
// Throws invalid_argument "configuration option list cannot be empty".
[[noreturn]] void gf_throwOptionListEmpty();

template <class Base, class T>
class BasicListOption : public Base, public GuiControl {
public:
    // Minimum and maximum are the smallest and the largest allowed value, in
    // whatever order they come; the list keeps the given order.
    BasicListOption(std::string name_, T defaultValue, std::vector<T> allowed,
                    std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                    std::int32_t y_, std::int32_t yOffset_, std::string label_ = {})
        : Base(std::move(name_), defaultValue, lf_min(allowed), lf_max(allowed)),
          GuiControl(controlId_, x_, labelX_, y_, yOffset_, std::move(label_)), m_allowed(std::move(allowed)) {}

    const std::vector<T>& allowedValues() const { return m_allowed; }
    T valueAt(std::size_t index) const {
        if (index >= m_allowed.size()) gf_throwOptionIndexOutOfRange();
        return m_allowed[index];
    }
    // Position of the current value among the allowed values, if it is one.
    std::optional<std::size_t> positionOfValue() const {
        const auto it = std::find(m_allowed.begin(), m_allowed.end(), this->value());
        if (it == m_allowed.end()) return std::nullopt;
        return static_cast<std::size_t>(it - m_allowed.begin());
    }

private:
    static T lf_min(const std::vector<T>& v) {
        if (v.empty()) gf_throwOptionListEmpty();
        return *std::min_element(v.begin(), v.end());
    }
    static T lf_max(const std::vector<T>& v) {
        if (v.empty()) gf_throwOptionListEmpty();
        return *std::max_element(v.begin(), v.end());
    }
    const std::vector<T> m_allowed;
};

// A combo box of allowed integers. It is an IntParameter, so it can sit among
// the integer parameters (PARKING_INTERVAL_MINUTES does).
class NumericListOption : public BasicListOption<IntParameter, std::int32_t> {
public:
    NumericListOption(std::string name_, std::int32_t defaultValue, std::vector<std::int32_t> allowed,
                      std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                      std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});
    // Shows the current value in the control: its text in decimal, and the
    // selection of its position when it is an allowed value (a value that is
    // not allowed leaves the selection as it is). Does nothing while the control
    // does not exist.
    void showValue() const;
    // Refills the combo box with the allowed values in decimal and selects the
    // current value when it is one (otherwise nothing is selected). Nothing
    // happens while the control does not exist.
    void fillCombo() const;
    // Selects the current value when it is an allowed one; otherwise the
    // selection stays as it is.
    void selectCurrent() const;
};

// A combo box of allowed 32-bit floats (MAX_FIT_FL).
class FloatListOption : public BasicListOption<FloatParameter, float> {
public:
    FloatListOption(std::string name_, float defaultValue, std::vector<float> allowed,
                    std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                    std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});
};

// A push button: its key is its caption; no value, never stored.
class GuiButton : public Parameter, public GuiControl {
public:
    GuiButton(std::string caption, std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
              std::int32_t y_, std::int32_t yOffset_, std::string label_ = {});
};

// ---------------------------------------------------------------------------
// Value texts, parsing, logging and the save hook

// The value as parameters.xml stores it: integers in decimal, flags "true" or
// "false", texts as they are, paths as UTF-8. Empty for a button.
std::string gf_parameterValueText(const Parameter& parameter);
// The log form: KEY=value for integers, floats and flags, KEY="value" for texts
// and paths. Empty for a button.
std::string gf_parameterLogText(const Parameter& parameter);
// Writes gf_parameterLogText through gf_logNoThrow (nothing for a button).
void gf_logParameter(const Parameter& parameter) noexcept;

// An integer as parameters.xml may hold it: blanks, tabs, CR and LF around it
// are ignored; one optional leading '+' is dropped (a lone '+' is unreadable);
// the rest is an optional '-' and decimal digits, consumed completely, that fit
// in 32 bits. Anything else is unreadable (empty result).
std::optional<std::int32_t> gf_parseParameterInt(std::string_view text);
// A flag as parameters.xml may hold it: trimmed as above, case ignored; "true",
// "yes", "on", "1" and "false", "no", "off", "0"; anything else is unreadable.
std::optional<bool> gf_parseParameterBool(std::string_view text);

// Saving one parameter. Every setter that saves ends here; the parameters.xml
// layer installs the writer that rewrites the parameter's element and logs
// the parameter. The writer is called with parametersFileMutex held (a
// setAndSave holds it from the set to the end of the write). Until a writer is
// installed a save writes nothing to any file and only logs the parameter, so
// that a change is still visible in Log.txt. Never throws.
using ParameterFileWriter = void (*)(const Parameter& parameter) noexcept;
void gf_installParameterFileWriter(ParameterFileWriter writer) noexcept;
void gf_saveParameter(const Parameter& parameter) noexcept;

// Held around every single-parameter save and removal in parameters.xml. Not recursive.
extern std::mutex parametersFileMutex;

// ---------------------------------------------------------------------------
// Globals built with the table

// The program's data folder: the roaming AppData folder joined with "TAVO"
// (the relative folder "TAVO" when AppData cannot be found). Looked up once.
const std::filesystem::path& programDataFolder();
inline constexpr std::string_view kParametersFileName = "parameters.xml";
// programDataFolder() / "parameters.xml", and the same as UTF-8 for messages.
const std::filesystem::path& parametersFilePath();
const std::string& parametersFilePathUtf8();

// ---------------------------------------------------------------------------
// The parameter table: one global object per key (defined in table order in
// settings/table.cpp). Buttons carry the suffix "Button" in code; their key is
// their caption.

// Simulator, traffic source and window
extern ChoiceOption SIM_CHOICE;
extern ChoiceOption RT_CHOISE;
extern ChoiceOption QNH_UNIT;
extern StringParameter PORT_NUMBER;
extern BoolParameter PSX_SERVER_HERE;
extern GuiBoolParameter AEROWINX;
extern PathParameter MSFS_INSTALL_PATH;
extern PathParameter MSFS_2024_INSTALL_PATH;
extern GuiBoolParameter ALWAYS_ON_TOP;
extern BoolParameter COLLAPSED;
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;

// Data sources and liveries
extern GuiBoolParameter SKIP_AIRPORT_SCAN;
extern GuiButton TbloButton;
extern GuiBoolParameter SKIP_LIVERIES_SCAN;
extern GuiBoolParameter LIG_AUTOMATIC;
extern ChoiceOption AI_PACKAGE_SELECTOR;
extern GuiBoolParameter LIG_PRIORITIZE;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;

// Ranges and levels
extern IntParameter RANGE_GROUND;
extern IntParameter RANGE_1;
extern IntParameter RANGE_2;
extern IntParameter RANGE_3;
extern IntParameter RANGE_ABOVE;
extern IntParameter FLIGHT_LEVEL_1;
extern IntParameter FLIGHT_LEVEL_2;
extern IntParameter FLIGHT_LEVEL_3;
extern NumericListOption RANGE;
extern GuiBoolParameter AUTO_RANGE;

// Traffic injection
extern ChoiceOption ALL_AIR_GND_SELECTOR;
extern NumericListOption MAX_LIVE_SEL;
extern NumericListOption HOLDING_THRESHOLD_METERS;
extern NumericListOption MAX_HOLDING_MINUTES;
extern NumericListOption MATCHING_DEPTH;
extern NumericListOption TCAS_FL;
extern GuiBoolParameter TWO_PROPS;
extern GuiBoolParameter LIGHT_AIRCRAFT;
extern GuiBoolParameter HELICOPTERS;
extern GuiBoolParameter HIGH_PERF_AIRCRAFT;

// Collision avoidance
extern GuiBoolParameter COLLISION_USER_GND;
extern GuiBoolParameter COLLISION_USER_AIR;

// Blocking of one aircraft
extern GuiButton AircraftButton;
extern DynamicListOption AIRCRAFT_SELECTOR;
extern GuiButton BlockButton;
extern GuiButton UnblockButton;
extern StringParameter BLOCK_AIRCRAFT;
extern StringParameter BLOCK_CALLSIGN;
extern StringParameter BLOCK_REGCODE;
extern IntParameter BLOCK_HEXIDDEC;

// Parking
extern NumericListOption PARKING_INTERVAL_MINUTES;
extern GuiButton ParkButton;
extern StringOption DESTINATION;
extern DynamicListOption STAND_SELECTOR;
extern NumericListOption AIRP_RANGE;
extern NumericListOption AIRP_HEIGHT;
extern GuiBoolParameter RT_PARKTRAFFIC_ONLY;
extern IntParameter MAX_FIT;
extern FloatListOption MAX_FIT_FL;
extern NumericListOption MAX_PARK_SEL;
extern NumericListOption parking_percentage;
extern GuiBoolParameter AUTO_PARK;
extern GuiBoolParameter WEEK;
extern GuiBoolParameter PARK_SOFT;
extern GuiButton FlushButton;

// Misc
extern GuiBoolParameter RANDOM;
extern GuiBoolParameter FLIGHT_MESSAGES;
extern GuiBoolParameter GUID_CHANGES;
extern GuiBoolParameter OBJECTID_LIST;
extern GuiBoolParameter NAV_LIGHTS_WHILE_PARKED;

// Time shift
extern GuiButton SetButton;
extern NumericListOption TIME_SHIFT_DAYS;
extern NumericListOption TIME_SHIFT_HOURS;
extern NumericListOption TIME_SHIFT_MINS;
extern GuiBoolParameter SIM_TIME;
extern GuiBoolParameter KEEP_SIM_TIME_PAR;

// Data versions and bookkeeping
extern StringParameter PROGRAM_VERSION;
extern StringParameter AIG_VERSION;
extern StringParameter ARCHIVES_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter WEEKLY_TRAFFIC_AIRPORTS_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern IntParameter LAST_EPOCH_TIME;  // key "LAST_EPOCH_TIME:", with the colon

// ---------------------------------------------------------------------------
// The seven registries: the stored parameters, by kind, in the order in which
// parameters.xml is read and written. Objects in no registry are never stored.
// Loops over a registry skip null entries.

extern const std::vector<BoolParameter*> boolParameters;
extern const std::vector<GuiBoolParameter*> guiBoolParameters;
extern const std::vector<IntParameter*> intParameters;
extern const std::vector<NumericListOption*> listOptions;
extern const std::vector<StringParameter*> stringParameters;
extern const std::vector<PathParameter*> pathParameters;
extern const std::vector<ChoiceOption*> choiceOptions;

// Every object of the table (registered or not, buttons included), in table
// order; for the main window, which creates a control for each bound one.
extern const std::vector<Parameter*> allTableParameters;

// ---------------------------------------------------------------------------
// Texts the main window paints in its settings band that belong to no single
// control: the section headings (bold) and the captions that start a row at
// the left edge. Positions are in the main window's layout units.

struct SettingsBandText {
    std::string_view text;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// "DATA SOURCES", "CONFIGURATION", "COLLISION AVOIDANCE", "MISC",
// "TRAFFIC INJECTION", "TIME SHIFT", "PARKING", in this order.
extern const std::vector<SettingsBandText> settingsSectionHeadings;
// "airports:", "liveries:", "radius:", "taxiing:", "include:", in this order.
extern const std::vector<SettingsBandText> settingsRowCaptions;
