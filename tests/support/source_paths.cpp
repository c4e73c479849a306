#include "support/source_paths.h"

namespace tavo::test {

std::filesystem::path sourceDir() { return TAVO_SOURCE_DIR; }

std::filesystem::path installDir() { return TAVO_INSTALL_DIR; }

}  // namespace tavo::test
