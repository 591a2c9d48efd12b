#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <atomic>

#include "audiodriver/ORVAudioDriver.h"

namespace orv {

class ITestItemInfo;

// The HFP record test: records the headset's microphone through the adapter's capture device
// into temp.wav in the home folder, measures the level of every 125 ms block and judges the
// highest against [Record] "CapLowerLimit" after [Record] "CaptureTimes" seconds.
//
// The station window binds meterChanged, levelTextChanged and timeTextChanged to its controls
// and handles, in this order when the time is over: recordFail (time over), then the final
// verdict recordPass or recordFail, then recordDone. While recording, recordPass also comes
// for each block at or above the limit.
class CBTRecordSound final : public QObject, private ICaptureListener {
    Q_OBJECT
public:
    static constexpr int kTickTimerMs = 1000;
    static constexpr int kFinishTimerMs = 100;

    // `configPath` is config.ini (read afresh for each limit); `tempWav` the recording's file.
    CBTRecordSound(const QString& configPath, const QString& tempWav, QObject* parent = nullptr);
    // Stops a running capture and waits for it.
    ~CBTRecordSound() override;

    // 0: the adapter's first capture device ("ORV318Pro"); 1: its second ("ORV318Pro B").
    void SetDeviceB(int deviceB) { m_deviceB = deviceB; }
    int DeviceB() const { return m_deviceB; }
    void SetItemInfo(ITestItemInfo* info) { m_itemInfo = info; }

    // 1 started; 0 not: no adapter capture device (silently), the device or file could not be
    // opened (soundCardInitFailed, string 217 "Sound card intialization failed"), or the
    // capture would not start (silently).
    int StartRecord();
    // Ends a running recording early; the verdict and recordDone follow as at the time limit.
    void StopRecord();
    // 1 when at least one block arrived and CapLowerLimit <= the highest level.
    int IsLevelPass() const;

    bool IsRecording() const { return m_recording.load(); }
    // Highest block level of the last recording in dBFS; minus infinity when no block came.
    double MaxLevel() const;
    // Blocks measured in the current or last recording.
    int BlockCount() const;
    QString TempWavPath() const { return m_tempWav; }
    QString DeviceDescription() const { return m_deviceDescription; }
    QString LevelText() const { return m_levelText; }
    QString TimeText() const { return m_timeText; }
    int Meter() const { return m_meter; }
    CORVAudioDriver& Driver() { return m_driver; }

signals:
    void recordDone();  // WM_RECORD_DONE
    void recordPass();  // WM_RECORD_PASS: a block reached the limit / the final verdict
    void recordFail();  // WM_RECORD_FAIL: the time is over / the final verdict
    void soundCardInitFailed();
    void meterChanged(int position);             // level + 90, 0 to 100
    void levelTextChanged(const QString& text);  // "%.2f dBFS"
    void timeTextChanged(const QString& text);   // elapsed "%H:%M:%S"
    void levelMeasured(double level);

private:
    void OnCaptureChunk(const unsigned char* data, unsigned long length) override;
    void DrainLevels();
    void OnTick();
    void OnFinishTick();
    double Limit() const;

    QString m_configPath;
    QString m_tempWav;
    int m_deviceB = 0;
    QTimer m_tickTimer;
    QTimer m_finishTimer;
    QElapsedTimer m_startTime;             // monotonic: a clock change cannot end the recording
    std::atomic<bool> m_recording{false};  // read by the capture thread
    ITestItemInfo* m_itemInfo = nullptr;
    QString m_deviceDescription;
    QString m_levelText;
    QString m_timeText;
    int m_meter = 0;

    // Guards the levels the capture thread hands over and the running maximum.
    mutable QMutex m_levelLock;
    QVector<double> m_pendingLevels;  // measured, not yet shown (GUI thread drains them)
    double m_maxLevel;                // highest level so far; minus infinity before a block
    int m_blockCount = 0;

    CORVAudioDriver m_driver;  // last: destroyed first, so the capture ends before the rest
};

}  // namespace orv
