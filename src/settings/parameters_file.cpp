#include "settings/parameters_file.h"

#include <functional>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "platform/os/os.h"
#include "settings/option_lists.h"
#include "settings/parameters.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// The registries, in the order the file is read and written

enum class Kind { Bool, GuiBool, Int, List, String, Choice, Path };

struct Registered {
    Parameter* parameter;
    Kind kind;
};

std::vector<Registered> lf_registered() {
    std::vector<Registered> all;
    const auto add = [&all](const auto& registry, Kind kind) {
        for (auto* p : registry) {
            if (p != nullptr) all.push_back({p, kind});
        }
    };
    add(boolParameters, Kind::Bool);
    add(guiBoolParameters, Kind::GuiBool);
    add(intParameters, Kind::Int);
    add(listOptions, Kind::List);
    add(stringParameters, Kind::String);
    add(choiceOptions, Kind::Choice);
    add(pathParameters, Kind::Path);
    return all;
}

std::string lf_defaultText(const Registered& entry) {
    switch (entry.kind) {
    case Kind::Bool:
    case Kind::GuiBool:
        return static_cast<BoolParameter*>(entry.parameter)->defaultValue() ? "true" : "false";
    case Kind::Int:
    case Kind::List:
        return fmt::format("{}", static_cast<IntParameter*>(entry.parameter)->defaultValue());
    case Kind::String:
    case Kind::Choice:
        return static_cast<StringParameter*>(entry.parameter)->defaultValue();
    case Kind::Path:
        return gf_pathToUtf8(static_cast<PathParameter*>(entry.parameter)->defaultValue());
    }
    return {};
}

// Hands the parameter's setter the stored value or, when none could be read,
// the default. True when a readable value was found.
template <typename P, typename V, typename Setter>
bool lf_takeStoredOrDefault(P* p, std::optional<V> stored, Setter set) {
    const bool found = stored.has_value();
    (p->*set)(std::move(stored).value_or(p->defaultValue()));
    return found;
}

// Takes the stored value (integers clamped to their limits by their setter)
// or, when there is none that can be read, the default.
bool lf_loadValue(const Registered& entry, const pugi::xml_node& document) {
    const std::string& key = entry.parameter->name;
    switch (entry.kind) {
    case Kind::Bool:
    case Kind::GuiBool:
        return lf_takeStoredOrDefault(static_cast<BoolParameter*>(entry.parameter),
                                      gf_readBoolXmlParameter(document, key), &BoolParameter::setValue);
    case Kind::Int:
    case Kind::List:
        return lf_takeStoredOrDefault(static_cast<IntParameter*>(entry.parameter),
                                      gf_readIntXmlParameter(document, key), &IntParameter::set);
    case Kind::String:
    case Kind::Choice:
        return lf_takeStoredOrDefault(static_cast<StringParameter*>(entry.parameter),
                                      gf_readStringXmlParameter(document, key), &StringParameter::setValue);
    case Kind::Path:
        return lf_takeStoredOrDefault(static_cast<PathParameter*>(entry.parameter),
                                      gf_readPathAttribute(document, key), &PathParameter::setValue);
    }
    return false;
}

// Shows a registered parameter's value in its control, if it has one.
void lf_showValue(const Registered& entry) {
    switch (entry.kind) {
    case Kind::GuiBool: {
        auto* p = static_cast<GuiBoolParameter*>(entry.parameter);
        gf_setControlCheck(p->controlId, p->value());
        break;
    }
    case Kind::List:
        gf_showIntParameterValue(*static_cast<NumericListOption*>(entry.parameter));
        break;
    case Kind::Choice:
        gf_showStringParameterValue(*static_cast<ChoiceOption*>(entry.parameter));
        break;
    default:
        break;
    }
}

void lf_showAllValues(const std::vector<Registered>& all) {
    for (const Registered& entry : all) lf_showValue(entry);
}

// ---------------------------------------------------------------------------
// Elements

pugi::xml_node lf_firstElement(const pugi::xml_node& parameters, std::string_view key) {
    for (pugi::xml_node element = parameters.child("parameter"); element;
         element = element.next_sibling("parameter")) {
        if (key == element.attribute("name").value()) return element;
    }
    return {};
}

