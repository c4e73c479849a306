#include "support/scenery_tree.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "support/bgl_builder.h"
#include "support/manifest_writer.h"
#include "support/scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace tavo::test {

namespace {

constexpr std::string_view kAcme = "Acme Sky Scenery";

std::string lf_join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
    return text;
}

struct ModelParking {
    int type = 9;
    int name = 10;  // "GATE "
    int number = 1;
    double radiusM = 20.0;
    double biasXM = 0.0;
};

struct ModelAirport {
    std::string icao;
    double lat = 0.0, lon = 0.0;
    std::vector<ModelParking> parkings;
    int helipads = 0;
};

class Maker {
public:
    Maker(SceneryTree& tree, const SceneryTreeOptions& options) : t_(tree), options_(options) {}

    void make() {
        t_.msfs2024 = options_.msfs2024;
        t_.installPath = t_.base / (t_.msfs2024 ? "sim2024" : "sim2020");
        makeArchives();
        const fs::path community = t_.installPath / "Community";
        if (t_.msfs2024) {
            t_.roots = {community, t_.installPath / "StreamedPackages", t_.installPath / "Official2024",
                        t_.installPath / "Community2024"};
            for (const fs::path& root : t_.roots) fs::create_directories(root);
            makeStreamed(t_.roots[1], t_.roots[2]);
            makeCommunity2024(t_.roots[3]);
        } else {
            t_.roots = {t_.installPath / "Official", community};
            for (const fs::path& root : t_.roots) fs::create_directories(root);
            makeOfficial(t_.roots[0] / "OneStore");
        }
        makeCommunity(community);
        makeBulk(community);
        writeScenario();
    }

private:
    // ---- the airports list, weekly traffic and archives ----

    void airport(const std::string& icao, double lat, double lon, bool weekly = true) {
        if (!codes_.insert(icao).second) throw std::logic_error("scenery tree: code used twice: " + icao);
        t_.airports.push_back(airportEntry(icao, lat, lon, 300));
        if (weekly) t_.weeklyTraffic.push_back(icao);
        positions_[icao] = {lat, lon};
    }

    void makeArchives() {
        ArchivesBuilder& a = t_.archives;
        a.publishers = {std::string(kAcme) + ", acme-sky"};
        a.leftOut = {"rejectedpublishers"};  // only the default "fsim" is rejected
        a.simaddons20 = {"EDDF,KATL"};
        a.simaddons24 = {"EDDF, KATL"};
        ArchivesBuilder::Thirdparty acme;
        acme.pub = std::string(kAcme);
        acme.aps = "KBOS101,KBOS110,KJFK110,KSEA20";
        acme.versions = {{"KBOS101", "1.0.1"}, {"KBOS110", "1.1.0"}, {"KJFK110", "1.1.0"}, {"KSEA20", "2.0"}};
        a.thirdparties20 = {acme};
        a.thirdparties24 = {acme};
    }

    // ---- files ----

    void package(const fs::path& folder, const ManifestWriter& manifest) {
        manifest.writeInto(folder);
        std::ofstream layout(folder / "layout.json", std::ios::binary);
        layout << "{\n  \"content\": [\n    {\"path\": \"scenery/world.bgl\", \"size\": 1024, \"date\": "
                  "132000000000000000}\n  ]\n}\n";
        if (!layout) throw std::runtime_error("scenery tree: cannot write " + (folder / "layout.json").string());
        ++t_.packages;
    }

    static ManifestWriter manifest(std::string_view title, std::string_view version, std::string_view manufacturer,
                                   std::string_view creator) {
        ManifestWriter m;
        m.raw("dependencies", "[]").string("content_type", "SCENERY").string("title", title);
        m.string("manufacturer", manufacturer).string("creator", creator).string("package_version", version);
        m.string("minimum_game_version", "1.37.19");
        return m;
    }

