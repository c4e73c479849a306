#include "foundation/files.h"

#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"

bool gf_save1GenerationOf(const std::filesystem::path& path) {
    if (!path.has_extension()) {
        gf_logError(fmt::format("gf_save1GenerationOf: no extension in filename: {}", gf_pathToUtf8(path)));
        return false;
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) {
        gf_logError(fmt::format("exists({}): {}", gf_pathToUtf8(path), ec.message()));
        return false;
    }
    if (!exists) {
        return true;
    }
    std::filesystem::path generation = path;
    generation.replace_filename(path.stem().string() + "0" + path.extension().string());
    std::filesystem::copy_file(path, generation, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logError(fmt::format("copy {} -> {} failed: {}", gf_pathToUtf8(path), gf_pathToUtf8(generation),
                                ec.message()));
        return false;
    }
    return true;
}
