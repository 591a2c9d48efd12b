#pragma once

#include "sim/Scenario.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>

class QLocalServer;

namespace orv::sim {

class CReportPipe;
class CSimAudio;

// The iWRAP module of the simulated adapter together with the headsets in range. Lives on the
// simulator's own thread: every method below runs there (the bus hands work over with queued
// calls). It reads the command lines the station writes and prints what a WRAP THOR module
// running iWRAP prints, into the report pipe.
class CSimModule final : public QObject {
    Q_OBJECT
public:
    CSimModule(Scenario scenario, std::shared_ptr<CReportPipe> pipe);
    ~CSimModule() override;

    // Powers the adapter up (plugged in) and opens the control socket when one is configured.
    // Gives false with a reason when the control socket cannot be opened.
    bool Start(QString* error);
    // Unplugs (removing the sound devices) and closes the control socket.
    void Shutdown();

    // One output report payload written by the station.
    void Input(const QByteArray& payload);

    // One control command ("press <mac> VOL+", "state", ...). Gives "OK", "OK <state>" or
    // "ERROR <why>".
    QString Control(const QString& command);

    bool IsPlugged() const { return m_plugged; }

signals:
    // The adapter was plugged in (true) or removed (false).
    void pluggedChanged(bool plugged);

private:
    enum class LinkKind { Hfp, A2dpSignal, A2dpMedia, Avrcp, Sco };
    struct Link {
        int id = -1;
        LinkKind kind = LinkKind::Hfp;
        int headset = -1;
        bool callAudio = false;  // SCO opened by dial or ring (ends with hangup)
    };
    struct PendingCall {
        int id = -1;
        int mediaId = -1;  // second id an A2DP call holds for its media channel
        LinkKind kind = LinkKind::Hfp;
        int headset = -1;  // -1: nobody in range answers to this address
        QString mac;
    };
    struct Headset {
        HeadsetScenario cfg;
        int battery = -1;
        int hfpVolume = 0;
        int avrcpVolume = 0;
        bool volumeRegistered = false;  // an AVRCP volume notification is armed (one-shot)
        bool playing = false;           // play status last told by the station
        bool a2dpRefused = false;       // refuse-a2dp-once has been used
        bool connected = false;         // has at least one link
        int keyRun = 0;                 // bumps to cancel a running key sequence
        int dropRun = 0;                // bumps to cancel a pending drop-after-ms
        int glue = 0;                   // lines printed, for glue-lines
        quint32 garbageSeed = 1;
        QString lastKeys;  // what the headset last pressed, for state
    };

    // Output. `headset` marks lines about one headset (its line faults apply); `delayed`
    // applies ReplyDelayMs (answers to commands).
    void Print(const QStringList& lines, int headset = -1, bool delayed = true);
    void Print(const QString& line, int headset = -1, bool delayed = true) {
        Print(QStringList{line}, headset, delayed);
    }
    void Schedule(const QByteArray& bytes, bool alone, int delayMs);
    void FlushDue();
    // Runs `fn` after `ms` unless the module was reset or unplugged meanwhile.
    template <typename Fn>
    void After(int ms, Fn fn);

    void PlugIn();
    void Unplug();
    void Boot(bool immediate);
    void ForgetLinks();

    void Command(const QString& line);
    void LinkCommand(int id, const QString& rest);
    void SetCommand(const QStringList& words, const QString& line);
    void Inquiry(int units, bool withNames);
    void FinishInquiry();
    void NameRequest(const QString& mac);
    void Call(const QString& mac, const QString& target, const QString& profile);
    void RunNextCall();
    void CompleteCall(const PendingCall& call);
    void HeadsetConnected(int h);
    void AskCapabilities(int h, int avrcpId);
    void CloseLink(int id, bool print);
    void OpenSco(int hfpId, bool callAudio);
    void LinkLoss(int h);
    void AgResult(int hfpId, const QString& text);
    void ReportBattery(int h, BatteryReport style);
    bool Press(int h, HeadsetKey key, QString* why);
    void StartKeys(int h);
    void RunKey(int h, int run, int index);
    void UpdateAudio();

    int FindHeadset(const QString& mac) const;
    int LinkOf(int h, LinkKind kind) const;
    int FreeLinkId(int after = -1) const;
    QString StateText() const;

    Scenario m_scenario;
    std::shared_ptr<CReportPipe> m_pipe;
    std::unique_ptr<CSimAudio> m_audio;
    QLocalServer* m_control = nullptr;

    QList<Headset> m_headsets;
    std::map<int, Link> m_links;
    QList<PendingCall> m_calls;
    bool m_callRunning = false;
    bool m_plugged = false;
    int m_listener = -1;  // the headset whose ear the sound card measures
    bool m_ready = false;
    bool m_noReady = false;
    int m_rebootAfterMs = -1;
    bool m_rebootArmed = false;
    int m_epoch = 0;  // bumps on reset and unplug; timed events of an older epoch are dropped
    QByteArray m_inputLine;

    // Inquiry in progress.
    bool m_inquiring = false;
    bool m_inquiryNames = false;
    int m_inquiryRun = 0;
    QList<int> m_found;
    QMap<QString, QString> m_nameCache;  // mac -> name learnt by this module since power-up

    // Remembered settings.
    QMap<QString, QString> m_settings;

    // Output not yet due (ReplyDelayMs), in order of due time; equal times keep their order.
    struct Due {
        QByteArray bytes;
        bool alone = false;
    };
    std::multimap<qint64, Due> m_due;
    QTimer m_dueTimer;
    QElapsedTimer m_clock;
};

}  // namespace orv::sim