    // An airport BGL of `parkings` gates and `helipads` helipads around the
    // airport's position.
    void airportBgl(const fs::path& path, const std::string& icao, int parkings, int helipads) {
        const auto [lat, lon] = positions_.at(icao);
        BglAirport record;
        record.icao = icao;
        record.altitudeMm = 91440;  // 300 ft
        for (int h = 0; h < helipads; ++h) {
            record.subrecords.push_back(bglHelipad({lat + 0.003 * (h + 1), lon - 0.003, 22.0f, 32, -1}));
        }
        if (parkings > 0) {
            std::vector<BglParking> gates;
            for (int p = 0; p < parkings; ++p) {
                BglParking gate;
                gate.number = static_cast<std::uint32_t>(p + 1);
                gate.lat = lat + 0.0004 * p;
                gate.lon = lon + 0.0004;
                gate.headingDegrees = static_cast<float>(10 * p);
                if (p % 4 == 3) gate.airlineCodes = {0x4c48};
                gates.push_back(gate);
            }
            record.subrecords.push_back(bglParkings(gates));
        }
        write(path, bglFileOf({record}).bytes);
    }

    // A BGL without an airport section (scenery objects).
    void objectBgl(const fs::path& path, unsigned seed) {
        BglSubsection sub;
        sub.records.push_back(bglPlainRecord(0x2B, 16 + 4 * (seed % 8)));
        write(path, bglBuild({BglSection{0x25 + seed % 3, 0, {sub}}}).bytes);
    }

    void write(const fs::path& path, const BglBytes& bytes) {
        fs::create_directories(path.parent_path());
        writeBglFile(path, bytes);
        ++t_.bglFiles;
    }

    // ---- what each airport makes ----

    static SceneryTree::Outcome link(const std::string& folder, const std::string& icao, const std::string& text) {
        return {folder + "/" + icao + ".txt", {text + "\n", 0, 0}};
    }
    static SceneryTree::Outcome generated(const std::string& folder, const std::string& icao, std::size_t stands,
                                          std::size_t helipads = 0) {
        return {folder + "/" + icao + ".xml", {"", stands, helipads}};
    }
    void expect(const std::string& icao, SceneryTree::Outcome without, SceneryTree::Outcome with) {
        t_.withoutFacilities[icao] = std::move(without);
        t_.withFacilities[icao] = std::move(with);
    }
    void expect(const std::string& icao, const SceneryTree::Outcome& both) { expect(icao, both, both); }

    // ---- MSFS 2020 Official ----

    void makeOfficial(const fs::path& oneStore) {
        airport("EDDF", 50.0379, 8.5622);
        package(oneStore / "asobo-airport-eddf", manifest("Frankfurt", "0.1.4", "Asobo Studio", "Asobo Studio"));
        airportBgl(oneStore / "asobo-airport-eddf" / "scenery" / "EDDF.bgl", "EDDF", 3, 0);
        expect("EDDF", link("my_simaddon", "EDDF", "archive/simaddon/EDDF.enc"));

        airport("LFPG", 49.0097, 2.5479);
        package(oneStore / "microsoft-airport-lfpg", manifest("Paris", "0.2.0", "Microsoft", "Asobo Studio"));
        airportBgl(oneStore / "microsoft-airport-lfpg" / "scenery" / "airport.bgl", "LFPG", 4, 1);
        objectBgl(oneStore / "microsoft-airport-lfpg" / "scenery" / "objects.bgl", 1);
        expect("LFPG", generated("my_simaddon", "LFPG", 5, 1), generated("my_simaddon", "LFPG", 3, 1));
        model_.push_back({"LFPG", 49.0097, 2.5479, {{9, 10, 1, 20.0, 0.0}, {9, 10, 1, 20.0, 60.0}, {9, 10, 2, 0.0, 120.0}}, 1});

        // Generated, but never sent.
        airport("VHHX", 22.3303, 114.1947);
        package(oneStore / "asobo-airport-vhhx", manifest("Kai Tak", "0.1.0", "Asobo Studio", "Asobo Studio"));
        airportBgl(oneStore / "asobo-airport-vhhx" / "scenery" / "VHHX.bgl", "VHHX", 2, 0);
        expect("VHHX", generated("my_simaddon", "VHHX", 2));

        airport("EGLL", 51.4700, -0.4543);
        package(oneStore / "fs-base-genericairports", manifest("Base", "1.0.0", "Asobo Studio", "Asobo Studio"));
        airportBgl(oneStore / "fs-base-genericairports" / "scenery" / "EGLL.bgl", "EGLL", 3, 0);
        expect("EGLL", {});
    }

    // ---- Community (both simulators) ----

