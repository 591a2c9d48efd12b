// The module's command set, its initialisation and the phone-side replies of CAdapterLink.
#include "adapter/AdapterLink.h"
#include "config/Settings.h"
#include "module/ModuleText.h"
#include "shell/LogWriter.h"

namespace orv {

const QStringList& ModuleInitTable() {
    static const QStringList table = {
        QStringLiteral("SET CONTROL INIT SET BT PAIR *"),
        QStringLiteral("SET CONTROL AUTOPAIR"),
        QStringLiteral("SET CONTROL ECHO 5"),
        QStringLiteral("SET CONTROL CONFIG 0000 0000 00A0 d18d"),
        QStringLiteral("SET CONTROL AUDIO I2S I2S 32"),
        QStringLiteral("SET BT PAGEMODE 0 2000 1"),
        QStringLiteral("SET BT NAME ORV318Pro"),
        QStringLiteral("SET BT CLASS 60020c"),
        QStringLiteral("SET BT AUTH * 7315"),  // the default pairing PIN
        QStringLiteral("SET BT IDENT BT:47 f000 1.0.0"),
        QStringLiteral("SET BT LAP 9e8b33"),
        QStringLiteral("SET BT POWER 6 6 6"),
        QStringLiteral("SET BT ROLE 0 f 2580"),
        QStringLiteral("SET BT SNIFF 0 20 1 8"),
        QStringLiteral("SET BT SSP 3 0"),
        QStringLiteral("SET BT MTU 667"),
        QStringLiteral("SET CONTROL BAUD 115200,8n1"),
        QStringLiteral("SET CONTROL CD 00 0"),
        QStringLiteral("SET CONTROL CODEC SBC JOINT_STEREO 44100 1"),
        QStringLiteral("SET CONTROL CODEC APT-X JOINT_STEREO 44100 0"),
        QStringLiteral("SET CONTROL ESCAPE 43 00 1"),
        QStringLiteral("SET CONTROL GAIN 8 8"),
        QStringLiteral("SET CONTROL MICBIAS b 0"),
        QStringLiteral("SET CONTROL MSC DTE 00 00 00 00 00 00"),
        QStringLiteral("SET CONTROL PIO 00 00 00"),
        QStringLiteral("SET CONTROL PREAMP 1 1"),
        QStringLiteral("SET CONTROL READY 00"),
        QStringLiteral("SET CONTROL VREGEN 0 00"),
        QStringLiteral("SET PROFILE A2DP SOURCE"),
        QStringLiteral("SET PROFILE HFP-AG HF Voice Gateway"),
        QStringLiteral("SET PROFILE SPP Bluetooth Serial Port"),
        QStringLiteral("SET PROFILE AVRCP TARGET 07"),
    };
    return table;
}

namespace {

QString OnLink(const char* format, int link) {
    return QString::asprintf(format, link);
}

// Text from the settings file goes into a command line: a line end inside it would smuggle
// another command to the module.
bool SafeForCommand(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- module life

void CAdapterLink::LogModuleNotReady() const {
    // The reset goes on as if it had worked (the module still answers commands), but a module
    // that never boots to "READY." costs every reset its whole wait: the log says so.
    if (IsOpen())
        LogInfo(QStringLiteral("The module did not report READY. within %1 ms of its reset")
                    .arg(m_timing.resetWait));
}

int CAdapterLink::InitModule() {
    m_parser.ResetLinkState();
    m_parser.Update([](LinkState& s) {
        s.inquiryList.clear();
        s.waitMode = kWaitNone;
        s.eventCount = 0;
    });
    if (!IsOpen()) {
        return 0;
    }
    for (const QString& line : ModuleInitTable()) {
        Send(line);
        Pause(m_timing.initLinePause);
    }
    Send(QString::fromLatin1(kCloseAllLinks));
    Pause(m_timing.closeAllPause);
    BeginWait(kWaitReady);
    Send(QStringLiteral("reset"));
    if (!WaitFor([](const LinkState& s) { return s.eventCount >= 1; }, m_timing.resetWait))
        LogModuleNotReady();
    EndWait();
    m_parser.ResetLinkState();
    return 1;
}

int CAdapterLink::ResetModule() {
    m_parser.ResetLinkState();
    m_parser.Update([](LinkState& s) {
        s.inquiryList.clear();
        s.waitMode = kWaitNone;
        s.eventCount = 0;
    });
    if (!IsOpen()) {
        return 0;
    }
    Send(QString::fromLatin1(kCloseAllLinks));
    Pause(m_timing.closeAllPause);
    BeginWait(kWaitReady);
    Send(QStringLiteral("RESET"));
    if (!WaitFor([](const LinkState& s) { return s.eventCount > 0; }, m_timing.resetWait))
        LogModuleNotReady();
    EndWait();
    return 1;
}

int CAdapterLink::SetSearchPower() {
    if (!IsOpen()) {
        return 0;
    }
    const int power = GetSearchPower(GetConfigPath());
    if (power < -18 || power > 6) {
        return 0;
    }
    return Send(QStringLiteral("set bt power 6 6 %1").arg(power));
}

int CAdapterLink::SetPin() {
    if (!IsOpen()) {
        return 0;
    }
    const QString pin = GetPassWord(GetConfigPath());
    if (!SafeForCommand(pin)) {
        LogInfo(QStringLiteral("PassWord holds control characters: not sent"));
        return 0;
    }
    return Send(QStringLiteral("set bt auth * %1").arg(pin));
}

int CAdapterLink::SetCodec() {
    if (!IsOpen()) {
        return 0;
    }
    const bool high = GetSampleRate(GetConfigPath()) != 0;
    Send(high ? QStringLiteral("SET CONTROL CODEC SBC JOINT_STEREO 48000 1")
              : QStringLiteral("SET CONTROL CODEC SBC JOINT_STEREO 44100 1"));
    Pause(m_timing.codecPause);
    Send(high ? QStringLiteral("SET CONTROL CODEC APT-X JOINT_STEREO 48000 0")
              : QStringLiteral("SET CONTROL CODEC APT-X JOINT_STEREO 44100 0"));
    Pause(m_timing.codecPause);
    return 1;
}

int CAdapterLink::SetScoMode() {
    if (!IsOpen()) {
        return 0;
    }
    // Non-zero BandWidth: narrow-band speech.
    return Send(GetBandWidth(GetConfigPath()) != 0 ? QStringLiteral("SET BT SCO NOWBS")
                                                   : QStringLiteral("SET BT SCO"));
}

// ---------------------------------------------------------------- audio and calls

int CAdapterLink::StartStreaming() {
    const LinkState s = m_parser.State();
    if (s.avrcpLink == -1 || s.a2dpLink == -1) {
        return 0;
    }
    return Send(QString::asprintf("@%d a2dp streaming start %d", s.a2dpLink, s.a2dpLink));
}

int CAdapterLink::StopStreaming() {
    const LinkState s = m_parser.State();
    if (s.avrcpLink == -1 || s.a2dpLink == -1) {
        return 0;
    }
    if (s.hasMusicMode) {
        Send(OnLink("@%d avrcp nfy changed 1 1 2", s.avrcpLink));
        Pause(m_timing.notifyPause);
    }
    // Two blanks before the second number: the module's documented form.
    Send(QString::asprintf("@%d a2dp streaming stop  %d", s.a2dpLink, s.a2dpLink));
    Pause(m_timing.streamingStopPause);
    m_parser.Update([](LinkState& st) { st.streaming = 0; });
    return 1;
}

int CAdapterLink::OpenAudio(int kind) {
    const int hfp = LinkId(&LinkState::hfpLink);
    if (hfp == -1) {
        return 0;
    }
    switch (kind) {
        case 1:
            Send(OnLink("sco open %d", hfp));
            break;
        case 2:
            Send(OnLink("@%d dial", hfp));
            break;
        case 3:
            Send(OnLink("@%d ring", hfp));
            break;
        default:
            return 0;
    }
    m_parser.Update([kind](LinkState& s) { s.audioMode = kind; });
    return 1;
}

int CAdapterLink::CloseAudio() {
    const LinkState s = m_parser.State();
    if (s.hfpLink == -1) {
        return 0;
    }
    if (s.audioMode == 2 || s.audioMode == 3) {
        Send(OnLink("@%d hangup", s.hfpLink));
    }
    if (s.scoLink == -1) {
        return 0;
    }
    Send(OnLink("close %d", s.scoLink));
    m_parser.Update([](LinkState& st) {
        st.scoLink = -1;
        st.audioMode = 0;
    });
    return 1;
}

int CAdapterLink::OpenHfpAudio(int kind) {
    if (!IsOpen() || LinkId(&LinkState::hfpLink) == -1) {
        return 0;
    }
    if (kind == LinkId(&LinkState::audioMode)) {
        return 1;
    }
    StopStreaming();
    CloseAudio();
    BeginWait(kWaitSco);
    OpenAudio(kind);
    WaitFor([](const LinkState& s) { return s.eventCount >= 1; }, m_timing.scoWait);
    const int hfp = LinkId(&LinkState::hfpLink);
    if (hfp != -1) {
        Send(OnLink("@%d ok", hfp));
    }
    if (LinkId(&LinkState::scoLink) == -1) {
        m_parser.Update([](LinkState& s) {
            s.audioMode = 0;
            s.waitMode = kWaitNone;
            s.eventCount = 0;
        });
        return 0;
    }
    int gain = -1;
    m_parser.Update([kind, &gain](LinkState& s) {
        s.audioMode = kind;
        s.waitMode = kWaitNone;
        s.eventCount = 0;
        gain = s.hfpVolume;
    });
    const int percent = gain * 100 / 15;
    if (percent >= 0 && percent <= 100) {
        SyncSystemVolume(percent);
    }
    return 1;
}

int CAdapterLink::StartA2dp() {
    LinkState s = m_parser.State();
    if (s.avrcpLink == -1 || s.a2dpLink == -1 || !IsOpen()) {
        return 0;
    }
    if (s.streaming == 1) {
        if (s.hasMusicMode) {
            Send(OnLink("@%d avrcp nfy changed 1 1 1", s.avrcpLink));
            Pause(m_timing.notifyPause);
        }
        return 1;
    }
    CloseAudio();
    BeginWait(kWaitStreaming);
    StartStreaming();
    WaitFor([](const LinkState& st) { return st.eventCount > 0; }, m_timing.streamingWait);
    s = m_parser.State();
    if (s.streaming == 0) {
        EndWait();
        return 0;
    }
    if (s.hasMusicMode && s.avrcpLink != -1) {
        Send(OnLink("@%d avrcp nfy changed 1 1 1", s.avrcpLink));
        Pause(m_timing.notifyPause);
    }
    EndWait();
    SyncSystemVolume(LinkId(&LinkState::avrcpVolume));
    return 1;
}

int CAdapterLink::Answer() {
    const LinkState s = m_parser.State();
    if (s.hfpLink == -1 || s.audioMode == 0) {
        return 0;
    }
    return Send(QStringLiteral("answer"));
}

int CAdapterLink::Hangup() {
    const int hfp = LinkId(&LinkState::hfpLink);
    if (!IsOpen() || hfp == -1) {
        return 0;
    }
    Send(OnLink("@%d hangup", hfp));
    m_parser.Update([](LinkState& s) { s.audioMode = 0; });
    return 1;
}

void CAdapterLink::RingTest() {
    if (!IsOpen()) {
        return;
    }
    if (OpenHfpAudio(3) && GetRingTestA2dp(GetConfigPath())) {
        const int sco = LinkId(&LinkState::scoLink);
        if (sco != -1) {
            Send(OnLink("close %d", sco));
            m_parser.Update([](LinkState& s) { s.streaming = 1; });
        }
    }
}

int CAdapterLink::AudioState() const {
    const LinkState s = m_parser.State();
    if (s.a2dpLink != -1 && s.streaming) {
        return 1;
    }
    if (s.hfpLink == -1 || s.scoLink == -1) {
        if (s.audioMode == 2) {
            return 3;
        }
        return s.audioMode == 3 ? 4 : 0;
    }
    return 2;
}

// ---------------------------------------------------------------- volume

int CAdapterLink::SetHfpVolume(int gain) {
    const int hfp = LinkId(&LinkState::hfpLink);
    if (!IsOpen() || gain < 0 || gain > 15 || hfp == -1) {
        return 0;
    }
    Send(QString::asprintf("@%d +vgs = %d", hfp, gain));
    m_parser.Update([gain](LinkState& s) { s.hfpVolume = gain; });
    return 1;
}

int CAdapterLink::SetA2dpVolume(int volume) {
    const int avrcp = LinkId(&LinkState::avrcpLink);
    if (!IsOpen() || volume < 0 || volume > 100 || avrcp == -1) {
        return 0;
    }
    Send(QString::asprintf("@%d avrcp pdu 50 %d", avrcp, volume));
    m_parser.Update([volume](LinkState& s) { s.avrcpVolume = volume; });
    return 1;
}

int CAdapterLink::StepVolume(int delta) {
    if (!IsOpen()) {
        return 0;
    }
    const LinkState s = m_parser.State();
    if (s.streaming == 1) {
        Send(delta > 0 ? QStringLiteral("avrcp up") : QStringLiteral("avrcp dn"));
        Pause(m_timing.volumeStepPause);
        return 0;
    }
    const int gain = s.hfpVolume + delta;
    if (s.audioMode == 0 || gain < 0 || gain > 15 || s.hfpLink == -1) {
        return 0;
    }
    Send(QString::asprintf("@%d +vgs = %d", s.hfpLink, gain));
    Pause(m_timing.volumeStepPause);
    m_parser.Update([gain](LinkState& st) { st.hfpVolume = gain; });
    SyncSystemVolume(gain * 100 / 15);
    return 1;
}

int CAdapterLink::VolumeUp() {
    return StepVolume(+1);
}

int CAdapterLink::VolumeDown() {
    return StepVolume(-1);
}

int CAdapterLink::SyncSystemVolume(int percent) {
    if (percent < 0 || GetSyncVol(GetConfigPath()) == 0) {
        return 1;
    }
    if (m_desktop != nullptr) {
        m_desktop->SetSystemVolume(m_legacyAudio, std::min(percent, 100));
    }
    return 1;
}

// ---------------------------------------------------------------- queries

QString CAdapterLink::GetTargetMac() const {
    return m_parser.Read([](const LinkState& s) { return s.targetMac; });
}

int CAdapterLink::ReadRssi() {
    const LinkState s = m_parser.State();
    const bool linked = (s.a2dpLink != -1 && s.avrcpLink != -1) || s.hfpLink != -1;
    if (!IsOpen() || !linked) {
        return -1;
    }
    m_parser.Update([](LinkState& st) { st.rssi = -129; });
    Send(QStringLiteral("rssi 0"));
    auto inRange = [](const LinkState& st) { return st.rssi >= -128 && st.rssi <= 20; };
    WaitFor(inRange, m_timing.rssiWait);
    return m_parser.Read([&](const LinkState& st) { return inRange(st) ? st.rssi : -1; });
}

QString CAdapterLink::QueryName() {
    const QString mac = GetTargetMac();
    if (!IsOpen() || !IsMacText(mac) || !SafeForCommand(mac)) {
        return QString();
    }
    m_parser.Update([](LinkState& s) { s.targetName.clear(); });
    Send(QStringLiteral("name %1").arg(mac));
    WaitFor([](const LinkState& s) { return !s.targetName.isEmpty(); }, m_timing.queryNameWait);
    return m_parser.GetName();
}

QString CAdapterLink::ReadName() {
    const LinkState s = m_parser.State();
    const bool linked = (s.a2dpLink != -1 && s.avrcpLink != -1) || s.hfpLink != -1;
    if (!IsOpen() || !linked) {
        return QString();
    }
    const QString path = GetConfigPath();
    if (GetNameTest(path) == 0) {
        return s.targetName;
    }
    const QString check = GetCheckName(path);
    const bool exact = GetNameTestMode(path) != 0;
    if ((exact && s.targetName == check) || (!exact && s.targetName.contains(check))) {
        return s.targetName;
    }
    m_parser.Update([](LinkState& st) { st.targetName.clear(); });
    if (SafeForCommand(s.targetMac)) {
        Send(QStringLiteral("name %1").arg(s.targetMac));
    }
    WaitFor([](const LinkState& st) { return !st.targetName.isEmpty(); }, m_timing.readNameWait);
    return m_parser.GetName();
}

int CAdapterLink::RefreshInfo() {
    if (!IsOpen() || !m_parser.IsConnected()) {
        return 0;
    }
    const QString path = GetConfigPath();
    const LinkState s = m_parser.State();
    if (s.targetName.isEmpty() && SafeForCommand(s.targetMac)) {
        Send(QStringLiteral("name %1").arg(s.targetMac));
    }
    if (s.rssi > 20 || s.rssi < -128) {
        Send(QStringLiteral("rssi 0"));
    }
    if (s.hfpLink != -1 && s.hfpVolume == -1 && GetIsAutoAdjustHFPVol(path)) {
        SetHfpVolume(GetHFPVol(path));
    }
    if (s.a2dpLink != -1 && s.avrcpLink != -1 && GetIsAutoAdjustA2DPVol(path) &&
        s.avrcpVolume == -1) {
        SendPlayStatus(1);
        SetA2dpVolume(GetA2DPVol(path));
        Pause(m_timing.volumeStepPause);
        RegisterVolumeNotify();
    }
    return 1;
}

// ---------------------------------------------------------------- phone-side replies

void CAdapterLink::GreetHeadset() {
    const QString path = GetConfigPath();
    LinkState s = m_parser.State();
    if (s.hfpLink != -1) {
        const int h = s.hfpLink;
        // The headset's Apple accessory command: the phone is an iPhone and takes its features.
        Send(OnLink("@%d +XAPL=iPhone,7", h));
        Pause(m_timing.replyPause);
        Send(
            QString::asprintf("@%d ok\r@%d ok\r@%d ok\r@%d ok\r@%d ok\r@%d ok", h, h, h, h, h, h));
        Pause(m_timing.replyPause);
        Send(QStringLiteral("+brsf:3684"));  // the gateway's supported features
        Pause(m_timing.replyPause);
        Send(QString::asprintf("@%d ok\r@%d ok", h, h));
        Pause(m_timing.replyPause);
        Send(QStringLiteral("+bind:2,1"));  // HF indicator 2, the battery level, is enabled
        Send(
            QString::asprintf("@%d ok\r@%d ok\r@%d ok\r@%d ok\r@%d ok\r@%d ok", h, h, h, h, h, h));
        Pause(m_timing.replyPause);
        WaitFor([](const LinkState& st) { return st.battery >= 0; }, m_timing.batteryWait);
    }
    s = m_parser.State();
    if (s.targetName.isEmpty() && SafeForCommand(s.targetMac)) {
        Send(QStringLiteral("name %1").arg(s.targetMac));
    }
    if (s.rssi < 0) {
        const bool a2dp = s.a2dpLink != -1 && s.avrcpLink != -1;
        const int link = a2dp ? s.a2dpLink : s.hfpLink;
        if (link != -1) {
            Send(OnLink("rssi %d", link));
        }
    }
    if (s.hfpLink != -1 && GetIsAutoAdjustHFPVol(path)) {
        SetHfpVolume(GetHFPVol(path));
    }
    if (s.avrcpLink != -1 && s.a2dpLink != -1 && GetIsAutoAdjustA2DPVol(path)) {
        if (s.hasMusicMode) {
            Send(OnLink("@%d avrcp nfy changed 1 1 1", s.avrcpLink));
            Pause(m_timing.notifyPause);
        }
        SetA2dpVolume(GetA2DPVol(path));
        Pause(m_timing.volumeStepPause);
        Send(OnLink("@%d avrcp pdu 31 d", s.avrcpLink));
    }
}

int CAdapterLink::SendCallIndicator(int ringing) {
    if (!IsOpen()) {
        return 0;
    }
    const int h = LinkId(&LinkState::hfpLink);
    if (h != -1) {
        Send(QString::asprintf("@%d ok\r@%d ok\r@%d ok", h, h, h));
        Pause(m_timing.callIndicatorPause);
    }
    // Indicator 3 is the call set-up state.
    Send(ringing ? QStringLiteral("+CIEV:3,1") : QStringLiteral("+CIEV:3,0"));
    Pause(m_timing.callIndicatorAfter);
    return 1;
}

void CAdapterLink::SendPlayStatus(int playing) {
    const LinkState s = m_parser.State();
    if (!s.hasMusicMode || s.avrcpLink == -1) {
        return;
    }
    Send(OnLink(playing ? "@%d avrcp nfy changed 1 1 1" : "@%d avrcp nfy changed 1 1 2",
                s.avrcpLink));
    Pause(m_timing.notifyPause);
}

void CAdapterLink::RegisterVolumeNotify() {
    m_parser.ClearNewKey();
    const int avrcp = LinkId(&LinkState::avrcpLink);
    if (avrcp != -1) {
        // Asks the headset to report its next absolute-volume change (one report per request).
        Send(OnLink("@%d avrcp pdu 31 d", avrcp));
    }
}

// ---------------------------------------------------------------- key test

int CAdapterLink::StartKeyTest() {
    const QString path = GetConfigPath();
    if (GetBTMode(path) == 1) {
        const int kind = GetHFPDial(path) ? 2 : 1;
        if (!OpenHfpAudio(kind)) {
            return 0;
        }
        if (LinkId(&LinkState::hfpVolume) > 14) {
            SetHfpVolume(10);
        }
        if (kind == 2 && GetAnswerCall(path)) {
            Answer();
        }
        m_parser.ClearKeys();
        BeginWait(kWaitKeys);
        return 1;
    }
    if (!StartA2dp()) {
        return 0;
    }
    // Lowered from the top so that a VOL+ press can still raise it.
    if (LinkId(&LinkState::avrcpVolume) > 99) {
        SetA2dpVolume(50);
    }
    m_parser.ClearKeys();
    BeginWait(kWaitKeys);
    Pause(m_timing.volumeStepPause);
    RegisterVolumeNotify();
    return 1;
}

}  // namespace orv