// Puts the default of a key whose value was missing or unreadable into the
// document: over the value of the key's first element, so that the file does
// not grow by one element at every start, or as a new element when the key is
// not there at all. A failure is not reported: the default is in memory.
void lf_putDefault(pugi::xml_node parameters, std::string_view key, const std::string& text) {
    if (pugi::xml_node element = lf_firstElement(parameters, key)) {
        pugi::xml_attribute value = element.attribute("value");
        if (!value) value = element.append_attribute("value");
        if (value) value.set_value(text.c_str());
        return;
    }
    gf_appendXmlParameter(parameters, key, text);
}

// ---------------------------------------------------------------------------
// The file

enum class FileState { absent, read, cannotCheck, cannotOpen, cannotParse };

struct FileRead {
    FileState state = FileState::absent;
    std::string detail;  // the system's or the parser's description
};

FileRead lf_readFile(pugi::xml_document& document) {
    const fs::path& path = parametersFilePath();
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) return {FileState::cannotCheck, ec.message()};
    if (!exists) return {FileState::absent, {}};
    const std::optional<std::string> bytes = gf_readWholeFile(path);
    if (!bytes) return {FileState::cannotOpen, "not a readable file"};
    const pugi::xml_parse_result result = document.load_buffer(bytes->data(), bytes->size());
    if (!result) return {FileState::cannotParse, result.description()};
    return {FileState::read, {}};
}

void lf_logErrorNoThrow(const std::string& text) noexcept {
    try {
        gf_logError(text);
    } catch (...) {
        // A failing log must not take the caller down.
    }
}

// The data folder is made at start by the shell; made here too, so that a
// save never fails only because the folder went missing.
void lf_ensureDataFolder() {
    std::error_code ec;
    fs::create_directories(programDataFolder(), ec);
}

std::string lf_closingBanner() {
    return gf_makeBanner(70, 10, false, true, "");
}

// Writes every registered parameter at its default into a new file. The
// caller holds parametersFileMutex.
void lf_saveParametersLocked(const std::vector<Registered>& all) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("root");
    PROGRAM_VERSION.setDefaultValue(g_programVersion.toString());
    pugi::xml_node parameters = root ? root.append_child("parameters") : pugi::xml_node{};
    if (parameters) {
        for (const Registered& entry : all) {
            if (!gf_appendXmlParameter(parameters, entry.parameter->name, lf_defaultText(entry))) {
                gf_log(fmt::format("{}adding xml parameter {} with {} failed!", "===> ", entry.parameter->name,
                                   gf_parameterValueText(*entry.parameter)));
            }
            gf_logParameter(*entry.parameter);
        }
        lf_ensureDataFolder();
        if (!gf_saveXmlDocumentSafely(document, parametersFilePath())) {
            gf_logError(fmt::format("saving: {} failed", parametersFilePathUtf8()));
        }
    }
    gf_log(lf_closingBanner());
}

// Before an existing file is replaced by one of defaults, its content is kept
// as parameters0.xml. False when that copy failed: then the file stays.
bool lf_keepGeneration() {
    return gf_save1GenerationOf(parametersFilePath());
}

// A file that cannot be read stays as it is; a copy of it is kept as
// parameters0.xml, unless parameters0.xml already holds a document that
// parses: that older good copy is worth more than a second copy of the
// broken file, which every further save would make again.
void lf_keepCopyOfUnreadable() {
    const fs::path generation = gf_generationPathOf(parametersFilePath());
    pugi::xml_document document;
    if (const std::optional<std::string> bytes = gf_readWholeFile(generation);
        bytes && document.load_buffer(bytes->data(), bytes->size())) {
        return;
    }
    lf_keepGeneration();
}

// Replaces a file that holds no usable parameters by one of defaults, once
// its content is kept as a copy; without the copy the file stays as it is.
void lf_replaceByDefaultsLocked(const std::vector<Registered>& all, const std::string& pathText) {
    if (!lf_keepGeneration()) {
        gf_logError(fmt::format("{} kept as it is: no copy could be made", pathText));
        gf_log(lf_closingBanner());
        return;
    }
    lf_saveParametersLocked(all);
}

