#include "scan/publishers.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/encrypted.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/version.h"

std::vector<std::vector<std::string>> g_publisherNames;
std::map<std::string, std::string> g_rejectedPublishers;
std::set<std::string> g_simaddonAirports;
std::vector<ThirdpartyPublisher> g_thirdpartyPublishers;

namespace {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

const char* plural(std::size_t n) { return n == 1 ? "" : "s"; }

void lf_addDefaultRejectedPublisher() { g_rejectedPublishers.emplace("fsim", "FSIM"); }

void lf_readRejectedPublishers(const pugi::xml_document& document) {
    g_rejectedPublishers.clear();
    pugi::xml_node section = document.child("root").child("rejectedpublishers");
    if (!section) {
        lf_addDefaultRejectedPublisher();
        return;
    }
    for (pugi::xml_node rp : section.children("rp")) {
        for (std::string& piece : gf_split(rp.attribute("n").as_string(), ',')) {
            g_rejectedPublishers.emplace(lowerAscii(piece), std::move(piece));  // the first value stays
        }
    }
}

void lf_readPublisherNames(const pugi::xml_document& document) {
    std::vector<std::string> values;
    for (pugi::xml_node pub : document.child("root").child("publishers").children("pub")) {
        values.emplace_back(pub.attribute("pn").as_string());
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (const std::string& value : values) g_publisherNames.push_back(lf_splitCommaList(value));
}

void lf_readXmlSection(const pugi::xml_document& document, const char* section, const char* element,
                       const char* attribute) {
    pugi::xml_node root = document.child("root");
    if (!root) throw tavo::UserRelatedException(61, "XML root missing: root");
    pugi::xml_node node = root.child(section);
    if (!node) throw tavo::UserRelatedException(61, std::string("Missing section: ") + section);
    for (pugi::xml_node e : node.children(element)) {
        for (std::string& piece : gf_split(e.attribute(attribute).as_string(), ',')) {
            g_simaddonAirports.insert(std::move(piece));
        }
    }
}

void lf_readPublisherSection(const pugi::xml_document& document, const char* section, const char* element) {
    for (pugi::xml_node e : document.child("root").child(section).children(element)) {
        ThirdpartyPublisher publisher;
        publisher.name = e.attribute("pub").as_string();
        for (std::string& piece : gf_split(e.attribute("aps").as_string(), ',')) {
            publisher.entries.emplace_back(std::move(piece), std::string{});
        }
        for (pugi::xml_node ap : e.children("ap")) {
            std::string_view f = ap.attribute("f").as_string();
            std::string_view v = ap.attribute("v").as_string();
            if (f.empty() || v.empty()) continue;
            auto it = std::find_if(publisher.entries.begin(), publisher.entries.end(),
                                   [&](const auto& entry) { return entry.first == f; });
            if (it != publisher.entries.end()) it->second = v;
        }
        g_thirdpartyPublishers.push_back(std::move(publisher));
    }
}

// The first name list holding a name that the text contains.
const std::vector<std::string>* lf_findPublisherList(std::string_view text) {
    for (const auto& names : g_publisherNames) {
        for (const std::string& name : names) {
            // An exact hit is a hit without case too.
            if (gf_containsNoCase(text, name)) return &names;
        }
    }
    return nullptr;
}

}  // namespace

void gf_clearPublisherData() {
    g_publisherNames.clear();
    g_publisherNames.shrink_to_fit();
    g_rejectedPublishers.clear();
    g_simaddonAirports.clear();
    g_thirdpartyPublishers.clear();
    g_thirdpartyPublishers.shrink_to_fit();
}

std::vector<std::string> lf_splitCommaList(std::string_view text) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        pieces.push_back(gf_trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return pieces;
}

bool gf_readPublishersFrom(const std::filesystem::path& path, bool msfs2020) {
    gf_clearPublisherData();
    g_publisherNames.reserve(1024);
    g_thirdpartyPublishers.reserve(800);

    std::error_code ec;
    bool exists = std::filesystem::exists(path, ec);
    if (ec) throw std::filesystem::filesystem_error("exists", path, ec);
    if (!exists) throw std::runtime_error(fmt::format("{} not available", gf_pathToUtf8(path)));

    DecryptResult decrypted = gf_readEncryptedFile(path, archivesDataSizeLimit);
    if (!decrypted.ok) throw std::runtime_error(decrypted.error);

    pugi::xml_document document;
    pugi::xml_parse_result parsed =
        document.load_buffer_inplace(decrypted.buffer.data(), decrypted.buffer.size());
    if (!parsed) {
        gf_logError(fmt::format("{} not read because: {}", gf_pathToUtf8(path), parsed.description()));
        return false;
    }
    if (!document.child("root")) {
        gf_logError(fmt::format("'{}' has no root node", gf_pathToUtf8(path)));
        return false;
    }
    lf_readPublisherNames(document);
    lf_readRejectedPublishers(document);
    gf_log(fmt::format("{:5} publisher{}", g_publisherNames.size(), plural(g_publisherNames.size())));
    gf_log(fmt::format("{:5} rejected manifest publisher value{}", g_rejectedPublishers.size(),
                       plural(g_rejectedPublishers.size())));
    if (msfs2020) {
        lf_readXmlSection(document, "simaddons20", "s20", "aps");
        lf_readPublisherSection(document, "thirdparties20", "t20");
    } else {
        lf_readXmlSection(document, "simaddons24", "s24", "aps");
        lf_readPublisherSection(document, "thirdparties24", "t24");
    }
    return true;
}

bool gf_readPublishers(bool msfs2020) { return gf_readPublishersFrom(archivesEncFile, msfs2020); }

bool gf_containsNoCase(std::string_view text, std::string_view word) {
    if (word.empty()) return true;
    if (word.size() > text.size()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size() && lower(text[i + k]) == lower(word[k])) ++k;
        if (k == word.size()) return true;
    }
    return false;
}

