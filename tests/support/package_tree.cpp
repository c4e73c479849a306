#include "support/package_tree.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <utility>

#include "support/aircraft_cfg_builder.h"

namespace fs = std::filesystem;

namespace tavo::test {

namespace {

// Codes of the tests' small aircraft database.
constexpr std::array<std::string_view, 10> kPaxAirlines = {"DLH", "KLM", "BAW", "AFR", "UAL",
                                                           "DAL", "AAL", "RYR", "EZY", "SWR"};
constexpr std::array<std::string_view, 5> kCargoAirlines = {"FDX", "UPS", "GTI", "CLX", "BOX"};
constexpr std::array<std::string_view, 18> kModels = {"A319", "A320", "A321", "A20N", "B738", "B739",
                                                      "B77W", "B744", "E190", "E195", "DH8D", "AT76",
                                                      "B788", "A332", "A359", "CRJ9", "B763", "B752"};
// IVAO folders are named after the model; none of these is a winglet variant.
constexpr std::array<std::string_view, 5> kIvaoModels = {"A320", "A319", "B738", "B77W", "E190"};

// Each package's aircraft: how many aircraft.cfg files, how many sections in
// each, and where in the model list it starts (packages overlap in part, so
// that prioritizing has records to remove and records to keep).
struct PackageShape {
    std::size_t aircraft;
    std::size_t sections;
    std::size_t firstModel;
};

struct Shapes {
    PackageShape aig, aigBeta, fsltl, fsltlSecond, jf, mtl, userAitraffic, userAitrafficCvt;
};

Shapes lf_shapes(PackageTreeSize size) {
    if (size == PackageTreeSize::small) {
        return {{6, 20, 0}, {1, 10, 0}, {3, 20, 6}, {1, 10, 6}, {2, 20, 10}, {3, 10, 0}, {1, 20, 12}, {1, 10, 12}};
    }
    return {{360, 42, 0}, {2, 20, 0}, {120, 42, 6}, {2, 20, 6}, {60, 42, 10}, {40, 35, 0}, {24, 42, 12}, {2, 20, 12}};
}

// Bytes standing in for a texture: the scan never opens these.
constexpr std::string_view kTextureBytes = "DDS | texture bytes";

class Maker {
public:
    explicit Maker(PackageTree& tree) : tree_(tree) {}

    // Writes a file (folders made) and counts it under the package whose
    // layout.json lists it.
    void file(const fs::path& path, std::string_view content) {
        if (path.parent_path() != lastFolder_) {
            fs::create_directories(path.parent_path());
            lastFolder_ = path.parent_path();
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) throw fs::filesystem_error("cannot write", path, std::make_error_code(std::errc::io_error));
        ++tree_.files;
        if (!layoutRoot_.empty()) {
            layout_.emplace_back(path.lexically_relative(layoutRoot_).generic_string(), content.size());
        }
    }

    // Starts a package: what follows is listed in its layout.json.
    void beginPackage(const fs::path& folder) {
        layoutRoot_ = folder;
        layout_.clear();
    }
    // manifest.json and layout.json, as the simulator's packages carry them.
    void endPackage(std::string_view title, std::string_view creator) {
        const fs::path folder = layoutRoot_;
        std::string manifest = "{\n  \"dependencies\": [],\n  \"content_type\": \"AIRCRAFT\",\n  \"title\": \"";
        manifest += title;
        manifest += "\",\n  \"manufacturer\": \"\",\n  \"creator\": \"";
        manifest += creator;
        manifest += "\",\n  \"package_version\": \"1.2.0\",\n  \"minimum_game_version\": \"1.37.19\"\n}\n";
        std::string layout = "{\n  \"content\": [";
        for (std::size_t i = 0; i < layout_.size(); ++i) {
            layout += i == 0 ? "\n" : ",\n";
            layout += "    {\"path\": \"" + layout_[i].first + "\", \"size\": " + std::to_string(layout_[i].second) +
                      ", \"date\": 133497542400000000}";
        }
        layout += "\n  ]\n}\n";
        layoutRoot_.clear();
        file(folder / "manifest.json", manifest);
        file(folder / "layout.json", layout);
    }

