#include "services/gui.h"

namespace {

GuiUpdate lf_make(GuiUpdateKind kind, GuiUpdate::Payload payload = {}) {
    GuiUpdate item;
    item.kind = kind;
    item.payload = std::move(payload);
    return item;
}

}  // namespace

GuiUpdate GuiUpdate::setCompact(bool compact) { return lf_make(GuiUpdateKind::SetCompact, compact); }
GuiUpdate GuiUpdate::toggleCompact() { return lf_make(GuiUpdateKind::ToggleCompact); }
GuiUpdate GuiUpdate::stayOnTop(bool onTop) { return lf_make(GuiUpdateKind::StayOnTop, onTop); }
GuiUpdate GuiUpdate::minimise() { return lf_make(GuiUpdateKind::Minimise); }
GuiUpdate GuiUpdate::repaint(RepaintMask mask) { return lf_make(GuiUpdateKind::Repaint, std::uint8_t{mask}); }
GuiUpdate GuiUpdate::statusTick() { return lf_make(GuiUpdateKind::StatusTick); }
GuiUpdate GuiUpdate::trafficSourceStarted() { return lf_make(GuiUpdateKind::TrafficSourceStarted); }
GuiUpdate GuiUpdate::staticsWaiting(std::uint64_t count) { return lf_make(GuiUpdateKind::StaticsWaiting, count); }
GuiUpdate GuiUpdate::trafficReaderState(std::uint32_t state) {
    return lf_make(GuiUpdateKind::TrafficReaderState, state);
}
GuiUpdate GuiUpdate::displayRecord(const DisplayRecordBytes& record) {
    return lf_make(GuiUpdateKind::DisplayRecord, record);
}
GuiUpdate GuiUpdate::weatherReaderState(std::uint32_t state) {
    return lf_make(GuiUpdateKind::WeatherReaderState, state);
}
GuiUpdate GuiUpdate::trafficServiceInfo(std::string text) {
    return lf_make(GuiUpdateKind::TrafficServiceInfo, std::move(text));
}
GuiUpdate GuiUpdate::simulatorName(std::string name) { return lf_make(GuiUpdateKind::SimulatorName, std::move(name)); }
GuiUpdate GuiUpdate::simulatorReady(bool ready) { return lf_make(GuiUpdateKind::SimulatorReady, ready); }
GuiUpdate GuiUpdate::liveriesCount(std::uint64_t count) { return lf_make(GuiUpdateKind::LiveriesCount, count); }
GuiUpdate GuiUpdate::simaddonCount(std::uint64_t count) { return lf_make(GuiUpdateKind::SimaddonCount, count); }
GuiUpdate GuiUpdate::thirdpartyCount(std::uint64_t count) { return lf_make(GuiUpdateKind::ThirdpartyCount, count); }
GuiUpdate GuiUpdate::userWingspanKnown(bool known) { return lf_make(GuiUpdateKind::UserWingspanKnown, known); }
GuiUpdate GuiUpdate::liveAircraftCount(std::uint64_t count) {
    return lf_make(GuiUpdateKind::LiveAircraftCount, count);
}
GuiUpdate GuiUpdate::standCount(std::uint64_t count) { return lf_make(GuiUpdateKind::StandCount, count); }
GuiUpdate GuiUpdate::parkedCounts(std::uint64_t liveParked, std::uint64_t statics) {
    return lf_make(GuiUpdateKind::ParkedCounts, GuiTwoCounts{liveParked, statics});
}
GuiUpdate GuiUpdate::parkingTarget(std::int32_t count, std::int32_t percent) {
    return lf_make(GuiUpdateKind::ParkingTarget, GuiTwoInts{count, percent});
}
GuiUpdate GuiUpdate::airportQuality(std::string text) {
    return lf_make(GuiUpdateKind::AirportQuality, std::move(text));
}
GuiUpdate GuiUpdate::parkAirportCode(IcaoCode code) {
    return lf_make(GuiUpdateKind::ParkAirportCode, code);
}
GuiUpdate GuiUpdate::parkedTrafficText(bool flag, std::string text) {
    return lf_make(GuiUpdateKind::ParkedTrafficText, GuiTextFlag{std::move(text), flag});
}
GuiUpdate GuiUpdate::parkingInterval(std::int32_t minutes) {
    return lf_make(GuiUpdateKind::ParkingInterval, minutes);
}
GuiUpdate GuiUpdate::parkedTrafficFlag(bool flag) { return lf_make(GuiUpdateKind::ParkedTrafficFlag, flag); }
GuiUpdate GuiUpdate::qnh(std::int32_t hectopascal) { return lf_make(GuiUpdateKind::Qnh, hectopascal); }
GuiUpdate GuiUpdate::qnhInHg(bool inHg) { return lf_make(GuiUpdateKind::QnhInHg, inHg); }
GuiUpdate GuiUpdate::parkAirportText(std::string text, bool handmade) {
    return lf_make(GuiUpdateKind::ParkAirportText, GuiTextFlag{std::move(text), handmade});
}
GuiUpdate GuiUpdate::standOptionUpdates(std::uint32_t count) {
    return lf_make(GuiUpdateKind::StandOptionUpdates, count);
}
GuiUpdate GuiUpdate::staticFit(float value) { return lf_make(GuiUpdateKind::StaticFit, value); }
GuiUpdate GuiUpdate::liveFit(float value) { return lf_make(GuiUpdateKind::LiveFit, value); }
GuiUpdate GuiUpdate::userStand(std::string text) { return lf_make(GuiUpdateKind::UserStand, std::move(text)); }
GuiUpdate GuiUpdate::dimSettingsLabels() { return lf_make(GuiUpdateKind::DimSettingsLabels); }
GuiUpdate GuiUpdate::statusLine(std::string text, bool log) {
    return lf_make(GuiUpdateKind::StatusLine, GuiTextFlag{std::move(text), log});
}
GuiUpdate GuiUpdate::errorText(std::string text) { return lf_make(GuiUpdateKind::ErrorText, std::move(text)); }
GuiUpdate GuiUpdate::clearStatusLine() { return lf_make(GuiUpdateKind::ClearStatusLine); }
GuiUpdate GuiUpdate::clearError() { return lf_make(GuiUpdateKind::ClearError); }
GuiUpdate GuiUpdate::resetDisplay() { return lf_make(GuiUpdateKind::ResetDisplay); }
