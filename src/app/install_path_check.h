#pragma once
// The check of a Community folder the user picked when the simulator's
// packages root could not be found: it must be a folder named Community (any
// letter case) inside a root; the simulator's other package folders beside it
// are expected but only warned about. The result is told in the status line
// and in message boxes over the main window.

#include <filesystem>

class PathParameter;

// True when the folder was accepted: the install path parameter (of the
// chosen simulator) now holds the folder that contains it, saved. A rejected
// folder leaves the parameter as it was.
bool lf_checkInstallPathDialog(PathParameter& installPath, const std::filesystem::path& pickedFolder);
