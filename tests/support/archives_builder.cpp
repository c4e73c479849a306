#include "support/archives_builder.h"

#include "foundation/files.h"
#include "support/xml_text.h"
#include "support/enc_writer.h"

namespace tavo::test {

namespace {

void thirdpartySection(std::string& out, const std::string& section, const char* element,
                       const std::vector<ArchivesBuilder::Thirdparty>& publishers) {
    out += "  <" + section + ">\n";
    for (const auto& p : publishers) {
        out += std::string("    <") + element;
        appendXmlAttribute(out, "pub", p.pub);
        appendXmlAttribute(out, "aps", p.aps);
        out += ">\n";
        for (const auto& [f, v] : p.versions) {
            out += "      <ap";
            appendXmlAttribute(out, "f", f);
            appendXmlAttribute(out, "v", v);
            out += "/>\n";
        }
        out += std::string("    </") + element + ">\n";
    }
    out += "  </" + section + ">\n";
}

void listSection(std::string& out, const std::string& section, const char* element, const char* attribute,
                 const std::vector<std::string>& values) {
    out += "  <" + section + ">\n";
    for (const auto& value : values) {
        out += std::string("    <") + element;
        appendXmlAttribute(out, attribute, value);
        out += "/>\n";
    }
    out += "  </" + section + ">\n";
}

}  // namespace

std::string ArchivesBuilder::xml() const {
    auto written = [&](const char* section) { return !leftOut.contains(section); };
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName + ">\n";
    if (written("publishers")) {
        out += "  <publishers>\n";
        for (const auto& pn : publishers) {
            out += "    <pub";
            appendXmlAttribute(out, "pn", pn);
            out += "/>\n";
        }
        out += "  </publishers>\n";
    }
    if (written("rejectedpublishers")) listSection(out, "rejectedpublishers", "rp", "n", rejected);
    if (written("simaddons20")) listSection(out, "simaddons20", "s20", "aps", simaddons20);
    if (written("simaddons24")) listSection(out, "simaddons24", "s24", "aps", simaddons24);
    if (written("thirdparties20")) thirdpartySection(out, "thirdparties20", "t20", thirdparties20);
    if (written("thirdparties24")) thirdpartySection(out, "thirdparties24", "t24", thirdparties24);
    out += "</" + rootName + ">\n";
    return out;
}

void ArchivesBuilder::write(const std::filesystem::path& path) const {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeEncryptedFile(path, xml());
}

void ArchivesBuilder::writeToInput() const { write(archivesEncFile); }

}  // namespace tavo::test