    // A unique number for titles and registrations.
    std::size_t next() { return serial_++; }

    static std::string registration(std::size_t n) {
        std::string letters(4, 'A');
        for (std::size_t i = 4; i-- > 0; n /= 26) letters[i] = static_cast<char>('A' + n % 26);
        return "TV-" + letters;
    }

    // One livery's texture folder with its files.
    void textureFolder(const fs::path& folder, std::string_view model) {
        file(folder / "texture.cfg", "[fltsim]\r\nfallback.1=..\\..\\texture\r\n");
        const std::string stem = std::string(model);
        file(folder / (stem + "_ALBD.PNG.DDS"), kTextureBytes);
        file(folder / (stem + "_ALBD.PNG.DDS.json"), "{\"Version\":2,\"SourceFileDate\":1}\n");
        file(folder / (stem + "_NORM.PNG.DDS"), kTextureBytes);
        file(folder / (stem + "_NORM.PNG.DDS.json"), "{\"Version\":2,\"SourceFileDate\":1}\n");
        file(folder / "thumbnail.JPG", "\xFF\xD8\xFF\xE0 jpeg");
    }

    // An aircraft folder of a general package: its aircraft.cfg (under the
    // given name) with `sections` liveries of one model, a texture folder per
    // livery and the model's own files. The liveries are recorded as found in
    // `package` (empty: found by no scan of a package).
    void generalAircraft(const fs::path& folder, std::string_view prefix, std::string_view model, std::size_t sections,
                         const fs::path& package, std::string_view cfgName = "aircraft.cfg") {
        AircraftCfgBuilder cfg;
        cfg.version().general({{"icao_type_designator", std::string(model)},
                               {"icao_manufacturer", "ACME"},
                               {"editable", "1"},
                               {"performance", "\"none\""}});
        for (std::size_t s = 0; s < sections; ++s) {
            const std::size_t n = next();
            const bool cargo = n % 6 == 5;
            const std::string airline(cargo ? kCargoAirlines[n % kCargoAirlines.size()]
                                            : kPaxAirlines[n % kPaxAirlines.size()]);
            PackageLivery livery;
            livery.title = std::string(prefix) + " " + std::string(model) + " " + airline + " " + std::to_string(n);
            livery.registration = n % 3 != 2 ? registration(n) : std::string();
            livery.airline = airline;
            livery.model = std::string(model);
            livery.cargo = cargo;
            livery.package = package;
            const std::string texture = airline + "_" + std::to_string(n);
            AircraftCfgBuilder::Keys keys{{"title", "\"" + livery.title + "\""},
                                          {"model", ""},
                                          {"texture", texture},
                                          {"atc_airline", "\"" + airline + " Air\""},
                                          {"icao_airline", airline},
                                          {"atc_parking_types", cargo ? "CARGO" : "GATE,RAMP"},
                                          {"ui_variation", "\"" + airline + " " + std::to_string(n) + "\""}};
            if (!livery.registration.empty()) keys.emplace_back("atc_id", livery.registration);
            cfg.fltsim(static_cast<int>(s), keys);
            textureFolder(folder / ("texture." + texture), model);
            tree_.liveries.push_back(std::move(livery));
        }
        file(folder / cfgName, cfg.text());
        ++tree_.cfgFiles;
        file(folder / "model" / "model.cfg", "[models]\r\nnormal=aircraft.xml\r\n");
    }

