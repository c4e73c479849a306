#include "foundation/text.h"

#include <fmt/format.h>

namespace tavo {

UserRelatedException::UserRelatedException(int code_, std::string_view text)
    : std::runtime_error(fmt::format("{}: {}", code_, text)), code(code_) {}

}  // namespace tavo

// On Linux a path's native text is already the bytes of its UTF-8 name.
std::string gf_pathToUtf8(const std::filesystem::path& path) { return path.string(); }
