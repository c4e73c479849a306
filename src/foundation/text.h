#pragma once
// The program's own exception for problems the user must fix, UTF-8 <-> UTF-16
// conversion and the small text helpers the file readers share.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavo {

// A problem the user has to fix; the message reads "<code>: <text>".
class UserRelatedException : public std::runtime_error {
public:
    UserRelatedException(int code, std::string_view text);
    int code;
};

}  // namespace tavo

// The path's text in UTF-8, for messages and XML.
std::string gf_pathToUtf8(const std::filesystem::path& path);