    // An aircraft folder of the IVAO package: the model is the folder's name
    // after "IVAO_", the airline the three letters after the model in the
    // title, and every section's texture folder must exist.
    void ivaoAircraft(const fs::path& folder, std::string_view model, std::size_t sections, const fs::path& package) {
        AircraftCfgBuilder cfg;
        cfg.version().general({{"atc_type", "\"IVAO\""}, {"editable", "0"}});
        for (std::size_t s = 0; s < sections; ++s) {
            const std::size_t n = next();
            const std::string airline(kPaxAirlines[n % kPaxAirlines.size()]);
            PackageLivery livery;
            livery.title = std::string(model) + " " + airline + " IVAO " + std::to_string(n);
            livery.registration = n % 2 == 0 ? registration(n) : std::string();
            livery.airline = airline;
            livery.model = std::string(model);
            livery.package = package;
            const std::string texture = airline + std::to_string(n);
            AircraftCfgBuilder::Keys keys{
                {"title", livery.title}, {"model", ""}, {"texture", texture}, {"atc_parking_types", "GATE"}};
            if (!livery.registration.empty()) keys.emplace_back("atc_id", livery.registration);
            cfg.fltsim(static_cast<int>(s), keys);
            textureFolder(folder / ("texture." + texture), model);
            tree_.liveries.push_back(std::move(livery));
        }
        file(folder / "aircraft.cfg", cfg.text());
        ++tree_.cfgFiles;
    }