// Called once the load has read the file, before it takes the values; tests
// use it to act in that moment. Guarded by parametersFileMutex.
std::function<void()> lf_loadReadHook;

// The body of gf_loadParameters; the caller holds parametersFileMutex.
bool lf_loadParametersLocked(const std::vector<Registered>& all) {
    const std::string& pathText = parametersFilePathUtf8();
    gf_log(gf_makeBanner(70, 0, true, false, "parameters"));

    pugi::xml_document document;
    const FileRead read = lf_readFile(document);
    switch (read.state) {
    case FileState::absent:
        gf_log(fmt::format("{} could not be opened, creating new with default values:", pathText));
        lf_saveParametersLocked(all);
        return true;
    case FileState::cannotCheck:
    case FileState::cannotOpen:
        // Replacing a file that exists but cannot be read would throw away
        // every setting in it; keep it and go on with the values in memory.
        lf_keepCopyOfUnreadable();
        gf_logError(fmt::format("{} could not be opened ({}), kept as it is; the settings stay unchanged",
                                pathText, read.detail));
        gf_log(lf_closingBanner());
        return true;
    case FileState::cannotParse:
        gf_log(fmt::format("{} could not be loaded: {}, creating new with default values:", pathText,
                           read.detail));
        lf_replaceByDefaultsLocked(all, pathText);
        return true;
    case FileState::read:
        break;
    }
    if (lf_loadReadHook) lf_loadReadHook();

    gf_log(fmt::format("from '{}'", pathText));
    pugi::xml_node parameters = gf_findParametersNode(document);
    if (!parameters) {
        gf_log(fmt::format("Section '{}' not found in '{}', creating new with default values:", "parameters",
                           pathText));
        lf_replaceByDefaultsLocked(all, pathText);
        return true;
    }

    for (const Registered& entry : all) {
        if (!lf_loadValue(entry, document)) {
            lf_putDefault(parameters, entry.parameter->name, lf_defaultText(entry));
        }
        gf_logParameter(*entry.parameter);
    }
    if (!gf_saveXmlDocumentSafely(document, parametersFilePath())) {
        gf_log(fmt::format("saving '{}' failed", pathText));
    }
    gf_log(lf_closingBanner());
    return false;
}

