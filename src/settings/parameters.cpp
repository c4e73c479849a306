#include "settings/parameters.h"

#include <charconv>
#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"

std::mutex parametersFileMutex;

namespace {

std::atomic<ParameterFileWriter> lf_fileWriter{nullptr};

}  // namespace

// ---------------------------------------------------------------------------
// Construction

Parameter::Parameter(std::string name_) : name(std::move(name_)) {}
Parameter::~Parameter() = default;

GuiControl::GuiControl(std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                       std::int32_t y_, std::int32_t yOffset_, std::string label_)
    : controlId(controlId_), x(x_), labelX(labelX_), y(y_), yOffset(yOffset_), label(std::move(label_)) {}
GuiControl::~GuiControl() = default;

IntParameter::IntParameter(std::string name_, std::int32_t defaultValue, std::int32_t minimum,
                           std::int32_t maximum)
    : NumberParameter<std::int32_t>(std::move(name_), defaultValue, minimum, maximum) {}

FloatParameter::FloatParameter(std::string name_, float defaultValue, float minimum, float maximum)
    : NumberParameter<float>(std::move(name_), defaultValue, minimum, maximum) {}

BoolParameter::BoolParameter(std::string name_, bool defaultValue)
    : Parameter(std::move(name_)), m_default(defaultValue), m_value(defaultValue ? 1 : 0) {}

GuiBoolParameter::GuiBoolParameter(std::string name_, bool defaultValue, std::uint16_t controlId_,
                                   std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                                   std::int32_t yOffset_, std::string label_)
    : BoolParameter(std::move(name_), defaultValue),
      GuiControl(controlId_, x_, labelX_, y_, yOffset_, std::move(label_)) {}

StringParameter::StringParameter(std::string name_, std::string defaultValue)
    : Parameter(std::move(name_)), m_default(defaultValue), m_value(std::move(defaultValue)) {}

StringOption::StringOption(std::string name_, std::string defaultValue, std::uint16_t controlId_,
                           std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                           std::int32_t yOffset_, std::string label_)
    : StringParameter(std::move(name_), std::move(defaultValue)),
      GuiControl(controlId_, x_, labelX_, y_, yOffset_, std::move(label_)) {}

ChoiceOption::ChoiceOption(std::string name_, std::string defaultValue,
                           std::vector<std::string> choices_, std::uint16_t controlId_,
                           std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                           std::int32_t yOffset_, std::string label_)
    : StringOption(std::move(name_), std::move(defaultValue), controlId_, x_, labelX_, y_, yOffset_, std::move(label_)),
      m_choices(std::move(choices_)) {}

DynamicListOption::DynamicListOption(std::string name_, std::string defaultValue,
                                     std::shared_ptr<const List> list, std::uint16_t controlId_,
                                     std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                                     std::int32_t yOffset_, std::string label_)
    : StringOption(std::move(name_), std::move(defaultValue), controlId_, x_, labelX_, y_, yOffset_, std::move(label_)),
      m_list(list ? std::move(list)
                  : throw std::invalid_argument("dynamic configuration option list cannot be null")) {}

PathParameter::PathParameter(std::string name_, std::filesystem::path defaultValue)
    : Parameter(std::move(name_)), m_default(defaultValue), m_value(std::move(defaultValue)) {}

NumericListOption::NumericListOption(std::string name_, std::int32_t defaultValue,
                                     std::vector<std::int32_t> allowed, std::uint16_t controlId_,
                                     std::int32_t x_, std::int32_t labelX_, std::int32_t y_,
                                     std::int32_t yOffset_, std::string label_)
    : BasicListOption<IntParameter, std::int32_t>(std::move(name_), defaultValue, std::move(allowed),
                                                  controlId_, x_, labelX_, y_, yOffset_, std::move(label_)) {}

FloatListOption::FloatListOption(std::string name_, float defaultValue, std::vector<float> allowed,
                                 std::uint16_t controlId_, std::int32_t x_, std::int32_t labelX_,
                                 std::int32_t y_, std::int32_t yOffset_, std::string label_)
    : BasicListOption<FloatParameter, float>(std::move(name_), defaultValue, std::move(allowed),
                                             controlId_, x_, labelX_, y_, yOffset_, std::move(label_)) {}

GuiButton::GuiButton(std::string caption, std::uint16_t controlId_, std::int32_t x_,
                     std::int32_t labelX_, std::int32_t y_, std::int32_t yOffset_, std::string label_)
    : Parameter(std::move(caption)), GuiControl(controlId_, x_, labelX_, y_, yOffset_, std::move(label_)) {}

void gf_throwOptionIndexOutOfRange() {
    throw std::out_of_range("configuration option index is out of range");
}

void gf_throwOptionListEmpty() {
    throw std::invalid_argument("configuration option list cannot be empty");
}

// ---------------------------------------------------------------------------
// Values, setters and saves

namespace {

// Writes one parameter through the installed writer, or only logs it while no
// file layer is installed. The caller holds parametersFileMutex.
void lf_saveParameterLocked(const Parameter& parameter) noexcept {
    if (const ParameterFileWriter writer = lf_fileWriter.load(std::memory_order_acquire)) {
        writer(parameter);
        return;
    }
    // No file layer yet: nothing is written, but the change still shows in the log.
    gf_logParameter(parameter);
}

// Sets and saves under the file lock. Set outside it, a load that holds the
// lock would put the file's old value over the new one, and the save waiting
// for the lock would then write that old value back: the change is lost.
template <typename Set>
void lf_setAndSave(const Parameter& parameter, Set set) {
    std::lock_guard lock(parametersFileMutex);
    set();
    lf_saveParameterLocked(parameter);
}

}  // namespace

