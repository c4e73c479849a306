#pragma once
// The archive of airports the program cannot learn on its own: after each
// airport scan the generated airport files of airports with weekly traffic
// are collected in the folder "tblo" and zipped into tblo/tblo.zip, which the
// user sends so that the airports can join the archive. While a zip waits the
// send button is on and the hint line asks for it.

#include <atomic>
#include <filesystem>

#include "foundation/files.h"

#include "scan/tblo_pending.h"  // g_tbloPending: set by the zip, cleared by the scan and the Tblo button

inline const std::filesystem::path tbloZipPath = tbloDir / tbloZipFile;
// The note beside the archive, naming where to send it.
inline const std::filesystem::path tbloNoteFile = tbloDir / "email address.txt";

// Copy the generated files of airports with weekly traffic from
// airports/my_simaddon and airports/my_thirdparty into the tblo folder. A
// generated file that also has a link file is deleted from its folder after
// the copy: the link is what the program reads. A thirdparty file whose
// airport has a simaddon file in the tblo folder already goes beside it as
// "<code>_thirdparty.xml", so both are sent.
void lf_copySimaddonToTblo();
void lf_copyThirdpartyToTblo();
// Zips the tblo folder and announces the archive (pending flag, send button,
// hint). An archive that could not be made is not announced.
void lf_zipTblo();
// Zips the regular files directly in the source folder (each under its file
// name) into the zip path, replacing an older zip. True when the archive was
// written with at least one file.
bool lf_zipFolder(const std::filesystem::path& source, const std::filesystem::path& zipPath);
