#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The scenario file of the simulated adapter: an INI file (UTF-8) with one [Adapter] section
// and [Headset1], [Headset2], ... sections for the headsets in range. docs/simulator.md lists
// every key. Parsing is strict: an unknown section or key, a malformed MAC or a number out of
// range is an error naming the file and the line, never a guess.
namespace orv::sim {

enum class BatteryReport { IPhoneAccEv, Biev, None };

// The keys a headset can press, as written in `Keys` and in the control command `press`.
enum class HeadsetKey { VolUp, VolDown, PlayPause, Next, Previous, Voice };

// Reads "VOL+", "VOL-", "PLAY/PAUSE", "NEXT", "PREVIOUS" or "VOICE" (any case).
std::optional<HeadsetKey> ParseHeadsetKey(const QString& text);
QString HeadsetKeyText(HeadsetKey key);

struct KeyPress {
    int delayMs = 0;  // from the start of the sequence
    HeadsetKey key = HeadsetKey::VolUp;
};

struct HeadsetFaults {
    bool noName = false;          // the headset's friendly name is empty
    bool nameError = false;       // name requests fail with a page time-out
    bool refuseA2dpOnce = false;  // the first A2DP call after plug-in is refused
    bool refuseHfp = false;       // every HFP call is refused
    int dropAfterMs = -1;         // link loss this long after each connection came up
    bool noReady = false;         // the module never prints "READY." (module-wide)
    int rebootAfterMs = -1;       // the module reboots this long after the first call (once)
    bool glueLines = false;       // every second line about this headset loses its line end
    bool garbage = false;         // binary garbage between the lines about this headset
    int slowConnectMs = -1;       // each link to this headset takes this long to come up
};

struct HeadsetScenario {
    QString section;  // "Headset1"
    int line = 0;     // line of the section header, for messages
    QString name;
    QString mac;  // lower-case "xx:xx:xx:xx:xx:xx"
    QString deviceClass = QStringLiteral("240404");
    int rssi = -50;
    int battery = -1;  // percent; -1 = never reported
    BatteryReport batteryReport = BatteryReport::IPhoneAccEv;
    bool hfp = true;
    bool a2dp = true;
    bool avrcp = true;
    bool avrcpFromHeadset = false;
    int hfpVolume = 9;                 // 0..15
    int avrcpVolume = 55;              // 0..100
    std::optional<double> micLevelDb;  // dBFS; empty = silent microphone
    double micToneHz = 1000.0;
    QList<KeyPress> keys;
    int keysRepeatMs = 3000;
    HeadsetFaults faults;
};

struct AdapterScenario {
    std::uint16_t productId = 0x5750;
    QString firmware = QStringLiteral("6.1.0 build 1022");
    int replyDelayMs = 0;
    QString controlSocket;
    int inquiryUnitMs = 200;  // a real module takes 1280 ms per inquiry unit
    int connectMs = 50;       // time a page plus profile set-up takes
    int bootMs = 50;          // from "reset" to the banner
};

struct Scenario {
    QString path;
    AdapterScenario adapter;
    QList<HeadsetScenario> headsets;
};

// Parses scenario text. `fileName` only appears in error messages, which read
// "<file>:<line>: <what is wrong>". Relative ControlSocket paths stay as written.
bool ParseScenario(const QByteArray& text, const QString& fileName, Scenario* out, QString* error);

// Reads and parses a scenario file; a relative ControlSocket path is taken from the file's
// folder.
bool LoadScenario(const QString& path, Scenario* out, QString* error);

// Reads "xx:xx:xx:xx:xx:xx" (either case); gives the lower-case form, or "" when malformed.
QString NormaliseMac(const QString& text);

}  // namespace orv::sim
