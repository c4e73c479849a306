#pragma once
// Windows file systems ignore letter case, so packages written there name
// their folders freely ("texture=dlh" for a folder texture.DLH). On Linux the
// exact name is tried first and the folder's entries are then compared with
// ASCII letters folded.

#include <filesystem>
#include <optional>
#include <string_view>

// The subfolder of `parent` whose name equals `name` with ASCII letters
// folded: the exact name when it is a folder, else the first such entry in
// name order. None when there is none (or `parent` cannot be listed). A
// status query that fails for another reason than a missing entry throws
// std::filesystem::filesystem_error.
std::optional<std::filesystem::path> gf_osFindSubfolderNoCase(const std::filesystem::path& parent,
                                                              std::string_view name);
