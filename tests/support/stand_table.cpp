#include "support/stand_table.h"

#include "engine/stands.h"

namespace tavo::test {

void setStandTable(const std::vector<StandSpec>& stands) {
    g_standTable.clear();
    g_standNameIndex.clear();
    for (const StandSpec& spec : stands) {
        Stand& stand = g_standTable.emplace_back(spec.name, std::vector<StandOption>{}, spec.position.lat,
                                                 spec.position.lon, 0.0, spec.radiusMetres, spec.type, spec.cargo,
                                                 false, false);
        stand.id = static_cast<std::uint32_t>(g_standTable.size());
        stand.excludes = spec.excludes;
        g_standNameIndex.emplace(stand.name, stand.id);
    }
    // A new table of the old size may sit in the old one's storage.
    gf_clearStandMarks();
    gf_publishStandSnapshot();
}

void clearStandTable() { setStandTable({}); }

}  // namespace tavo::test