bool gf_containsNoCase(const std::filesystem::path& path, std::string_view word) {
    return gf_containsNoCase(std::string_view(gf_pathToUtf8(path)), word);
}

PackageClass gf_classifyPackage(std::string_view packageText) {
    if (packageText.empty()) return {2, {}};
    if (const auto* names = lf_findPublisherList(packageText)) return {0, names->front()};
    return {1, {}};
}

PackageClass gf_classifyPackage(const std::filesystem::path& package) {
    return gf_classifyPackage(std::string_view(gf_pathToUtf8(package)));
}

bool gf_isRejectedPublisher(std::string_view value) {
    std::string key = lowerAscii(gf_trimView(value));
    return !key.empty() && g_rejectedPublishers.contains(key);
}

ArchiveMatch gf_findPackagePublisher(std::string_view publisher, const IcaoCode& icao, std::string_view version) {
    ArchiveMatch result;
    auto it = std::find_if(g_thirdpartyPublishers.begin(), g_thirdpartyPublishers.end(),
                           [&](const ThirdpartyPublisher& p) { return p.name == publisher; });
    if (it == g_thirdpartyPublishers.end()) return result;

    std::string_view code = icao.text();
    std::string exactKey(code);
    if (!version.empty()) exactKey += gf_removeDots(version);
    std::optional<RcVersion> wanted = gf_parseVersionRc(version);

    // Without its dots a version is ambiguous (1.1.0, 1.10 and 11.0 all give
    // "110"; 1.0.10 and 10.1.0 "1010"), so the name decides only for an entry
    // that states no version; one that states its own matches that version
    // only. The name stays the first key: an unversioned entry named exactly
    // for the wanted version wins over a version match found before it.
    const std::string* byName = nullptr;
    const std::string* byVersion = nullptr;
    std::optional<RcVersion> higher;
    for (const auto& [name, entryVersion] : it->entries) {
        if (entryVersion.empty()) {
            if (name == exactKey && byName == nullptr) byName = &name;
            continue;
        }
        if (name.size() >= 4 && std::string_view(name).starts_with(code) && wanted) {
            std::optional<RcVersion> have = gf_parseVersionRc(entryVersion);
            if (!have) continue;
            if (*have == *wanted) {
                if (byVersion == nullptr) byVersion = &name;
            } else if (*have > *wanted && (!higher || *have > *higher)) {
                higher = have;
                result.higherVersion = entryVersion;
            }
        }
    }
    const std::string* match = byName != nullptr ? byName : byVersion;
    if (match != nullptr) {
        result.entry = *match;
        result.status = higher ? 2 : 1;
    } else {
        result.status = higher ? 3 : 0;
    }
    return result;
}
