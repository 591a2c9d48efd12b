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
    const orv::sim::AdapterScenario& a = scenario.adapter;
    if (a.replyDelayMs < 0 || a.replyDelayMs > 60000 || a.inquiryUnitMs < 1 ||
        a.inquiryUnitMs > 10000 || a.connectMs < 0 || a.connectMs > 60000 || a.bootMs < 0 ||
        a.bootMs > 60000)
        __builtin_trap();
    for (const orv::sim::HeadsetScenario& h : scenario.headsets) {
        if (!h.mac.isEmpty() && h.mac != orv::sim::NormaliseMac(h.mac))
            __builtin_trap();
        if (h.rssi < -127 || h.rssi > 20 || h.battery < -1 || h.battery > 100 || h.hfpVolume < 0 ||
            h.hfpVolume > 15 || h.avrcpVolume < 0 || h.avrcpVolume > 100 || h.keysRepeatMs < 0)
            __builtin_trap();
        for (const orv::sim::KeyPress& k : h.keys)
            if (k.delayMs < 0)
                __builtin_trap();
    }
    return 0;
}
