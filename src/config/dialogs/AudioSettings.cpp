#include "config/dialogs/AudioSettings.h"

#include "config/Settings.h"

namespace orv {

AudioSettings LoadAudioSettings(const QString& path) {
    AudioSettings v;
    v.playTimes = GetPlayPlayTimes(path);
    v.playFileName = GetPlayFileName(path);
    v.callDelay = GetRecordCallDelay(path);
    v.captureTimes = GetRecordCaptureTimes(path);
    v.capLowerLimit = GetRecordCapLowerLimit(path);
    v.playRecordPlayTimes = GetPlayRecordPlayTimes(path);
    v.needKeyTimesCheck = GetNeedKeyTimesCheck(path);
    v.keyCheckTimes = GetKeyCheckTimes(path);
    v.autoTestAfterMacConnected = GetAutoTestAfterMacConnected(path);
    v.isAutoAdjustA2DPVol = GetIsAutoAdjustA2DPVol(path);
    v.a2dpVol = GetA2DPVol(path);
    v.isAutoAdjustHFPVol = GetIsAutoAdjustHFPVol(path);
    v.hfpVol = GetHFPVol(path);
    v.searchPower = GetSearchPower(path);
    v.inquiryWithName = GetInquiryWithName(path);
    v.timeOut = static_cast<unsigned>(GetSearchTimeOut(path));
    v.pairName = GetPairName(path);
    v.pairNameStr = GetPairNameStr(path);
    v.pairRssi = GetPairRssi(path);
    v.pairRssiValue = GetPairRssiValue(path);
    v.a2dpConnect = GetA2DPConnect(path);
    v.hfpConnect = GetHFPConnect(path);
    v.avrcpConnect = GetAvrcpConnect(path);
    v.passWord = GetPassWord(path);
    v.syncVol = GetSyncVol(path);
    v.answerCall = GetAnswerCall(path);
    v.pairWhenConnect = GetPairWhenConnect(path);
    v.ringCheckTest = GetRingCheckTest(path);
    v.ringTestTimes = GetRingTestTimes(path);
    v.ringInterval = GetRingInterval(path);
    v.atRingCmd = GetATRingCmd(path);
    v.sampleRate = GetSampleRate(path);
    v.rssiUpper = GetRssiUpper(path);
    v.rssiLower = GetRssiLower(path);
    const BatteryLimits battery = GetBattery(path);
    v.batteryUpper = battery.upper;
    v.batteryLower = battery.lower;
    v.btMode = GetBTMode(path);
    v.hasMusicMode = GetHasMusicMode(path);
    v.nameTest = GetNameTest(path);
    v.checkName = GetCheckName(path);
    v.nameTestMode = GetNameTestMode(path);
    v.hfpDial = GetHFPDial(path);
    v.inquiryWaitTime = GetInquiryWaitTime(path);
    v.ringTestA2dp = GetRingTestA2dp(path);
    return v;
}

QList<SettingWrite> AudioSettingsWrites(const AudioSettings& v) {
    const auto w = [](const char* section, const char* key, std::variant<int, double, QString> x) {
        return SettingWrite{QString::fromLatin1(section), QString::fromLatin1(key), std::move(x)};
    };
    // Written in this order, so a fresh file gets its sections and keys in this order too.
    return {
        w("Play", "PlayTimes", v.playTimes),
        w("Play", "PlayFileName", v.playFileName),
        w("Record", "CallDelay", v.callDelay),
        w("Record", "CaptureTimes", v.captureTimes),
        w("Record", "CapLowerLimit", v.capLowerLimit),
        w("PlayRecord", "PlayTimes", v.playRecordPlayTimes),
        w("KeyTest", "NeedKeyTimesCheck", v.needKeyTimesCheck),
        w("General Info", "KeyCheckTimes", v.keyCheckTimes),
        w("General Info", "AutoTestAfterMacConnected", v.autoTestAfterMacConnected),
        w("Connect Setup", "IsAutoAdjustA2DPVol", v.isAutoAdjustA2DPVol),
        w("Connect Setup", "A2DPVol", v.a2dpVol),
        w("Connect Setup", "IsAutoAdjustHFPVol", v.isAutoAdjustHFPVol),
        w("Connect Setup", "HFPVol", v.hfpVol),
        w("Search Setup", "SearchPower", v.searchPower),
        w("Search Connect", "InquiryWithName", v.inquiryWithName),
        w("Search Setup", "TimeOut", static_cast<int>(v.timeOut)),
        w("Search Connect", "PairName", v.pairName),
        w("Search Connect", "PairNameStr", v.pairNameStr),
        w("Search Connect", "PairRssi", v.pairRssi),
        w("Search Connect", "PairRssiValue", v.pairRssiValue),
        w("Connect Setup", "A2DPConnect", v.a2dpConnect),
        w("Connect Setup", "HFPConnect", v.hfpConnect),
        w("Connect Setup", "AvrcpConnect", v.avrcpConnect),
        w("Connect Setup", "PassWord", NormalisePin(v.passWord)),
        w("Test", "SyncVol", v.syncVol),
        w("Connect Setup", "AnswerCall", v.answerCall),
        w("Connect Setup", "PairWhenConnect", v.pairWhenConnect),
        w("RingCheckTest", "RingCheckTest", v.ringCheckTest),
        w("RingCheckTest", "TestTimes", v.ringTestTimes),
        w("RingCheckTest", "Interval", v.ringInterval),
        w("RingCheckTest", "ATRingCmd", v.atRingCmd),
        w("General Info", "SampleRate", v.sampleRate),
        w("RSSI", "Upper", v.rssiUpper),
        w("RSSI", "Lower", v.rssiLower),
        w("Battery", "Upper", v.batteryUpper),
        w("Battery", "Lower", v.batteryLower),
        w("KeyTest", "BTMode", v.btMode),
        w("General Info", "HasMusicMode", v.hasMusicMode),
        w("General Info", "NameTest", v.nameTest),
        w("General Info", "CheckName", v.checkName),
        w("General Info", "NameTestMode", v.nameTestMode),
        w("General Info", "HFPDial", v.hfpDial),
        w("Search Setup", "InquiryWaitTime", v.inquiryWaitTime),
        w("RingCheckTest", "RingTestA2dp", v.ringTestA2dp),
    };
}

bool ApplySettingWrites(const QString& path, const QList<SettingWrite>& writes) {
    bool ok = true;
    for (const SettingWrite& s : writes) {
        bool done = false;
        if (const int* i = std::get_if<int>(&s.value)) {
            done = WriteConfigInt(path, s.section, s.key, *i);
        } else if (const double* d = std::get_if<double>(&s.value)) {
            done = WriteConfigReal(path, s.section, s.key, *d);
        } else {
            done = WriteConfigText(path, s.section, s.key, std::get<QString>(s.value));
        }
        ok = ok && done;
    }
    return ok;
}

}  // namespace orv