void IntParameter::setAndSave(std::int32_t v) {
    lf_setAndSave(*this, [&] { set(v); });
}
void IntParameter::save() const { gf_saveParameter(*this); }
void IntParameter::log() const { gf_logParameter(*this); }
void FloatParameter::log() const { gf_logParameter(*this); }

void BoolParameter::save() const { gf_saveParameter(*this); }
void BoolParameter::log() const { gf_logParameter(*this); }

std::string StringParameter::defaultValue() const {
    std::lock_guard lock(m_mutex);
    return m_default;
}
void StringParameter::setDefaultValue(std::string v) {
    std::lock_guard lock(m_mutex);
    m_default = std::move(v);
}
std::string StringParameter::value() const {
    std::lock_guard lock(m_mutex);
    return m_value;
}
void StringParameter::setValue(std::string v) {
    std::lock_guard lock(m_mutex);
    m_value = std::move(v);
}
void StringParameter::setAndSave(std::string v) {
    lf_setAndSave(*this, [&] { setValue(std::move(v)); });
}
void StringParameter::save() const { gf_saveParameter(*this); }
void StringParameter::log() const { gf_logParameter(*this); }

const std::string& ChoiceOption::valueAt(std::size_t index) const {
    if (index >= m_choices.size()) gf_throwOptionIndexOutOfRange();
    return m_choices[index];
}

std::shared_ptr<const DynamicListOption::List> DynamicListOption::choices() const {
    std::lock_guard lock(m_listMutex);
    return m_list;
}
void DynamicListOption::replaceChoices(List texts) {
    auto fresh = std::make_shared<const List>(std::move(texts));
    std::lock_guard lock(m_listMutex);
    m_list = std::move(fresh);
}

std::filesystem::path PathParameter::value() const {
    std::lock_guard lock(m_mutex);
    return m_value;
}
void PathParameter::setValue(std::filesystem::path v) {
    std::lock_guard lock(m_mutex);
    m_value = std::move(v);
}
void PathParameter::setAndSave(std::filesystem::path v) {
    lf_setAndSave(*this, [&] { setValue(std::move(v)); });
}
void PathParameter::save() const { gf_saveParameter(*this); }
void PathParameter::log() const { gf_logParameter(*this); }

void NumericListOption::showValue() const {
    // A drop-down list shows what is selected; a value that is not in the list
    // leaves the selection alone rather than showing a wrong entry.
    if (const auto position = positionOfValue()) {
        gf_setComboSelection(controlId, static_cast<int>(*position));
    }
}

// ---------------------------------------------------------------------------
// Texts, parsing, logging

std::string gf_parameterValueText(const Parameter& parameter) {
    if (const auto* p = dynamic_cast<const IntParameter*>(&parameter)) {
        return fmt::format("{}", p->value());
    }
    if (const auto* p = dynamic_cast<const FloatParameter*>(&parameter)) {
        return fmt::format("{}", p->value());
    }
    if (const auto* p = dynamic_cast<const BoolParameter*>(&parameter)) {
        return p->value() ? "true" : "false";
    }
    if (const auto* p = dynamic_cast<const StringParameter*>(&parameter)) {
        return p->value();
    }
    if (const auto* p = dynamic_cast<const PathParameter*>(&parameter)) {
        return gf_pathToUtf8(p->value());
    }
    return {};
}

std::string gf_parameterLogText(const Parameter& parameter) {
    if (dynamic_cast<const StringParameter*>(&parameter) != nullptr ||
        dynamic_cast<const PathParameter*>(&parameter) != nullptr) {
        return fmt::format("{}=\"{}\"", parameter.name, gf_parameterValueText(parameter));
    }
    if (dynamic_cast<const GuiButton*>(&parameter) != nullptr) return {};
    return fmt::format("{}={}", parameter.name, gf_parameterValueText(parameter));
}

void gf_logParameter(const Parameter& parameter) noexcept {
    try {
        const std::string line = gf_parameterLogText(parameter);
        if (!line.empty()) gf_logNoThrow(line);
    } catch (...) {
        // Logging must never take a setter down (a path that is no UTF-8, memory).
    }
}

std::optional<std::int32_t> gf_parseParameterInt(std::string_view text) {
    text = gf_trimView(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<bool> gf_parseParameterBool(std::string_view text) {
    const std::string lower = gf_toLowerAscii(gf_trimView(text));
    if (lower == "true" || lower == "yes" || lower == "on" || lower == "1") return true;
    if (lower == "false" || lower == "no" || lower == "off" || lower == "0") return false;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The save hook

void gf_installParameterFileWriter(ParameterFileWriter writer) noexcept {
    lf_fileWriter.store(writer, std::memory_order_release);
}

void gf_saveParameter(const Parameter& parameter) noexcept {
    try {
        std::lock_guard lock(parametersFileMutex);
        lf_saveParameterLocked(parameter);
    } catch (...) {
        // The lock could not be taken (a system error); the change still reaches the log.
        gf_logParameter(parameter);
    }
}

// ---------------------------------------------------------------------------
// Data folder and file path

const std::filesystem::path& programDataFolder() {
    // gf_getAppDataPath gives an empty path (and logs) when the folder cannot be
    // found; joining then leaves the relative folder "TAVO".
    static const std::filesystem::path folder = gf_getAppDataPath() / "TAVO";
    return folder;
}

const std::filesystem::path& parametersFilePath() {
    static const std::filesystem::path path = programDataFolder() / kParametersFileName;
    return path;
}

const std::string& parametersFilePathUtf8() {
    static const std::string text = gf_pathToUtf8(parametersFilePath());
    return text;
}