    // A general package of the given shape under SimObjects/Airplanes.
    void generalPackage(const fs::path& folder, std::string_view prefix, const PackageShape& shape,
                        const fs::path& package) {
        for (std::size_t a = 0; a < shape.aircraft; ++a) {
            const std::string_view model = kModels[(shape.firstModel + a) % kModels.size()];
            const fs::path aircraft = folder / "SimObjects" / "Airplanes" /
                                      (std::string(prefix) + "_" + std::string(model) + "_" + std::to_string(a));
            generalAircraft(aircraft, prefix, model, shape.sections, package);
        }
    }

private:
    PackageTree& tree_;
    std::size_t serial_ = 0;
    fs::path layoutRoot_;
    fs::path lastFolder_;  // made already
    std::vector<std::pair<std::string, std::size_t>> layout_;
};

// The folder names of the package that hold each skip word (none enters).
constexpr std::array<std::string_view, 9> kSkipFolders = {"airport-vehicles_A320", "lvfr_A319",        "mkstudios_A321",
                                                          "simwings_B738",         "fsdreamteam_B739", "navigraph_B77W",
                                                          "flytampa_B744",         "inibuilds_E190",   "A320_CVT_"};

// The AIG package with the folders a walk must enter or pass by.
void lf_aigSpecials(Maker& maker, PackageTree& tree) {
    const fs::path planes = tree.aig / "SimObjects" / "Airplanes";
    for (const std::string_view name : kSkipFolders) {
        maker.generalAircraft(planes / name, "AIG skipped", "A320", 1, {});
    }
    maker.generalAircraft(planes / "my-airport-pack", "AIG skipped", "A320", 1, {});
    // Skip words are compared with letter case: this one is entered.
    maker.generalAircraft(planes / "Airport_Shuttle_A320", "AIG shuttle", "A320", 3, tree.aig);
    maker.generalAircraft(planes / "A321_UPPER", "AIG upper", "A321", 2, tree.aig, "AIRCRAFT.CFG");
    maker.generalAircraft(planes / "A320_backup", "AIG backup", "A320", 2, {}, "aircraft.cfg.bak");

    // Folders whose full path is 249 (entered) and 250 bytes (not entered).
    const std::string prefix = planes.string() + "/";
    if (prefix.size() + 20 > 249) throw std::runtime_error("package tree base path too long: " + tree.base.string());
    for (const std::size_t length : {std::size_t{249}, std::size_t{250}}) {
        std::string name = "Long_" + std::to_string(length) + "_";
        name.append(length - prefix.size() - name.size(), 'x');
        maker.generalAircraft(planes / name, "AIG long " + std::to_string(length), "A319", 2,
                              length < 250 ? tree.aig : fs::path{});
    }
}

// Two aircraft the scan reports: a model code the database fixes (A32N
// becomes A20N, listed in Fixes.txt) and an airline code it does not know
// (listed; the livery, with a registration and not heavy, flies as private).
void lf_aigReportCases(Maker& maker, PackageTree& tree) {
    const fs::path planes = tree.aig / "SimObjects" / "Airplanes";
    maker.generalAircraft(planes / "AIG_A32N_fixed", "AIG fixed", "A32N", 2, tree.aig);
    for (auto it = tree.liveries.end() - 2; it != tree.liveries.end(); ++it) it->model = "A20N";

    AircraftCfgBuilder cfg;
    cfg.version().general({{"icao_type_designator", "A320"}});
    PackageLivery livery;
    livery.title = "AIG A320 unknown airline " + std::to_string(maker.next());
    livery.registration = "TV-ZZZZ";
    livery.airline = "PVT";
    livery.model = "A320";
    livery.package = tree.aig;
    cfg.fltsim(0, {{"title", livery.title},
                   {"texture", "XYZ"},
                   {"icao_airline", "XYZ"},
                   {"atc_id", livery.registration},
                   {"atc_parking_types", "GATE"}});
    maker.textureFolder(planes / "AIG_A320_unknown" / "texture.XYZ", "A320");
    maker.file(planes / "AIG_A320_unknown" / "aircraft.cfg", cfg.text());
    ++tree.cfgFiles;
    tree.liveries.push_back(std::move(livery));
}

// A link inside the AIG package to an aircraft folder outside it: a walk
// never follows it.
void lf_aigLinkedFolder(Maker& maker, const PackageTree& tree) {
    const fs::path outside = tree.base / "Outside" / "linked_B738";
    maker.generalAircraft(outside, "AIG linked", "B738", 2, {});
    fs::create_directory_symlink(outside, tree.aig / "SimObjects" / "Airplanes" / "linked_B738");
}

void lf_userCfg(Maker& maker, const PackageTree& tree) {
    const std::string text = "{Graphics\r\n\tVersion 1.1\r\n}\r\n{Sound\r\n\tMusic 1\r\n}\r\nInstalledPackagesPath \"" +
                             tree.packagesRoot.string() + "\"\r\n";
    maker.file(tree.roamingAppData / "Microsoft Flight Simulator" / "UserCfg.opt", text);
    maker.file(tree.roamingAppData / "Microsoft Flight Simulator 2024" / "UserCfg.opt", text);
}

}  // namespace

std::vector<fs::path> PackageTree::automaticRoots() const { return {aig, fsltl, jf, mtl, userAitraffic}; }

std::vector<PackageLivery> PackageTree::liveriesOf(const fs::path& package) const {
    std::vector<PackageLivery> out;
    for (const PackageLivery& livery : liveries) {
        if (!livery.package.empty() && livery.package == package) out.push_back(livery);
    }
    return out;
}

std::vector<PackageLivery> PackageTree::predict(const std::vector<fs::path>& roots, bool prioritize,
                                                const std::set<std::string>& dontUse) const {
    std::vector<PackageLivery> out;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        for (PackageLivery livery : liveriesOf(roots[i])) {
            if (dontUse.contains(livery.title)) continue;
            livery.priority = static_cast<std::int16_t>(std::min<std::size_t>(i + 1, 10));
            out.push_back(std::move(livery));
        }
    }
    if (prioritize && roots.size() > 1) {
        std::map<std::tuple<std::string, std::string, bool>, std::int16_t> best;
        for (const PackageLivery& l : out) {
            auto [it, added] = best.try_emplace({l.airline, l.model, l.cargo}, l.priority);
            if (!added) it->second = std::min(it->second, l.priority);
        }
        std::erase_if(out, [&](const PackageLivery& l) {
            return best.at({l.airline, l.model, l.cargo}) != l.priority;
        });
    }
    std::sort(out.begin(), out.end(), [](const PackageLivery& a, const PackageLivery& b) {
        return std::tie(a.airline, a.model, a.cargo, a.title, a.registration) <
               std::tie(b.airline, b.model, b.cargo, b.title, b.registration);
    });
    return out;
}

