// Finding a subfolder whose name differs only in ASCII letter case.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/os/nocase_lookup.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST(NoCaseLookup, ExactFoldedOrNothing) {
    const tavo::test::ScopedTempDir dir;
    const fs::path root = dir.path();
    fs::create_directories(root / "texture.DLH");
    fs::create_directories(root / "texture.klm");
    fs::create_directories(root / "texture.KLM");
    fs::create_directories(root / "texture.Caf\xC3\xA9");
    std::ofstream(root / "texture.file") << "x";

    struct Case {
        const char* name;
        std::optional<fs::path> expected;
    };
    const std::vector<Case> cases = {
        {"texture.DLH", root / "texture.DLH"},
        {"texture.dlh", root / "texture.DLH"},
        {"TEXTURE.Dlh", root / "texture.DLH"},
        {"texture.klm", root / "texture.klm"},  // the exact name first
        {"texture.Klm", root / "texture.KLM"},  // else the first in name order
        {"texture.CAF\xC3\xA9", root / "texture.Caf\xC3\xA9"},
        {"texture.CAF\xC3\x89", std::nullopt},  // only ASCII letters fold
        {"texture.file", std::nullopt},         // a file is no folder
        {"texture.FILE", std::nullopt},
        {"texture", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_osFindSubfolderNoCase(root, c.name), c.expected) << c.name;
    EXPECT_EQ(gf_osFindSubfolderNoCase(root / "missing", "texture.DLH"), std::nullopt);
}