    void makeCommunity(const fs::path& community) {
        // Linked by version, with a higher one in the archive.
        airport("KBOS", 42.3656, -71.0096);
        const fs::path kbos = community / "acme-sky-scenery-kbos";
        package(kbos, manifest("Boston Logan", "1.0.1", kAcme, kAcme));
        airportBgl(kbos / "scenery" / "acme" / "KBOS_AP.bgl", "KBOS", 6, 0);
        expect("KBOS", link("my_thirdparty", "KBOS", "archive/thirdparty/Acme%20Sky%20Scenery/KBOS101.enc"));

        // Only a higher version in the archive: generated and sent.
        airport("KJFK", 40.6413, -73.7781);
        const fs::path kjfk = community / "acme-sky-scenery-kjfk";
        package(kjfk, manifest("New York JFK", "1.0.5", kAcme, kAcme));
        airportBgl(kjfk / "scenery" / "acme" / "KJFK_AP.bgl", "KJFK", 2, 0);
        expect("KJFK", generated("my_thirdparty", "KJFK", 2));

        // A publisher nobody lists.
        airport("EGKK", 51.1537, -0.1821);
        const fs::path egkk = community / "otherdev-egkk";
        package(egkk, manifest("Gatwick", "2.1", "OtherDev Studios", "OtherDev"));
        airportBgl(egkk / "scenery" / "EGKK-airport.bgl", "EGKK", 3, 0);
        objectBgl(egkk / "scenery" / "EGKK-objects.bgl", 2);
        expect("EGKK", generated("my_thirdparty", "EGKK", 3), generated("my_thirdparty", "EGKK", 2));
        model_.push_back({"EGKK", 51.1537, -0.1821, {{9, 10, 1, 20.0, 0.0}, {9, 10, 2, 20.0, 60.0}}, 0});

        // A manifest whose publisher values the archives data rejects.
        airport("LOWW", 48.1103, 16.5697);
        const fs::path loww = community / "rejected-loww";
        package(loww, manifest("Vienna", "1.0", "FSIM", "fsim"));
        airportBgl(loww / "scenery" / "LOWW.bgl", "LOWW", 3, 0);
        expect("LOWW", {});

        // A skip word in another letter case.
        airport("EGLC", 51.5048, 0.0495);
        const fs::path eglc = community / "Tutorials-airport-eglc";
        package(eglc, manifest("London City", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(eglc / "scenery" / "EGLC.bgl", "EGLC", 2, 0);
        expect("EGLC", {});

        // The BGL skip words are matched as written.
        airport("LPPT", 38.7742, -9.1342);
        airport("LEMD", 40.4983, -3.5676);
        const fs::path statics = community / "otherdev-iberia";
        package(statics, manifest("Iberia", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(statics / "scenery" / "statics" / "LPPT.bgl", "LPPT", 2, 0);
        airportBgl(statics / "scenery" / "Statics" / "LEMD.bgl", "LEMD", 2, 0);
        expect("LPPT", {});
        expect("LEMD", generated("my_thirdparty", "LEMD", 2), generated("my_thirdparty", "LEMD", 1));
        model_.push_back({"LEMD", 40.4983, -3.5676, {{9, 10, 7, 25.0, 0.0}}, 0});

        // A link back to its own package: walked once.
        airport("LSZH", 47.4582, 8.5555);
        t_.cyclePackage = community / "cycle-lszh";
        package(t_.cyclePackage, manifest("Zurich", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(t_.cyclePackage / "scenery" / "LSZH.bgl", "LSZH", 2, 0);
        fs::create_directory_symlink(t_.cyclePackage, t_.cyclePackage / "scenery" / "loop");
        expect("LSZH", generated("my_thirdparty", "LSZH", 2));

        // Two links to one folder outside the root: followed once.
        airport("EBBR", 50.9010, 4.4856);
        t_.outsideFolder = t_.base / "outside" / "linked-ebbr";
        package(t_.outsideFolder, manifest("Brussels", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(t_.outsideFolder / "scenery" / "EBBR.bgl", "EBBR", 2, 0);
        fs::create_directory_symlink(t_.outsideFolder, community / "linked-ebbr");
        fs::create_directory_symlink(t_.outsideFolder, community / "linked-ebbr-again");
        expect("EBBR", generated("my_thirdparty", "EBBR", 2));

        // Folders of 249 characters are walked, of 250 passed by.
        airport("EDDL", 51.2895, 6.7668);
        airport("EDDM", 48.3537, 11.7750);
        const std::size_t room = community.string().size() + 1;
        if (room + 10 > 249) throw std::runtime_error("scenery tree: base folder too long for the long paths");
        const fs::path eddl = community / ("eddl-" + std::string(249 - room - 5, 'x'));
        const fs::path eddm = community / ("eddm-" + std::string(250 - room - 5, 'x'));
        airportBgl(eddl / "EDDL.bgl", "EDDL", 2, 0);
        airportBgl(eddm / "EDDM.bgl", "EDDM", 2, 0);
        expect("EDDL", generated("my_thirdparty", "EDDL", 2));
        expect("EDDM", {});

        // No stands in the scenery; the simulator's facility data has none either.
        airport("LFMN", 43.6584, 7.2159);
        const fs::path lfmn = community / "otherdev-lfmn";
        package(lfmn, manifest("Nice", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(lfmn / "scenery" / "LFMN.bgl", "LFMN", 0, 0);
        expect("LFMN", {}, generated("my_thirdparty", "LFMN", 0));
        model_.push_back({"LFMN", 43.6584, 7.2159, {}, 0});

        // One stand.
        airport("LOWI", 47.2602, 11.3439);
        const fs::path lowi = community / "otherdev-lowi";
        package(lowi, manifest("Innsbruck", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(lowi / "scenery" / "LOWI.bgl", "LOWI", 1, 0);
        expect("LOWI", generated("my_thirdparty", "LOWI", 1));

        // No weekly traffic.
        airport("LIRF", 41.8003, 12.2389, false);
        const fs::path lirf = community / "otherdev-lirf";
        package(lirf, manifest("Rome", "1.0", "OtherDev Studios", "OtherDev"));
        airportBgl(lirf / "scenery" / "LIRF.bgl", "LIRF", 3, 0);
        expect("LIRF", {});
    }

    // ---- MSFS 2024 ----

    void makeStreamed(const fs::path& streamed, const fs::path& official2024) {
        airport("EDDF", 50.0379, 8.5622);
        fs::create_directories(streamed / "fs24-asobo-airport-eddf");
        manifest("Frankfurt", "0.1.4", "Asobo Studio", "Asobo Studio").writeInto(official2024 / "asobo-airport-eddf");
        expect("EDDF", link("my_simaddon", "EDDF", "archive/simaddon/EDDF.enc"));

        airport("LFPG", 49.0097, 2.5479);
        fs::create_directories(streamed / "fs24-microsoft-airport-lfpg");
        expect("LFPG", {}, generated("my_simaddon", "LFPG", 3, 1));
        model_.push_back({"LFPG", 49.0097, 2.5479, {{9, 10, 1, 20.0, 0.0}, {9, 10, 1, 20.0, 60.0}, {9, 10, 2, 0.0, 120.0}}, 1});

        airport("KSEA", 47.4502, -122.3088);
        fs::create_directories(streamed / "fs24-acme-sky-ksea");
        manifest("Seattle", "2.0", kAcme, kAcme).writeInto(official2024 / "acme-sky-ksea");
        expect("KSEA", link("my_thirdparty", "KSEA", "archive/thirdparty/Acme%20Sky%20Scenery/KSEA20.enc"));

        // "FS24" is no airport: the next group is.
        airport("LTFM", 41.2753, 28.7519);
        fs::create_directories(streamed / "fs24-airport-ltfm");
        expect("LTFM", {}, generated("my_thirdparty", "LTFM", 3));
        model_.push_back({"LTFM", 41.2753, 28.7519, {{9, 10, 1, 20.0, 0.0}, {9, 10, 2, 20.0, 60.0}, {8, 10, 3, 15.0, 120.0}}, 0});

        // Passed by: a name part of no airport, and a 2020 package.
        airport("LTBA", 40.9769, 28.8146);
        fs::create_directories(streamed / "fs24-asobo-jetways-ltba");
        fs::create_directories(streamed / "fs20-asobo-airport-ltba");
        expect("LTBA", {});
    }

    void makeCommunity2024(const fs::path& community2024) {
        airport("ESSA", 59.6498, 17.9238);
        const fs::path essa = community2024 / "nextdev-essa";
        package(essa, manifest("Stockholm", "3.0", "NextDev", "NextDev"));
        airportBgl(essa / "scenery" / "ESSA.bgl", "ESSA", 2, 1);
        expect("ESSA", generated("my_thirdparty", "ESSA", 3, 1));
    }

    // ---- the bulk ----

    void makeBulk(const fs::path& community) {
        // A code that stands as a word of the path itself would be found
        // there first, for every package.
        std::set<std::string> pathWords = {"ACME", "TAVO", "TEST"};
        std::string word;
        for (const char c : t_.base.string() + "/") {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                continue;
            }
            if (word.size() == 4) pathWords.insert(word);
            word.clear();
        }
        std::size_t made = 0;
        for (std::size_t n = 0; made < options_.bulkPackages; ++n) {
            const std::string icao = profileIcao(n + 1000);
            if (codes_.contains(icao) || pathWords.contains(icao)) continue;
            airport(icao, -50.0 + static_cast<double>(n % 100), -170.0 + static_cast<double>(n % 340), true);
            const fs::path folder = community / fmt::format("bulkpack-{:03}-{}", made, icao);
            package(folder, manifest("Bulk airport " + icao, "1.0.0", "Bulk Scenery Works", "Bulk Scenery Works"));
            const fs::path scenery = folder / "scenery" / icao;
            airportBgl(scenery / (icao + "_APX.bgl"), icao, 20, 2);
            for (std::size_t b = 1; b < options_.bglPerPackage; ++b) {
                objectBgl(scenery / fmt::format("objects_{:02}.bgl", b), static_cast<unsigned>(b));
            }
            expect(icao, generated("my_thirdparty", icao, 22, 2));
            ++made;
        }
    }

    // ---- the simulator model's world ----

    void writeScenario() {
        t_.scenario = t_.base / "scenario.xml";
        std::string xml = fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<scenario simulator=\"{}\" "
                                      "zulu=\"2024-06-01T12:00:00Z\" accept_any_title=\"true\">\n",
                                      t_.msfs2024 ? "2024" : "2020");
        xml += "  <user lat=\"50.0379\" lon=\"8.5622\" heading_deg=\"90\" on_ground=\"true\"/>\n";
        for (const ModelAirport& a : model_) {
            xml += fmt::format("  <airport icao=\"{}\" name=\"Model {}\" lat=\"{}\" lon=\"{}\" alt_m=\"91\">\n",
                               a.icao, a.icao, a.lat, a.lon);
            for (const ModelParking& p : a.parkings) {
                xml += fmt::format("    <parking type=\"{}\" name=\"{}\" number=\"{}\" heading_deg=\"90\" "
                                   "radius_m=\"{}\" bias_x_m=\"{}\" bias_z_m=\"40\"/>\n",
                                   p.type, p.name, p.number, p.radiusM, p.biasXM);
            }
            for (int h = 0; h < a.helipads; ++h) {
                xml += fmt::format("    <helipad lat=\"{}\" lon=\"{}\" length_m=\"24\" width_m=\"24\"/>\n",
                                   a.lat + 0.002 * (h + 1), a.lon);
            }
            xml += "  </airport>\n";
        }
        xml += "</scenario>\n";
        writeFile(t_.scenario, xml);
    }

    SceneryTree& t_;
    SceneryTreeOptions options_;
    std::set<std::string> codes_;
    std::map<std::string, std::pair<double, double>> positions_;
    std::vector<ModelAirport> model_;
};

}  // namespace

void SceneryTree::writeDataFiles(const fs::path& workFolder) const {
    writeAirportsEnc(workFolder, airports);
    writeWktrafficEnc(workFolder, {lf_join(weeklyTraffic)});
    archives.write(workFolder / "input" / "archives.enc");
}

std::map<std::string, ExpectedAirportFile> SceneryTree::expectedFiles(bool facilityData) const {
    std::map<std::string, ExpectedAirportFile> files;
    for (const auto& [icao, outcome] : facilityData ? withFacilities : withoutFacilities) {
        if (!outcome.file.empty()) files[outcome.file] = outcome.content;
    }
    return files;
}

std::set<std::string> SceneryTree::expectedTblo(bool facilityData) const {
    std::set<std::string> entries;
    for (const auto& [icao, outcome] : facilityData ? withFacilities : withoutFacilities) {
        if (outcome.file.empty() || !outcome.content.linkText.empty() || icao == "VHHX") continue;
        entries.insert(icao + ".xml");
    }
    return entries;
}

SceneryTree makeSceneryTree(const fs::path& base, const SceneryTreeOptions& options) {
    SceneryTree tree;
    tree.base = base;
    Maker(tree, options).make();
    return tree;
}

}  // namespace tavo::test
