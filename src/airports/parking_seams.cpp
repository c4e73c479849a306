#include "airports/parking_seams.h"

#include <atomic>

namespace {

using Operation = void (*)();

std::atomic<Operation> l_disableParkingControls{nullptr};
std::atomic<Operation> l_applyParkingOptions{nullptr};
std::atomic<Operation> l_applyParkingDependencies{nullptr};
std::atomic<Operation> l_endParkedTraffic{nullptr};

void lf_run(const std::atomic<Operation>& operation) {
    if (const Operation run = operation.load()) run();
}

}  // namespace

void gf_setParkingSeams(const ParkingSeams& seams) {
    l_disableParkingControls.store(seams.disableParkingControls);
    l_applyParkingOptions.store(seams.applyParkingOptions);
    l_applyParkingDependencies.store(seams.applyParkingDependencies);
    l_endParkedTraffic.store(seams.endParkedTraffic);
}

void gf_seamDisableParkingControls() { lf_run(l_disableParkingControls); }
void gf_seamApplyParkingOptions() { lf_run(l_applyParkingOptions); }
void gf_seamApplyParkingDependencies() { lf_run(l_applyParkingDependencies); }
void gf_seamEndParkedTraffic() { lf_run(l_endParkedTraffic); }