// Rewrites one parameter's elements; the caller holds parametersFileMutex.
void lf_writeParameterLocked(const Parameter& parameter) {
    const std::string& pathText = parametersFilePathUtf8();
    pugi::xml_document document;
    const FileRead read = lf_readFile(document);
    if (read.state != FileState::absent && read.state != FileState::read) {
        // An existing file that cannot be read is not replaced by one that
        // holds this parameter only: every other setting would be lost.
        if (read.state == FileState::cannotParse) {
            gf_logNoThrow(fmt::format("{} could not be loaded: {}", pathText, read.detail));
        }
        lf_keepCopyOfUnreadable();
        lf_logErrorNoThrow(fmt::format("'{}' could not be read ({}) and is kept as it is; {} not saved",
                                       pathText, read.detail, parameter.name));
        gf_logParameter(parameter);
        return;
    }

    const std::string text = gf_parameterValueText(parameter);
    pugi::xml_node parameters = gf_findParametersNode(document);
    if (!parameters) {
        pugi::xml_node root = document.child("root");
        if (!root) root = document.append_child("root");
        parameters = root ? root.append_child("parameters") : pugi::xml_node{};
    }
    if (!parameters) {
        gf_logNoThrow(fmt::format("adding XML parameter '{}' failed", parameter.name));
    } else {
        bool found = false;
        for (pugi::xml_node element = parameters.child("parameter"); element;
             element = element.next_sibling("parameter")) {
            if (parameter.name != element.attribute("name").value()) continue;
            found = true;
            pugi::xml_attribute value = element.attribute("value");
            if (!value) value = element.append_attribute("value");
            if (!value || !value.set_value(text.c_str())) {
                gf_logNoThrow(fmt::format("updating XML parameter '{}' failed", parameter.name));
            }
        }
        if (!found && !gf_appendXmlParameter(parameters, parameter.name, text)) {
            gf_logNoThrow(fmt::format("adding XML parameter '{}' failed", parameter.name));
        }
    }
    gf_logParameter(parameter);
    if (read.state == FileState::absent) lf_ensureDataFolder();
    if (!gf_saveXmlDocumentSafely(document, parametersFilePath())) {
        gf_logNoThrow(fmt::format("saving '{}' failed", pathText));
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Readers

pugi::xml_node gf_findParametersNode(const pugi::xml_node& node) {
    const pugi::xml_node root = node.child("root");
    return (root ? root : node).child("parameters");
}

namespace {

std::optional<std::string_view> lf_valueText(const pugi::xml_node& node, std::string_view key) {
    const pugi::xml_node element = lf_firstElement(gf_findParametersNode(node), key);
    const pugi::xml_attribute value = element.attribute("value");
    if (!value) return std::nullopt;
    return std::string_view(value.value());
}

}  // namespace

std::optional<std::int32_t> gf_readIntXmlParameter(const pugi::xml_node& node, std::string_view key) {
    const auto text = lf_valueText(node, key);
    return text ? gf_parseParameterInt(*text) : std::nullopt;
}

std::optional<bool> gf_readBoolXmlParameter(const pugi::xml_node& node, std::string_view key) {
    const auto text = lf_valueText(node, key);
    return text ? gf_parseParameterBool(*text) : std::nullopt;
}

std::optional<std::string> gf_readStringXmlParameter(const pugi::xml_node& node, std::string_view key) {
    const auto text = lf_valueText(node, key);
    if (!text) return std::nullopt;
    return std::string(*text);
}

std::optional<fs::path> gf_readPathAttribute(const pugi::xml_node& node, std::string_view key) {
    const auto text = lf_valueText(node, key);
    if (!text) return std::nullopt;
    // Paths are kept as UTF-8 text; on this system a path is that byte text.
    return fs::path(std::string(*text));
}

bool gf_appendXmlParameter(pugi::xml_node parameters, std::string_view key, std::string_view value) {
    pugi::xml_node element = parameters.append_child("parameter");
    if (!element) return false;
    return gf_appendXmlAttribute(element, "name", key) && gf_appendXmlAttribute(element, "value", value);
}

bool gf_appendPathXmlParameter(pugi::xml_node parameters, const PathParameter& parameter) {
    return gf_appendXmlParameter(parameters, parameter.name, gf_pathToUtf8(parameter.value()));
}

// ---------------------------------------------------------------------------
// The file

bool gf_loadParameters() {
    gf_installParameterFileWriter(&gf_writeParameterToFile);
    const std::vector<Registered> all = lf_registered();
    bool writtenAnew = false;
    {
        // Held from the read to the write, so that a value the GUI saves
        // meanwhile is either read here or written over this file, never lost.
        std::lock_guard lock(parametersFileMutex);
        writtenAnew = lf_loadParametersLocked(all);
    }
    // The controls are updated outside the file lock: a control handler on the
    // GUI thread may be waiting for that lock to save.
    lf_showAllValues(all);
    return writtenAnew;
}

void gf_saveParameters() {
    gf_installParameterFileWriter(&gf_writeParameterToFile);
    const std::vector<Registered> all = lf_registered();
    {
        std::lock_guard lock(parametersFileMutex);
        lf_saveParametersLocked(all);
    }
    lf_showAllValues(all);
}

void gf_writeParameterToFile(const Parameter& parameter) noexcept {
    try {
        lf_writeParameterLocked(parameter);
    } catch (...) {
        // A save never throws; the change at least reaches the log.
        gf_logParameter(parameter);
    }
}

void gf_setAndSaveBoolParameter(BoolParameter& parameter, bool value) noexcept {
    try {
        // The value and the file change under one hold of the lock: a load on
        // another thread reads either the old file before the change (and the
        // change then wins) or the file that already holds it.
        std::lock_guard lock(parametersFileMutex);
        parameter.setValue(value);
        lf_writeParameterLocked(parameter);
    } catch (...) {
        gf_logParameter(parameter);
    }
}

bool gf_removeParameterElement(const Parameter& parameter) {
    const std::string& pathText = parametersFilePathUtf8();
    std::lock_guard lock(parametersFileMutex);
    pugi::xml_document document;
    const FileRead read = lf_readFile(document);
    if (read.state == FileState::cannotParse) {
        gf_log(fmt::format("{} could not be loaded: {}", pathText, read.detail));
        return false;
    }
    if (read.state != FileState::read) return false;
    pugi::xml_node root = document.child("root");
    if (!root) {
        gf_log(fmt::format("{} missing in {}", "root", pathText));
        return false;
    }
    pugi::xml_node parameters = root.child("parameters");
    if (!parameters) {
        gf_log(fmt::format("Section {} missing in {}", "parameters", pathText));
        return false;
    }
    const pugi::xml_node element = lf_firstElement(parameters, parameter.name);
    if (!element) return false;
    parameters.remove_child(element);
    gf_log(fmt::format("Parameter '{}' removed", parameter.name));
    return gf_saveXmlDocumentSafely(document, parametersFilePath());
}

void gf_setParametersLoadReadHook(std::function<void()> hook) {
    std::lock_guard lock(parametersFileMutex);
    lf_loadReadHook = std::move(hook);
}

namespace {

std::mutex l_notesMutex;
WindowPositionNotes l_notes;

// An error line of the read before the window exists: Log.txt is not open
// yet and would drop it, so it is kept until the first run opens the log.
void lf_noteError(const std::string& line) {
    {
        Logger& logger = gf_logger();
        std::lock_guard lock(logger.mutex);
        if (!logger.isOpen) {
            std::lock_guard notes(l_notesMutex);
            l_notes.errorLines.push_back(line);
            return;
        }
    }
    gf_logError(line);
}

void lf_noteKeptAs(const fs::path& kept) {
    std::lock_guard notes(l_notesMutex);
    l_notes.keptAs = kept;
}

}  // namespace

WindowPositionNotes gf_takeWindowPositionNotes() {
    std::lock_guard notes(l_notesMutex);
    return std::exchange(l_notes, WindowPositionNotes{});
}

void gf_readWindowPosition() {
    // The window's own saves (keeping it on screen) come before the load.
    gf_installParameterFileWriter(&gf_writeParameterToFile);
    const fs::path& path = parametersFilePath();
    const std::string& pathText = parametersFilePathUtf8();
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) {
        lf_noteError(fmt::format("Could not check whether '{}' exists: {}", pathText, ec.message()));
        return;
    }
    if (!exists) return;

    std::lock_guard lock(parametersFileMutex);
    const std::optional<std::string> bytes = gf_readWholeFile(path);
    if (!bytes) {
        lf_noteError(fmt::format("{} could not be opened", pathText));
        return;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_buffer(bytes->data(), bytes->size());
    if (!result) {
        lf_noteError(fmt::format("{} failed to load ({}). Saved as 0.xml and removed.", pathText,
                                 result.description()));
        // Renamed to parameters0.xml; where that fails, copied and removed
        // only after the copy succeeded. Never removed without a copy: its
        // settings would be gone.
        fs::path generation = path;
        generation.replace_filename(path.stem().string() + "0" + path.extension().string());
        if (gf_osMoveFile(path, generation, false).succeeded()) {
            lf_noteKeptAs(generation);
            return;
        }
        if (!gf_save1GenerationOf(path)) {
            lf_noteError(fmt::format("{} could not be kept as 0.xml; left in place", pathText));
            return;
        }
        lf_noteKeptAs(generation);
        if (const OsResult removeError = gf_osRemoveFile(path); removeError.failed()) {
            lf_noteError(fmt::format("Could not remove '{}': {}", pathText, removeError.message()));
        }
        return;
    }
    for (IntParameter* p : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
        p->set(gf_readIntXmlParameter(document, p->name).value_or(p->defaultValue()));
    }
}
