// The module event parser, fed report by report as the monitor thread feeds it: the input is cut
// into 64-byte report payloads, decoded (UTF-8 split across reports, zero bytes end a report's
// text) and parsed one cycle per report. The first byte picks what the link is waiting for, so
// that the inquiry, connect, streaming, SCO, key and reset paths are all reached.
#include <cstring>

#include "FuzzCommon.h"
#include "adapter/ReportText.h"
#include "module/ModuleParser.h"

namespace {

// Checks what the parser asks of its link: a reply is one short command that fits a report and
// holds no line end (text from a headset must never smuggle in a command), and the system
// volume is a percentage.
class CQuietHost final : public orv::IModuleHost {
public:
    void SendReply(const QString& command) override {
        if (command.isEmpty() || command.size() > orv::kReportTextSize - 2 ||
            command.contains(QLatin1Char('\r')) || command.contains(QLatin1Char('\n')))
            __builtin_trap();
    }
    int SyncSystemVolume(int percent) override {
        if (percent < 0 || percent > 100)
            __builtin_trap();
        return 1;
    }
    void LinkInfoChanged() override {}
    void LinksDropped() override {}
    void MediaKeyReleased(orv::MediaKey) override {}
};

constexpr int kWaitModes[] = {orv::kWaitNone,         orv::kWaitInquiryEnd, orv::kWaitConnections,
                              orv::kWaitFirstInquiry, orv::kWaitStreaming,  orv::kWaitSco,
                              orv::kWaitKeys,         orv::kWaitReady};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::Home();
    if (size == 0)
        return 0;
    const int mode = kWaitModes[data[0] % std::size(kWaitModes)];
    const bool targetKnown = (data[0] & 0x80) != 0;
    ++data;
    --size;

    CQuietHost host;
    orv::CModuleParser parser(&host);
    parser.ResetLinkState();
    parser.Update([&](orv::LinkState& s) {
        s.waitMode = mode;
        if (targetKnown)
            s.targetMac = QStringLiteral("00:1a:7d:da:71:13");
    });
    orv::CReportDecoder decoder;
    while (size > 0) {
        orv::Report report{};
        const std::size_t n = std::min<std::size_t>(size, orv::kReportTextSize);
        std::memcpy(report.data() + 1, data, n);
        parser.AppendPending(decoder.Decode(report, orv::kReportSize));
        parser.ProcessPending();
        data += n;
        size -= n;
    }
    // Values outside what the headset may report are refused, never stored.
    const orv::LinkState s = parser.State();
    if (s.battery < -1 || s.battery > 100 || s.hfpVolume < -1 || s.hfpVolume > 15 ||
        s.avrcpVolume < -1 || s.avrcpVolume > 100)
        __builtin_trap();
    // The display texts read the whole state back.
    (void)parser.GetModeText();
    (void)parser.GetVolumeText();
    (void)parser.GetBatteryText();
    (void)parser.GetRssiText();
    (void)parser.GetName();
    (void)parser.IsConnected();
    (void)parser.KeyCounts();
    return 0;
}
