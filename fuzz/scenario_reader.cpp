// The simulator's scenario parser on the input as file text. A scenario it accepts must hold
// sane values, since the simulator uses them as delays and MACs without further checks.
#include "FuzzCommon.h"
#include "sim/Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::Home();
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    orv::sim::Scenario scenario;
    QString error;
    if (!orv::sim::ParseScenario(text, QStringLiteral("fuzz.ini"), &scenario, &error)) {
        if (error.isEmpty())
            __builtin_trap();  // a refusal always says why
        return 0;
    }
    for (const orv::sim::HeadsetScenario& h : scenario.headsets)
        if (!h.mac.isEmpty() && h.mac.size() != 17)
            __builtin_trap();
    return 0;
}
