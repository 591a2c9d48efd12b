#pragma once

#include <QList>
#include <QString>

#include <variant>

// The values of the Bluetooth audio settings page and the order in which OK writes them.
namespace orv {

struct AudioSettings {
    // A2DP listening, HFP/HSP record and playback (seconds; dBFS for the lower limit).
    double playTimes = 8.0;
    QString playFileName;
    double callDelay = 0.5;
    double captureTimes = 8.0;
    double capLowerLimit = -20.0;
    double playRecordPlayTimes = 8.0;
    // Key test.
    int needKeyTimesCheck = 0;
    int keyCheckTimes = 1;
    int autoTestAfterMacConnected = 0;
    // Volumes set after connecting.
    int isAutoAdjustA2DPVol = 1;
    int a2dpVol = 100;
    int isAutoAdjustHFPVol = 1;
    int hfpVol = 15;
    // Search and search-connect.
    int searchPower = 6;  // dBm
    int inquiryWithName = 1;
    unsigned timeOut = 10;  // seconds
    int pairName = 1;
    QString pairNameStr;
    int pairRssi = 1;
    int pairRssiValue = -80;
    // Connect.
    int a2dpConnect = 1;
    int hfpConnect = 1;
    int avrcpConnect = 1;
    QString passWord = QStringLiteral("7315");
    int syncVol = 0;
    int answerCall = 0;
    int pairWhenConnect = 1;
    // Ring test.
    int ringCheckTest = 0;
    int ringTestTimes = 1;
    int ringInterval = 5;  // seconds
    int atRingCmd = 0;
    int sampleRate = 0;  // index: 0 = 44100 Hz, 1 = 48000 Hz
    // Pass limits.
    int rssiUpper = 0;
    int rssiLower = -128;
    int batteryUpper = 100;
    int batteryLower = 0;
    int btMode = 0;
    int hasMusicMode = 0;
    // Name check after connecting.
    int nameTest = 0;
    QString checkName;
    int nameTestMode = 0;  // index: 0 = contains, 1 = whole match
    int hfpDial = 0;
    int inquiryWaitTime = 0;  // the field is labelled in seconds, the procedures read ms
    int ringTestA2dp = 0;
};

// Every key of the page as stored now, defaults for the missing ones; the play file through
// its fallback (the home folder's wav/20-20k.wav).
AudioSettings LoadAudioSettings(const QString& path);

// One key the page writes: integers and flags as "%d", reals as "%.10f", texts as they are.
struct SettingWrite {
    QString section;
    QString key;
    std::variant<int, double, QString> value;
};

// The writes OK makes, in the order it makes them, the PIN normalised.
QList<SettingWrite> AudioSettingsWrites(const AudioSettings& values);

// Writes each in turn; false when any write failed (the others are still made).
bool ApplySettingWrites(const QString& path, const QList<SettingWrite>& writes);

}  // namespace orv
