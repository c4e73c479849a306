#pragma once
// parameters.xml: the file that keeps every registered parameter between runs.
//
//     <root>
//       <parameters>
//         <parameter name="RANGE_1" value="20"/>
//         ...
//
// The main thread loads it once per start; each later change of one parameter
// rewrites that parameter's element at once (every saving setter ends in
// gf_saveParameter, whose writer this layer installs). The whole file is
// written anew only when it is missing or unusable, and an existing file that
// cannot be read is never replaced by a smaller one: it is kept, with a copy
// in parameters0.xml. Elements the program does not know stay untouched.
//
// Every operation that reads and writes the file holds parametersFileMutex
// from the read to the write, so a change saved on the GUI thread while the
// main thread loads or rewrites the file is never lost.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

class Parameter;
class BoolParameter;
class IntParameter;
class StringParameter;
class PathParameter;

// --- reading values out of a parsed document -------------------------------
// Under `node` the child "root" (or `node` itself when there is none), in it
// "parameters", in that the first "parameter" whose name is exactly the key,
// of that its "value" attribute. Empty when any of these is missing or the
// value cannot be read as the kind asks (gf_parseParameterInt,
// gf_parseParameterBool; a text is taken as it is, an empty one included).
std::optional<std::int32_t> gf_readIntXmlParameter(const pugi::xml_node& node, std::string_view key);
std::optional<bool> gf_readBoolXmlParameter(const pugi::xml_node& node, std::string_view key);
std::optional<std::string> gf_readStringXmlParameter(const pugi::xml_node& node, std::string_view key);
// The value's UTF-8 text as a path.
std::optional<std::filesystem::path> gf_readPathAttribute(const pugi::xml_node& node, std::string_view key);

// The "parameters" element as the readers find it (empty node when missing).
pugi::xml_node gf_findParametersNode(const pugi::xml_node& node);

// Appends <parameter name=key value=value/> to a "parameters" node; false when
// the element or one of its attributes cannot be added.
bool gf_appendXmlParameter(pugi::xml_node parameters, std::string_view key, std::string_view value);
bool gf_appendPathXmlParameter(pugi::xml_node parameters, const PathParameter& parameter);

// --- the file ----------------------------------------------------------------

// Loads parameters.xml into the registered parameters (main thread, once per
// start). Values that are missing or unreadable take their default, which is
// written into the file: over the value of the key's first element when the
// key is there, as a new element when it is not. Returns false when the file
// was read; true when it was not: it was missing, unparseable or without
// "parameters" and has been written anew with defaults (an existing one kept
// as parameters0.xml first), or it exists but cannot be opened and was left
// alone. On true the start-up checks that follow a load are skipped.
bool gf_loadParameters();

// Writes a new parameters.xml holding every registered parameter at its
// default (PROGRAM_VERSION's default becomes the program's version first).
// The values in memory stay as they are.
void gf_saveParameters();

// Sets the flag and writes it into parameters.xml in one step under
// parametersFileMutex, so that no load or save on another thread can bring
// the old value back in between. Never throws.
void gf_setAndSaveBoolParameter(BoolParameter& parameter, bool value) noexcept;

// Removes the first element of the parameter's key from the file; true only
// when one was removed and the file saved.
bool gf_removeParameterElement(const Parameter& parameter);

// Reads MAIN_WINDOW_X and MAIN_WINDOW_Y before the main window exists (GUI
// thread, before the main thread loads the file). A missing file or key keeps
// the default; a present value is clamped to the limits. A file that does not
// parse is kept as parameters0.xml and removed, so that the load writes a new
// one. Its error lines come before Log.txt is open: they are kept for
// gf_takeWindowPositionNotes instead of being lost.
void gf_readWindowPosition();

// What gf_readWindowPosition had to say while Log.txt was closed: its error
// lines, and where a damaged file was kept (nothing when none was). Taken
// once: the first run writes the lines to its Log.txt and tells the user.
struct WindowPositionNotes {
    std::vector<std::string> errorLines;
    std::optional<std::filesystem::path> keptAs;
};
WindowPositionNotes gf_takeWindowPositionNotes();

// The writer gf_loadParameters installs for gf_saveParameter: rewrites the
// parameter's element(s) in the file and logs the parameter. The caller holds
// parametersFileMutex (gf_saveParameter and every setAndSave take it). Never
// throws. Exposed for the tests and for code that saves before any load (the
// window position).
void gf_writeParameterToFile(const Parameter& parameter) noexcept;

// Test seam: called by the load, under parametersFileMutex, once it has read
// the file and before it takes the values. An empty function removes it.
void gf_setParametersLoadReadHook(std::function<void()> hook);
