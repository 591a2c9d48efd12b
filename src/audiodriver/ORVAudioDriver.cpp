#include "audiodriver/ORVAudioDriver.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QtEndian>

#include <cstring>

#include "audiodriver/AudioDriverState.h"

namespace orv {

Q_LOGGING_CATEGORY(lcAudioDriver, "orv.audiodriver")

namespace {

// How long DirectSound_CaptureAudioData waits for the device to start (PulseAudio answers in
// milliseconds; a hung server must not hang the caller).
constexpr int kStartTimeoutMs = 3000;

QAudioFormat CaptureAudioFormat() {
    QAudioFormat f;
    f.setSampleRate(48000);
    f.setChannelCount(2);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

// The Qt sample format a WAV format record plays as; Unknown when it cannot be played.
QAudioFormat::SampleFormat SampleFormatOf(const WaveFormat& w) {
    quint16 tag = w.formatTag;
    if (tag == 0xFFFE && w.extra.size() >= 22) {
        // WAVE_FORMAT_EXTENSIBLE: the sub-format GUID starts with the plain format tag.
        tag = qFromLittleEndian<quint16>(w.extra.constData() + 6);
    }
    if (tag == 1) {
        switch (w.bitsPerSample) {
            case 8:
                return QAudioFormat::UInt8;
            case 16:
                return QAudioFormat::Int16;
            case 32:
                return QAudioFormat::Int32;
            default:
                return QAudioFormat::Unknown;
        }
    }
    if (tag == 3 && w.bitsPerSample == 32) {
        return QAudioFormat::Float;
    }
    return QAudioFormat::Unknown;
}

void ReleasePlaybackAtExit() {
    AudioDriverState::Instance().DropSound();
}

}  // namespace

ICaptureListener::~ICaptureListener() = default;

// ---------------------------------------------------------------------------------------------
// CSound

CSound::CSound(QByteArray samples, WaveFormat format, QObject* parent)
    : QIODevice(parent), m_samples(std::move(samples)), m_format(std::move(format)) {
    open(QIODevice::ReadOnly);
}

void CSound::Rewind() {
    m_pos = 0;
    m_finished = false;
}

qint64 CSound::bytesAvailable() const {
    if (m_finished) {
        return QIODevice::bytesAvailable();
    }
    return (m_looping ? m_samples.size() : m_samples.size() - m_pos) + QIODevice::bytesAvailable();
}

qint64 CSound::readData(char* data, qint64 maxSize) {
    qint64 done = 0;
    while (done < maxSize && !m_finished && !m_samples.isEmpty()) {
        const qint64 n = qMin(maxSize - done, qint64(m_samples.size()) - m_pos);
        std::memcpy(data + done, m_samples.constData() + m_pos, size_t(n));
        done += n;
        m_pos += n;
        if (m_pos >= m_samples.size()) {
            if (m_looping) {
                m_pos = 0;
            } else {
                m_finished = true;
            }
        }
    }
    return done;
}

// ---------------------------------------------------------------------------------------------
// AudioDriverState

AudioDriverState::AudioDriverState() = default;

AudioDriverState::~AudioDriverState() {
    ReleaseCapture();
    // The sound normally went with the application object (post routine); what is left here
    // belongs to no event loop any more and is only freed.
    DropSound();
}

AudioDriverState& AudioDriverState::Instance() {
    static AudioDriverState state;
    return state;
}

void AudioDriverState::DropSound() {
    if (playDevice && playDevice->sink) {
        playDevice->sink->stop();
    }
    playDevice.reset();
    sound.reset();
    playing = false;
    pausedByToggle = 1;
}

void AudioDriverState::SetError(const QString& text) {
    qCWarning(lcAudioDriver).noquote() << text;
    QMutexLocker guard(&lock);
    error = text;
}

void AudioDriverState::RequestStop() {
    QMutexLocker guard(&lock);
    stopCapture = true;
    if (loop) {
        QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

void AudioDriverState::ReleaseCapture() {
    RequestStop();
    std::unique_ptr<CCaptureThread> old;
    {
        QMutexLocker guard(&lock);
        if (thread && QThread::currentThread() == thread.get()) {
            return;  // called from the listener: the thread ends and releases by itself
        }
        old = std::move(thread);
        captureOpened = false;
        captureDevice = QAudioDevice();
        if (waveWriter) {
            waveWriter->Close();
            waveWriter.reset();
        }
    }
    if (old && !old->wait(kReleaseTimeoutMs)) {
        qCWarning(lcAudioDriver) << "capture: the capture thread hangs in the audio system;"
                                    " abandoned";
        QMutexLocker guard(&lock);
        ++generation;
        captureFinished = true;
        loop = nullptr;
        changed.wakeAll();
        (void)old.release();  // a running QThread must not be destroyed
    }
}

// ---------------------------------------------------------------------------------------------
// Capture thread

// Cuts what the device delivers into whole blocks for the capture thread.
class CBlockCollector final : public QIODevice {
public:
    CBlockCollector(CCaptureThread& thread, QEventLoop& loop) : m_thread(thread), m_loop(loop) {
        open(QIODevice::WriteOnly);
    }
    bool Failed() const { return m_failed; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (m_failed) {
            return size;  // the capture is ending; nothing more is recorded
        }
        m_pending.append(data, size);
        qsizetype used = 0;
        while (m_pending.size() - used >= qsizetype(CORVAudioDriver::kBlockBytes)) {
            QByteArray block(m_pending.constData() + used, CORVAudioDriver::kBlockBytes);
            used += CORVAudioDriver::kBlockBytes;
            if (!m_thread.RecordBlock(std::move(block))) {
                m_failed = true;
                m_loop.quit();
                break;
            }
        }
        m_pending.remove(0, used);
        return size;
    }

private:
    CCaptureThread& m_thread;
    QEventLoop& m_loop;
    QByteArray m_pending;  // bytes short of a whole block; dropped when the capture ends
    bool m_failed = false;
};

CCaptureThread::CCaptureThread(AudioDriverState& state, QAudioDevice device,
                               std::unique_ptr<CWaveRiffFile> writer, quint64 generation)
    : m_state(state),
      m_device(std::move(device)),
      m_writer(std::move(writer)),
      m_generation(generation) {
    setObjectName(QStringLiteral("orv-capture"));
}

bool CCaptureThread::RecordBlock(QByteArray block) {
    if (!m_writer->WriteData(block.constData(), block.size())) {
        m_state.SetError(
            QStringLiteral("capture: writing the WAV file failed: %1").arg(m_writer->ErrorText()));
        return false;
    }
    const unsigned char* bytes = nullptr;
    {
        QMutexLocker guard(&m_state.lock);
        if (m_state.generation != m_generation) {
            return false;  // abandoned
        }
        m_state.lastChunk = std::move(block);
        bytes = reinterpret_cast<const unsigned char*>(m_state.lastChunk.constData());
    }
    // lastChunk is only replaced on this thread, so `bytes` stays valid through the call.
    QMutexLocker listenerGuard(&m_state.listenerLock);
    if (m_state.listener) {
        m_state.listener->OnCaptureChunk(bytes, CORVAudioDriver::kBlockBytes);
    }
    return true;
}

void CCaptureThread::run() {
    QEventLoop loop;
    CBlockCollector collector(*this, loop);
    QAudioSource source(m_device, CaptureAudioFormat());
    // 125 ms of device buffer: the blocks come as evenly as the server delivers.
    source.setBufferSize(int(CORVAudioDriver::kBlockBytes));
    QObject::connect(&source, &QAudioSource::stateChanged, &loop, [&](QAudio::State s) {
        if (s == QAudio::StoppedState && source.error() != QAudio::NoError) {
            m_state.SetError(QStringLiteral("capture: device %1 stopped with error %2")
                                 .arg(m_device.description())
                                 .arg(int(source.error())));
            loop.quit();
        }
    });
    // Qt 6.4 waits forever for a stream on a device that has gone: start only on one that is
    // still listed.
    bool present = false;
    for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
        present = present || d.id() == m_device.id();
    }
    if (present) {
        source.start(&collector);
    }
    const bool started =
        present && source.error() == QAudio::NoError && source.state() != QAudio::StoppedState;
    bool run = false;
    {
        QMutexLocker guard(&m_state.lock);
        if (m_state.generation != m_generation) {
            return;  // abandoned while hanging in start; the state is no longer ours
        }
        m_state.startResult = started ? 1 : 0;
        run = started && !m_state.stopCapture;
        if (run) {
            m_state.loop = &loop;
        }
        m_state.changed.wakeAll();
    }
    if (!started) {
        m_state.SetError(QStringLiteral("capture: device %1 did not start (error %2)")
                             .arg(m_device.description())
                             .arg(int(source.error())));
    }
    if (run) {
        loop.exec();
    }
    {
        QMutexLocker guard(&m_state.lock);
        if (m_state.generation == m_generation) {
            m_state.loop = nullptr;
        }
    }
    // Whatever whole blocks the device still hands over while stopping are recorded; the
    // bytes short of a block are dropped with the collector.
    source.stop();
    if (!m_writer->Close()) {
        m_state.SetError(
            QStringLiteral("capture: closing the WAV file failed: %1").arg(m_writer->ErrorText()));
    }
    m_writer.reset();
    QMutexLocker guard(&m_state.lock);
    if (m_state.generation == m_generation) {
        m_state.captureFinished = true;
        m_state.changed.wakeAll();
    }
}

// ---------------------------------------------------------------------------------------------
// CORVAudioDriver

CORVAudioDriver::CORVAudioDriver() = default;

CORVAudioDriver::~CORVAudioDriver() {
    AudioDriverState::Instance().ReleaseCapture();
}

int CORVAudioDriver::DirectSound_InitPlayAudioSound(QString fileName, const QAudioDevice* device) {
    AudioDriverState& st = AudioDriverState::Instance();
    st.DropSound();
    static bool exitHookSet = false;
    if (!exitHookSet && QCoreApplication::instance()) {
        // The sink must go while the application object (and the audio server) still exist.
        qAddPostRoutine(ReleasePlaybackAtExit);
        exitHookSet = true;
    }

    auto dev = std::make_unique<CPlaybackDevice>();
    dev->device = device ? *device : QMediaDevices::defaultAudioOutput();
    if (dev->device.isNull()) {
        st.SetError(QStringLiteral("play: no output device"));
        return 0;
    }
    CWaveRiffFile reader;
    if (!reader.OpenRead(fileName)) {
        st.SetError(QStringLiteral("play: %1").arg(reader.ErrorText()));
        return 0;
    }
    if (reader.DataSize() == 0) {
        st.SetError(QStringLiteral("play: %1 holds no samples").arg(fileName));
        return 0;
    }
    const WaveFormat wf = reader.Format();
    QAudioFormat qf;
    qf.setSampleRate(int(wf.sampleRate));
    qf.setChannelCount(wf.channels);
    qf.setSampleFormat(SampleFormatOf(wf));
    if (qf.sampleFormat() == QAudioFormat::Unknown || !qf.isValid() ||
        qf.bytesPerFrame() != wf.blockAlign) {
        st.SetError(QStringLiteral("play: %1: unsupported encoding (tag %2, %3 bits, align %4)")
                        .arg(fileName)
                        .arg(wf.formatTag)
                        .arg(wf.bitsPerSample)
                        .arg(wf.blockAlign));
        return 0;
    }
    QByteArray samples(qsizetype(reader.DataSize()), Qt::Uninitialized);
    const qint64 got = reader.Read(samples.data(), samples.size());
    if (got < 0) {
        st.SetError(QStringLiteral("play: %1").arg(reader.ErrorText()));
        return 0;
    }
    // Whole frames only: a torn last frame would shift the channels.
    samples.truncate(qsizetype(got - got % wf.blockAlign));
    if (samples.isEmpty()) {
        st.SetError(QStringLiteral("play: %1 holds no whole frame").arg(fileName));
        return 0;
    }
    dev->sink = std::make_unique<QAudioSink>(dev->device, qf);
    st.sound = std::make_unique<CSound>(std::move(samples), wf);
    st.playDevice = std::move(dev);
    return 1;
}

int CORVAudioDriver::DirectSound_PlayAudioData(int flags) {
    AudioDriverState& st = AudioDriverState::Instance();
    if (!st.sound || !st.playDevice || !st.playDevice->sink) {
        st.SetError(QStringLiteral("play: no sound loaded"));
        return 0;
    }
    QAudioSink& sink = *st.playDevice->sink;
    if (st.pausedByToggle == 0 && IsPlaying()) {
        sink.suspend();  // the position stays
        st.pausedByToggle = 1;
        st.playing = false;
        return 1;
    }
    st.sound->SetLooping((flags & kPlayLooping) != 0);
    if (st.sound->Finished()) {
        // A sound that played to its end starts again from the beginning.
        sink.stop();
        st.sound->Rewind();
    }
    if (sink.state() == QAudio::SuspendedState) {
        sink.resume();
    } else if (sink.state() == QAudio::StoppedState) {
        sink.start(st.sound.get());
    }
    if (sink.error() != QAudio::NoError && sink.error() != QAudio::UnderrunError) {
        st.SetError(
            QStringLiteral("play: the output device failed (error %1)").arg(int(sink.error())));
        sink.stop();
        return 0;
    }
    st.playing = true;
    st.pausedByToggle = 0;
    return 1;
}

void CORVAudioDriver::DirectSound_StopPlayAudioData() {
    AudioDriverState& st = AudioDriverState::Instance();
    if (st.playDevice && st.playDevice->sink) {
        st.playDevice->sink->stop();
    }
    if (st.sound) {
        st.sound->Rewind();
    }
    st.playing = false;
}

int CORVAudioDriver::IsPlaying() {
    AudioDriverState& st = AudioDriverState::Instance();
    return st.sound && st.playing && !st.sound->Finished() ? 1 : 0;
}

qint64 CORVAudioDriver::PlayPosition() {
    AudioDriverState& st = AudioDriverState::Instance();
    return st.sound ? st.sound->Position() : 0;
}

int CORVAudioDriver::DirectSound_InitCaptureAudioSound(QString fileName,
                                                       const QAudioDevice* device) {
    AudioDriverState& st = AudioDriverState::Instance();
    {
        QMutexLocker guard(&st.lock);
        if (!st.captureFinished) {
            guard.unlock();
            st.SetError(QStringLiteral("capture: a capture is still running"));
            return 0;
        }
    }
    st.ReleaseCapture();  // a capture opened but never started is dropped
    const QAudioDevice dev = device ? *device : QMediaDevices::defaultAudioInput();
    if (dev.isNull()) {
        st.SetError(QStringLiteral("capture: no input device"));
        return 0;
    }
    if (!dev.isFormatSupported(CaptureAudioFormat())) {
        st.SetError(QStringLiteral("capture: %1 cannot record 48000 Hz stereo 16-bit")
                        .arg(dev.description()));
        return 0;
    }
    auto writer = std::make_unique<CWaveRiffFile>();
    if (!writer->OpenWrite(fileName, WaveFormat::CaptureFormat())) {
        st.SetError(QStringLiteral("capture: %1").arg(writer->ErrorText()));
        return 0;
    }
    QMutexLocker guard(&st.lock);
    st.captureDevice = dev;
    st.waveWriter = std::move(writer);
    st.captureOpened = true;
    st.lastChunk.clear();
    st.error.clear();
    return 1;
}

int CORVAudioDriver::DirectSound_CaptureAudioData() {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    if (!st.captureOpened || !st.captureFinished) {
        guard.unlock();
        st.SetError(st.captureOpened ? QStringLiteral("capture: a capture is still running")
                                     : QStringLiteral("capture: not opened"));
        return 0;
    }
    if (st.thread) {
        // Ended already: captureFinished is the thread's last step. Unless it was abandoned.
        if (st.thread->wait(AudioDriverState::kReleaseTimeoutMs)) {
            st.thread.reset();
        } else {
            (void)st.thread.release();
        }
    }
    st.captureOpened = false;
    st.stopCapture = false;
    st.captureFinished = false;
    st.startResult = -1;
    ++st.generation;
    st.thread = std::make_unique<CCaptureThread>(st, st.captureDevice, std::move(st.waveWriter),
                                                 st.generation);
    st.captureDevice = QAudioDevice();
    st.thread->start();
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (st.startResult < 0 && !st.captureFinished) {
        if (!st.changed.wait(&st.lock, deadline)) {
            break;
        }
    }
    if (st.startResult == 1) {
        return 1;
    }
    const bool timedOut = st.startResult < 0 && !st.captureFinished;
    guard.unlock();
    if (timedOut) {
        // Stuck inside the audio system: stop it, or abandon it, so a new capture can start.
        st.SetError(QStringLiteral("capture: the device did not start in time"));
        st.ReleaseCapture();
    }
    // Otherwise the thread has found the device would not start and ends by itself.
    return 0;
}

int CORVAudioDriver::DirectSound_StopCaptureAudioData() {
    AudioDriverState::Instance().RequestStop();
    return 1;
}

int CORVAudioDriver::DirectSound_FreeDirectSound() {
    AudioDriverState::Instance().ReleaseCapture();
    return 1;
}

void CORVAudioDriver::GetCaptureData(unsigned char** data, unsigned long* length) {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    const bool none = st.lastChunk.isEmpty();
    if (data) {
        *data =
            none ? nullptr
                 : reinterpret_cast<unsigned char*>(const_cast<char*>(st.lastChunk.constData()));
    }
    if (length) {
        *length = none ? 0 : static_cast<unsigned long>(st.lastChunk.size());
    }
}

QByteArray CORVAudioDriver::LastCaptureBlock() const {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    return st.lastChunk;
}

int CORVAudioDriver::IsCaptureFinish() {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    return st.captureFinished ? 1 : 0;
}

int CORVAudioDriver::WaitCaptureFinish(int timeoutMs) {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    QDeadlineTimer deadline(timeoutMs);
    while (!st.captureFinished) {
        if (!st.changed.wait(&st.lock, deadline)) {
            break;
        }
    }
    return st.captureFinished ? 1 : 0;
}

void CORVAudioDriver::SetMsgWnd(ICaptureListener* listener) {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.listenerLock);
    st.listener = listener;
}

QString CORVAudioDriver::LastErrorText() const {
    AudioDriverState& st = AudioDriverState::Instance();
    QMutexLocker guard(&st.lock);
    return st.error;
}

}  // namespace orv
