#include "foundation/xml.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "platform/os/os.h"

const std::string_view kDataFileCopyright = "Copyright (c) TAVO. All rights reserved. Redistribution prohibited.";

namespace {

// The "sim" value: a decimal integer, optionally between blanks, tabs, line
// ends, optionally preceded by '+'.
std::optional<std::uint32_t> lf_parseSimValue(std::string_view text) {
    text = gf_trimView(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool lf_appendInfo(pugi::xml_node meta, std::string_view name, std::string_view value) {
    pugi::xml_node info = meta.append_child("info");
    if (!info) {
        return false;
    }
    const bool a = gf_appendXmlAttribute(info, "name", name);
    const bool b = gf_appendXmlAttribute(info, "value", value);
    return a && b;
}

}  // namespace

std::optional<std::string> gf_optionalAttribute(const pugi::xml_node& node, const char* name) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) {
        return std::nullopt;
    }
    return std::string(attribute.value());
}

std::optional<bool> gf_readBoolAttribute(const pugi::xml_node& node, const char* name) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) {
        return std::nullopt;
    }
    const std::string text = gf_toLowerAscii(gf_trimView(attribute.value()));
    if (text == "true" || text == "yes" || text == "on" || text == "1") {
        return true;
    }
    if (text == "false" || text == "no" || text == "off" || text == "0") {
        return false;
    }
    return std::nullopt;
}

bool gf_appendXmlAttribute(pugi::xml_node node, std::string_view name, std::string_view value) {
    const std::string nameText(name);
    pugi::xml_attribute attribute = node.append_attribute(nameText.c_str());
    if (!attribute) {
        return false;
    }
    return attribute.set_value(std::string(value).c_str());
}

bool gf_appendStringAttribute(pugi::xml_node node, std::string_view name, const std::string& value) {
    return gf_appendXmlAttribute(node, name, value);
}

bool gf_appendBoolAttribute(pugi::xml_node node, std::string_view name, bool value) {
    const std::string nameText(name);
    pugi::xml_attribute attribute = node.append_attribute(nameText.c_str());
    if (!attribute) {
        return false;
    }
    return attribute.set_value(value);
}

bool gf_saveXmlDocument(pugi::xml_document& document, const std::filesystem::path& path) {
    pugi::xml_node declaration;
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_declaration) {
            declaration = child;
            break;
        }
    }
    if (!declaration) {
        declaration = document.prepend_child(pugi::node_declaration);
    }
    if (!declaration) {
        return false;
    }
    for (const char* name : {"version", "encoding"}) {
        if (!declaration.attribute(name)) {
            declaration.append_attribute(name);
        }
    }
    declaration.attribute("version").set_value("1.0");
    declaration.attribute("encoding").set_value("UTF-8");
    return document.save_file(gf_pathToUtf8(path).c_str(), "  ", pugi::format_indent, pugi::encoding_utf8);
}

bool gf_saveXmlDocumentSafely(pugi::xml_document& document, const std::filesystem::path& target) {
    std::filesystem::path tmp = target;
    tmp += ".tmp";
    std::filesystem::path bak = target;
    bak += ".bak";
    const auto fail = [&tmp] {
        gf_osRemoveFile(tmp);
        return false;
    };
    gf_osRemoveFile(tmp);
    if (!gf_saveXmlDocument(document, tmp)) {
        return fail();
    }
    {
        // Only a file that reads back as a document may replace the old one.
        std::ifstream in(tmp, std::ios::binary);
        if (!in) {
            return fail();
        }
        pugi::xml_document check;
        if (!check.load(in) || !check.document_element()) {
            return fail();
        }
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(target, ec);
    if (ec) {
        return fail();
    }
    if (exists && gf_osCopyFile(target, bak).failed()) {
        return fail();
    }
    if (gf_osMoveFile(tmp, target, true).failed()) {
        return fail();
    }
    return true;
}

bool gf_writeDataFileMeta(pugi::xml_document& document, const DataFileMeta& meta) {
    pugi::xml_node root = document.child("root");
    if (!root) {
        root = document.append_child("root");
    }
    if (!root) {
        return false;
    }
    while (pugi::xml_node old = root.child("meta")) {
        root.remove_child(old);
    }
    pugi::xml_node block = root.append_child("meta");
    if (!block) {
        return false;
    }
    bool ok = lf_appendInfo(block, "author", "TAVO");
    ok = lf_appendInfo(block, "version", meta.version) && ok;
    ok = lf_appendInfo(block, "date", gf_utcDateText()) && ok;
    ok = lf_appendInfo(block, "copyright", kDataFileCopyright) && ok;
    if (!lf_appendInfo(block, "sim", fmt::format("{}", static_cast<std::int32_t>(meta.sim)))) {
        return false;
    }
    return ok;
}

std::optional<DataFileMeta> gf_readDataFileMeta(const pugi::xml_document& document, bool acceptAnySim) {
    const pugi::xml_node root = document.child("root");
    const pugi::xml_node block = root ? root.child("meta") : document.child("meta");
    if (!block) {
        return std::nullopt;
    }
    DataFileMeta meta;
    bool copyright = false, author = false, date = false, version = false, p3d = false, msfs = false, sim = false;
    for (pugi::xml_node info = block.child("info"); info; info = info.next_sibling("info")) {
        const std::string_view name = info.attribute("name").value();
        if (name.empty()) {
            continue;
        }
        const std::string_view value = info.attribute("value").value();
        if (name == "copyright") {
            if (copyright) {
                continue;
            }
            if (value.empty()) {
                gf_logError("no copyright info in the file?");
                break;
            }
            copyright = true;
        } else if (name == "author") {
            if (!author) meta.author = value, author = true;
        } else if (name == "date") {
            if (!date) meta.date = value, date = true;
        } else if (name == "version") {
            if (!version) meta.version = value, version = true;
        } else if (name == "P3D") {
            if (!p3d) meta.p3d = value, p3d = true;
        } else if (name == "MSFS") {
            if (!msfs) meta.msfs = value, msfs = true;
        } else if (name == "sim") {
            if (sim) {
                continue;
            }
            if (const auto parsed = lf_parseSimValue(value)) {
                meta.sim = *parsed;
                sim = true;
            } else {
                gf_logError("invalid sim info in the file");
            }
        }
    }
    if (!copyright) {
        return std::nullopt;
    }
    if (!acceptAnySim) {
        if (!sim && !p3d && !msfs) {
            return std::nullopt;
        }
        const bool accepted = (sim && meta.sim >= 1 && meta.sim <= 3) || meta.msfs == "2020" ||
                              meta.msfs == "2024" || !meta.p3d.empty();
        if (!accepted) {
            gf_logError("unsupported sim info in the file");
            return std::nullopt;
        }
    }
    return meta;
}
