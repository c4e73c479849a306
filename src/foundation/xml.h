#pragma once
// Helpers shared by every reader and writer of the program's XML files, the
// safe replacement of a settings document, and the metadata block ("meta")
// at the head of the XML data files.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// The attribute's value when the attribute exists (an empty value gives an
// empty text), nothing when it does not.
std::optional<std::string> gf_optionalAttribute(const pugi::xml_node& node, const char* name);

// Lenient flag: the attribute's text trimmed of " \t\r\n" and lower-cased;
// "true", "yes", "on", "1" give true, "false", "no", "off", "0" give false.
// A missing attribute, one of only white space or any other text: nothing.
std::optional<bool> gf_readBoolAttribute(const pugi::xml_node& node, const char* name);

// Append an attribute and set its value; false when the attribute cannot be
// appended (an empty node).
bool gf_appendXmlAttribute(pugi::xml_node node, std::string_view name, std::string_view value);
bool gf_appendStringAttribute(pugi::xml_node node, std::string_view name, const std::string& value);
// pugixml writes a bool as "true" or "false".
bool gf_appendBoolAttribute(pugi::xml_node node, std::string_view name, bool value);

// Gives the document a declaration (version "1.0", encoding "UTF-8") and saves
// it as UTF-8 with two-blank indentation. The result is the writer's success.
bool gf_saveXmlDocument(pugi::xml_document& document, const std::filesystem::path& path);

// Replaces the file at target with the document: written to "<target>.tmp",
// read back and checked, the old file kept as "<target>.bak", then the
// temporary file moved over the target. On any failure the target and its
// .bak stay as they were and no .tmp is left. Logs nothing; callers do.
// The settings code passes the path of parameters.xml.
bool gf_saveXmlDocumentSafely(pugi::xml_document& document, const std::filesystem::path& target);

// The content of a data file's "meta" block.
struct DataFileMeta {
    std::string author;
    std::string version;
    std::string date;
    std::string p3d;   // legacy "P3D" entry, never written
    std::string msfs;  // legacy "MSFS" entry, never written
    // 1 = MSFS 2020, 2 = MSFS 2024 (3 is accepted when read); all bits set
    // when the file carries no valid "sim" entry.
    std::uint32_t sim = 0xFFFFFFFFu;
};

inline constexpr std::uint32_t kNoSimValue = 0xFFFFFFFFu;

// The copyright text written into every meta block.
extern const std::string_view kDataFileCopyright;

// Writes root/meta (replacing every earlier meta) with the entries author
// ("TAVO"), version (meta.version), date (today, UTC), copyright and sim
// (meta.sim). True only when all five entries were written.
bool gf_writeDataFileMeta(pugi::xml_document& document, const DataFileMeta& meta);

// Reads the first meta block (under root, or at the top level without root).
// Nothing when there is none, when it holds no non-empty copyright entry, or
// - unless acceptAnySim is set - when it names no supported simulator. Never
// throws; logs "no copyright info in the file?", "invalid sim info in the
// file" and "unsupported sim info in the file" as error lines.
std::optional<DataFileMeta> gf_readDataFileMeta(const pugi::xml_document& document, bool acceptAnySim);