PackageTree makePackageTree(const fs::path& base, PackageTreeSize size) {
    PackageTree tree;
    tree.base = base;
    tree.packagesRoot = base / "Library" / "Packages";
    tree.community = tree.packagesRoot / "Community";
    tree.roamingAppData = base / "roaming";
    tree.localAppData = base / "local";
    fs::create_directories(tree.packagesRoot / "Official" / "OneStore");
    fs::create_directories(tree.packagesRoot / "Official2024");
    fs::create_directories(tree.community);
    fs::create_directories(tree.localAppData);

    tree.userAitrafficCvt = tree.community / "user-aitraffic_CVT_";
    tree.aig = tree.community / "aig-aitraffic-oci";
    tree.aigBeta = tree.community / "aig-aitraffic-oci-beta";
    tree.fsltl = tree.community / "fsltl-traffic-base";
    tree.fsltlSecond = tree.community / "fsltl-traffic-base-liveries";
    tree.mtl = tree.community / "IVAO_MTL_v2";
    tree.jf = tree.community / "justflight-aircraft-traffic-fleet";
    tree.userAitraffic = tree.community / "user-aitraffic_mine";
    tree.scenery = {tree.community / "flytampa-lebl-barcelona", tree.community / "inibuilds-egll-heathrow",
                    tree.community / "lvfr-kmia-miami"};

    const Shapes shapes = lf_shapes(size);
    Maker maker(tree);

    maker.beginPackage(tree.aig);
    maker.generalPackage(tree.aig, "AIG", shapes.aig, tree.aig);
    lf_aigSpecials(maker, tree);
    lf_aigReportCases(maker, tree);
    maker.endPackage("AIG AI Traffic OCI", "AIG");
    lf_aigLinkedFolder(maker, tree);

    struct General {
        const fs::path& folder;
        const char* prefix;
        PackageShape shape;
        const char* title;
        const char* creator;
    };
    const General generals[] = {
        {tree.aigBeta, "AIG beta", shapes.aigBeta, "AIG AI Traffic OCI beta", "AIG"},
        {tree.fsltl, "FSLTL", shapes.fsltl, "FSLTL Traffic Base", "FSLTL"},
        {tree.fsltlSecond, "FSLTL extra", shapes.fsltlSecond, "FSLTL Traffic Liveries", "FSLTL"},
        {tree.userAitraffic, "USER", shapes.userAitraffic, "User AI traffic", "me"},
        {tree.userAitrafficCvt, "USER CVT", shapes.userAitrafficCvt, "User AI traffic, converted", "me"},
    };
    for (const General& g : generals) {
        maker.beginPackage(g.folder);
        maker.generalPackage(g.folder, g.prefix, g.shape, g.folder);
        maker.endPackage(g.title, g.creator);
    }

    // The Just Flight package lives outside Community; Community holds a link.
    const fs::path jfTarget = base / "Linked" / "justflight-aircraft-traffic-fleet";
    maker.beginPackage(jfTarget);
    maker.generalPackage(jfTarget, "JF", shapes.jf, tree.jf);
    maker.endPackage("Just Flight Traffic Fleet", "Just Flight");
    fs::create_directory_symlink(jfTarget, tree.jf);

    maker.beginPackage(tree.mtl);
    const fs::path ivaoPlanes = tree.mtl / "IVAO_MTL" / "SimObjects" / "Airplanes";
    for (std::size_t a = 0; a < shapes.mtl.aircraft; ++a) {
        const std::string_view model = kIvaoModels[a % kIvaoModels.size()];
        maker.ivaoAircraft(ivaoPlanes / ("IVAO_" + std::string(model) + "_" + std::to_string(a)), model,
                           shapes.mtl.sections, tree.mtl);
    }
    maker.endPackage("IVAO MTL", "IVAO");

    // Users keep archives of their packages beside them; this one is listed
    // before both user-aitraffic folders.
    maker.file(tree.community / "user-aitraffic-backup.zip", "PK\x03\x04 archive");

    // Scenery packages with ground vehicles: none is an AI package, and their
    // names hold skip words.
    for (const fs::path& scenery : tree.scenery) {
        maker.beginPackage(scenery);
        maker.generalAircraft(scenery / "SimObjects" / "GroundVehicles" / "Tug", "Scenery tug", "C172", 1, {});
        maker.file(scenery / "scenery" / "world" / "scenery" / "airport.bgl", "RIFF");
        maker.endPackage("Airport scenery", "scenery maker");
    }

    lf_userCfg(maker, tree);
    return tree;
}

}  // namespace tavo::test
