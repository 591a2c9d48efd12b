#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QTimer>

class QAudioOutput;

namespace orv {

class ITestItemInfo;

// Plays one sound file on the adapter's audio device (A2DP music or the HFP voice link), shows
// the position, limits the playing time and reports the end. The station window owns two: the
// music player (test file) and the voice player (the last recording, temp.wav). It binds
// timeTextChanged and meterChanged to its labels and playDone to its buttons.
//
// Qt Multimedia's FFmpeg backend is wanted (UseFfmpegMediaBackend before the application
// object exists); the player is always stopped before it is destroyed.
class CBTPlayMusic final : public QObject {
    Q_OBJECT
public:
    // m_limitSeconds' "no limit" value.
    static constexpr double kNoLimit = 4294967295.0;
    static constexpr int kPosTimerMs = 500;
    enum State { Stopped = 0, Paused = 1, Running = 2 };

    explicit CBTPlayMusic(QObject* parent = nullptr);
    ~CBTPlayMusic() override;

    // The file to play; set before Play.
    void SetFileName(const QString& fileName) { m_fileName = fileName; }
    QString FileName() const { return m_fileName; }
    // 0: the adapter's first audio device ("ORV318Pro"); 1: its second ("ORV318Pro B").
    void SetDeviceB(int deviceB) { m_deviceB = deviceB; }
    int DeviceB() const { return m_deviceB; }
    // Playing-time limit in seconds ([Play] or [PlayRecord] "PlayTimes"); kNoLimit for none.
    void SetLimitSeconds(double seconds) { m_limitSeconds = seconds; }
    double LimitSeconds() const { return m_limitSeconds; }
    // The simple test window's item rows; null for none.
    void SetItemInfo(ITestItemInfo* info) { m_itemInfo = info; }

    // Loads the file afresh and plays it from the start: 1 running, 0 not (no such file, no
    // adapter output device, a file that cannot be played).
    int Play();
    // Pauses a running file; nothing in another state.
    void Pause();
    // Runs a paused file again; nothing in another state.
    void Resume();
    // Stops and unloads; the time text then reads "00:00|" and the duration.
    void Stop();

    int GetState() const { return m_state; }
    QString TimeText() const { return m_timeText; }
    int Meter() const { return m_meter; }  // position in per cent
    qint64 DurationMs() const { return m_durationMs; }
    qint64 PositionMs() const;
    // The output device of the last load ("" before one).
    QString DeviceDescription() const { return m_deviceDescription; }
    // Why the last Play failed.
    QString ErrorText() const { return m_error; }

signals:
    // WM_PLAY_DONE: playing ended by the time limit, by the end of the file or by a playback
    // error; the file is loaded again at position 0 and stopped.
    void playDone(orv::CBTPlayMusic* player);
    void timeTextChanged(const QString& text);
    void meterChanged(int percent);

private:
    bool Load();
    bool BuildGraph();
    void ReleaseGraph();
    void ShowTime(qint64 positionMs);
    void OnPosTimer();
    void OnMediaStatus(QMediaPlayer::MediaStatus status);
    void OnError(QMediaPlayer::Error error, const QString& text);
    void Finish();
    void SetMeter(int percent);
    void SetTimeText(const QString& text);
    bool Fail(const QString& text);
    // Stops the player; a player whose output device is gone is let go of instead (below).
    void StopPlayer();
    // True when the adapter's output device the player plays to is no longer present.
    bool OutputGone() const;
    // Qt 6.4's PulseAudio output waits for ever for a stream on a sink that has vanished (the
    // adapter pulled out), holding the player's lock: stopping or deleting that player would
    // hang the window. It is left to itself, never touched again; the next Play makes a new one.
    void AbandonPlayer();

public:
    // Players left behind so far in this process. Their stuck threads wait on the sound
    // library's main loop, which the library's exit handlers tear down under them (an abort):
    // a process with any ends with std::_Exit once its own shutdown is done.
    static int PlayersLeftBehind();

private:
    QMediaPlayer* m_player = nullptr;  // the graph; created on demand, child of this
    QAudioOutput* m_audio = nullptr;   // its output on the chosen device
    QString m_fileName;
    int m_deviceB = 0;
    QTimer m_posTimer;
    double m_limitSeconds = kNoLimit;
    ITestItemInfo* m_itemInfo = nullptr;
    qint64 m_durationMs = 0;
    int m_state = Stopped;
    int m_meter = 0;
    QString m_timeText;
    QString m_deviceDescription;
    QString m_error;
    bool m_finishQueued = false;  // an end of the file waits to be handled
};

}  // namespace orv
