#pragma once

#include <QAudioDevice>
#include <QAudioSink>
#include <QByteArray>
#include <QIODevice>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <memory>

#include "audiodriver/WaveRiffFile.h"

class QEventLoop;

namespace orv {

class ICaptureListener;

// A loaded sound played from memory: the device pulls from it. Sequential so the looping
// position is ours alone; lives on the thread that loaded it, as does the sink reading it.
class CSound final : public QIODevice {
    Q_OBJECT
public:
    CSound(QByteArray samples, WaveFormat format, QObject* parent = nullptr);

    void Rewind();
    void SetLooping(bool looping) { m_looping = looping; }
    // True once a non-looping sound has handed over its last byte.
    bool Finished() const { return m_finished; }
    qint64 Position() const { return m_pos; }
    const WaveFormat& Format() const { return m_format; }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_finished; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_samples;
    WaveFormat m_format;
    qint64 m_pos = 0;  // byte offset of the next byte handed to the device
    bool m_looping = false;
    bool m_finished = false;
};

// The output device a sound plays on.
struct CPlaybackDevice {
    QAudioDevice device;
    std::unique_ptr<QAudioSink> sink;  // created with the sound's format when it is loaded
};

class CCaptureThread;

// The process-wide audio state behind every CORVAudioDriver.
struct AudioDriverState {
    AudioDriverState();
    ~AudioDriverState();
    static AudioDriverState& Instance();

    // --- playback: used only from the thread that loads the sound ---
    std::unique_ptr<CPlaybackDevice> playDevice;
    std::unique_ptr<CSound> sound;
    int pausedByToggle = 1;  // 1 when the last toggle stopped the sound; starts as 1
    bool playing = false;    // the sound was started and not paused or stopped since
    void DropSound();

    // --- capture ---
    // Guards every capture member below and `error`. Never held while the listener runs.
    mutable QMutex lock;
    QWaitCondition changed;      // signalled when the thread has started, failed or ended
    bool captureOpened = false;  // InitCapture succeeded and no thread consumed it yet
    QAudioDevice captureDevice;
    std::unique_ptr<CWaveRiffFile> waveWriter;  // handed to the thread when it starts
    std::unique_ptr<CCaptureThread> thread;
    bool stopCapture = false;
    bool captureFinished = true;  // no thread runs
    int startResult = -1;         // the thread's answer: -1 pending, 1 started, 0 failed
    // Counts captures. A thread that hangs inside the audio system (Qt 6.4 can wait forever
    // for a stream that failed to connect) is abandoned by counting on; should it ever wake,
    // it sees a newer generation and leaves the state alone.
    quint64 generation = 0;
    QEventLoop* loop = nullptr;  // the capture thread's loop while it runs
    QByteArray lastChunk;        // the last block; replaced only by the capture thread
    QString error;

    // Serialises listener calls against SetMsgWnd.
    QMutex listenerLock;
    ICaptureListener* listener = nullptr;

    void SetError(const QString& text);
    void RequestStop();
    // Stops a running capture, waits for its thread and drops what InitCapture opened. A
    // thread that does not end within kReleaseTimeoutMs is abandoned (logged).
    void ReleaseCapture();
    static constexpr int kReleaseTimeoutMs = 5000;
};

// One capture: records from the opened device until asked to stop or a block fails.
class CCaptureThread final : public QThread {
    Q_OBJECT
public:
    CCaptureThread(AudioDriverState& state, QAudioDevice device,
                   std::unique_ptr<CWaveRiffFile> writer, quint64 generation);

protected:
    void run() override;

private:
    friend class CBlockCollector;
    // Writes one whole block, stores it and tells the listener; false when the write failed.
    bool RecordBlock(QByteArray block);

    AudioDriverState& m_state;
    QAudioDevice m_device;
    std::unique_ptr<CWaveRiffFile> m_writer;
    const quint64 m_generation;
};

}  // namespace orv
