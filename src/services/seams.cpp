#include "services/seams.h"

#include <string>

#include "foundation/download.h"
#include "foundation/textfile.h"
#include "services/gui.h"
#include "services/stop.h"

namespace {

void lf_showReadFailure(const std::string& text) noexcept { Gui::addStatusLine(text, true); }

}  // namespace

void gf_setFoundationSeams() {
    gf_setDownloadKeepGoing(&keepRunning);
    gf_setReadFailureReporter(&lf_showReadFailure);
}
