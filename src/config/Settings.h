#pragma once

#include <QString>

#include "config/Config.h"

// Typed getters and setters for every key of config.ini. Each getter reads the file; each setter
// writes one key at once. Where two sections share a key name the accessor names the section.
namespace orv {

// X(Name, "Section", "Key", default) for integer and flag keys.
#define ORV_INT_KEYS(X)                                                          \
    X(DeviceSelect, "General Info", "DeviceSelect", 0)                           \
    X(MacPrefix, "General Info", "MacPrefix", 0)                                 \
    X(MacInputMode, "General Info", "MacInputMode", 0)                           \
    X(SampleRate, "General Info", "SampleRate", 0)                               \
    X(AutoTestAfterMacConnected, "General Info", "AutoTestAfterMacConnected", 0) \
    X(KeyCheckTimes, "General Info", "KeyCheckTimes", 1)                         \
    X(HasMusicMode, "General Info", "HasMusicMode", 0)                           \
    X(BandWidth, "General Info", "BandWidth", 0)                                 \
    X(NameTest, "General Info", "NameTest", 0)                                   \
    X(NameTestMode, "General Info", "NameTestMode", 0)                           \
    X(HFPDial, "General Info", "HFPDial", 0)                                     \
    X(TopMost, "General Info", "TopMost", 1)                                     \
    X(ViewMode, "General Info", "ViewMode", 0)                                   \
    X(SimpleWidth, "General Info", "SimpleWidth", 300)                           \
    X(SimpleHeight, "General Info", "SimpleHeight", 150)                         \
    X(SearchPower, "Search Setup", "SearchPower", 6)                             \
    X(InquiryWaitTime, "Search Setup", "InquiryWaitTime", 0)                     \
    X(SearchTimeOut, "Search Setup", "TimeOut", 10)                              \
    X(A2DPConnect, "Connect Setup", "A2DPConnect", 1)                            \
    X(HFPConnect, "Connect Setup", "HFPConnect", 1)                              \
    X(AvrcpConnect, "Connect Setup", "AvrcpConnect", 1)                          \
    X(PairWhenConnect, "Connect Setup", "PairWhenConnect", 1)                    \
    X(IsAutoAdjustA2DPVol, "Connect Setup", "IsAutoAdjustA2DPVol", 1)            \
    X(A2DPVol, "Connect Setup", "A2DPVol", 100)                                  \
    X(IsAutoAdjustHFPVol, "Connect Setup", "IsAutoAdjustHFPVol", 1)              \
    X(HFPVol, "Connect Setup", "HFPVol", 15)                                     \
    X(AnswerCall, "Connect Setup", "AnswerCall", 0)                              \
    X(InquiryWithName, "Search Connect", "InquiryWithName", 1)                   \
    X(PairName, "Search Connect", "PairName", 1)                                 \
    X(PairRssi, "Search Connect", "PairRssi", 1)                                 \
    X(PairRssiValue, "Search Connect", "PairRssiValue", -80)                     \
    X(PlayLoop, "Play", "Loop", 1)                                               \
    X(KeyVolAdd, "KeyTest", "VolAdd", 1)                                         \
    X(KeyVolDel, "KeyTest", "VolDel", 1)                                         \
    X(KeyNext, "KeyTest", "Next", 1)                                             \
    X(KeyPrevious, "KeyTest", "Previous", 1)                                     \
    X(KeyPlayPause, "KeyTest", "PlayPause", 1)                                   \
    X(NeedKeyTimesCheck, "KeyTest", "NeedKeyTimesCheck", 0)                      \
    X(BTMode, "KeyTest", "BTMode", 0)                                            \
    X(SyncVol, "Test", "SyncVol", 0)                                             \
    X(AutoSaveIsSave, "AutoSave", "IsSave", 0)                                   \
    X(RingCheckTest, "RingCheckTest", "RingCheckTest", 0)                        \
    X(RingTestTimes, "RingCheckTest", "TestTimes", 1)                            \
    X(RingInterval, "RingCheckTest", "Interval", 5)                              \
    X(ATRingCmd, "RingCheckTest", "ATRingCmd", 0)                                \
    X(RingTestA2dp, "RingCheckTest", "RingTestA2dp", 0)                          \
    X(RssiUpper, "RSSI", "Upper", 0)                                             \
    X(RssiLower, "RSSI", "Lower", -128)                                          \
    X(BatteryUpper, "Battery", "Upper", 100)                                     \
    X(BatteryLower, "Battery", "Lower", 0)                                       \
    X(Lang, "Lang", "Lang", 0)                                                   \
    X(SimpleFontInitialize, "SimpleFont", "Initialize", 1)                       \
    X(SimpleFontHeight, "SimpleFont", "Height", 12)                              \
    X(SimpleFontWidth, "SimpleFont", "Width", 0)                                 \
    X(SimpleFontEscapement, "SimpleFont", "Escapement", 0)                       \
    X(SimpleFontOrientation, "SimpleFont", "Orientation", 0)                     \
    X(SimpleFontWeight, "SimpleFont", "Weight", 0)                               \
    X(SimpleFontItalic, "SimpleFont", "Italic", 0)                               \
    X(SimpleFontUnderLine, "SimpleFont", "UnderLine", 0)                         \
    X(SimpleFontStrikeOut, "SimpleFont", "StrikeOut", 0)                         \
    X(SimpleFontCharSet, "SimpleFont", "CharSet", 1)                             \
    X(SimpleFontOutPrecision, "SimpleFont", "OutPrecision", 3)                   \
    X(SimpleFontClipPrecision, "SimpleFont", "ClipPrecision", 2)                 \
    X(SimpleFontQuality, "SimpleFont", "Quality", 1)                             \
    X(SimpleFontPitchAndFamily, "SimpleFont", "PitchAndFamily", 34)

// X(Name, "Section", "Key", default) for real keys.
#define ORV_REAL_KEYS(X)                                   \
    X(PlayPlayTimes, "Play", "PlayTimes", 8.0)             \
    X(PlayRecordPlayTimes, "PlayRecord", "PlayTimes", 8.0) \
    X(RecordCallDelay, "Record", "CallDelay", 0.5)         \
    X(RecordCaptureTimes, "Record", "CaptureTimes", 8.0)   \
    X(RecordCapLowerLimit, "Record", "CapLowerLimit", -20.0)

// X(Name, "Section", "Key", default) for text keys.
#define ORV_TEXT_KEYS(X)                                               \
    X(CheckName, "General Info", "CheckName", "")                      \
    X(PassWord, "Connect Setup", "PassWord", "7315")                   \
    X(PairNameStr, "Search Connect", "PairNameStr", "")                \
    X(AutoSaveFilePath, "AutoSave", "FilePath", "")                    \
    X(SimpleFontFaceName, "SimpleFont", "FaceName", "Times New Roman") \
    X(SerialPortName, "SerialPort", "PortName", "")

#define ORV_DECLARE_INT_KEY(Name, Section, Key, Default) \
    int Get##Name(const QString& path);                  \
    bool Set##Name(const QString& path, int value);
#define ORV_DECLARE_REAL_KEY(Name, Section, Key, Default) \
    double Get##Name(const QString& path);                \
    bool Set##Name(const QString& path, double value);
#define ORV_DECLARE_TEXT_KEY(Name, Section, Key, Default) \
    QString Get##Name(const QString& path);               \
    bool Set##Name(const QString& path, const QString& value);

ORV_INT_KEYS(ORV_DECLARE_INT_KEY)
ORV_REAL_KEYS(ORV_DECLARE_REAL_KEY)
ORV_TEXT_KEYS(ORV_DECLARE_TEXT_KEY)

#undef ORV_DECLARE_INT_KEY
#undef ORV_DECLARE_REAL_KEY
#undef ORV_DECLARE_TEXT_KEY

// [AutoTest] "3" … "8": one-key test item enabled (default 1).
int GetAutoTestItem(const QString& path, int item);
bool SetAutoTestItem(const QString& path, int item, int value);

struct SerialPortSettings {
    int port = 1;  // 1 = COM1
    int baudRate = 9600;
    int userCom = 0;  // remote control enabled
};
SerialPortSettings GetSerialPort(const QString& path);
// Writes Port, BaudRate and UserCom, in this order.
bool SetSerialPort(const QString& path, int port, int baudRate, int userCom);

// The device the remote port opens: [SerialPort] "PortName" when set (a device path such as
// /dev/ttyUSB0 or a pseudo-terminal), otherwise "Port" n as /dev/ttyS(n-1), COMn's counterpart.
QString GetSerialPortDevice(const QString& path);

struct BatteryLimits {
    int upper = 100;
    int lower = 0;
};
BatteryLimits GetBattery(const QString& path);
// Writes Upper, then Lower.
bool SetBattery(const QString& path, int upper, int lower);

// [Play] "PlayFileName" when it names an existing file, otherwise the home folder's
// "wav/20-20k.wav" (not checked for existence; the fallback is never written to the file).
QString GetPlayFileName(const QString& path);
bool SetPlayFileName(const QString& path, const QString& value);

// The PIN the settings page stores: the entry when it is exactly 4 characters, each a decimal
// digit, a point or a minus sign; otherwise the default "7315".
QString NormalisePin(const QString& entry);

}  // namespace orv
