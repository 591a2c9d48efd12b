#include "audio/BTRecordSound.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>

#include <cmath>
#include <limits>

#include "audio/AdapterDeviceRule.h"
#include "audio/AudioTexts.h"
#include "audio/Level.h"
#include "audio/TestItemInfo.h"
#include "config/Settings.h"
#include "shell/LogWriter.h"

namespace orv {

namespace {
constexpr double kNoLevel = -std::numeric_limits<double>::infinity();
}

CBTRecordSound::CBTRecordSound(const QString& configPath, const QString& tempWav, QObject* parent)
    : QObject(parent), m_configPath(configPath), m_tempWav(tempWav), m_maxLevel(kNoLevel) {
    m_tickTimer.setInterval(kTickTimerMs);
    m_finishTimer.setInterval(kFinishTimerMs);
    connect(&m_tickTimer, &QTimer::timeout, this, &CBTRecordSound::OnTick);
    connect(&m_finishTimer, &QTimer::timeout, this, &CBTRecordSound::OnFinishTick);
}

CBTRecordSound::~CBTRecordSound() {
    m_recording = false;
    m_driver.SetMsgWnd(nullptr);
    m_driver.DirectSound_FreeDirectSound();
}

double CBTRecordSound::Limit() const {
    return GetRecordCapLowerLimit(m_configPath);
}

double CBTRecordSound::MaxLevel() const {
    QMutexLocker guard(&m_levelLock);
    return m_maxLevel;
}

int CBTRecordSound::BlockCount() const {
    QMutexLocker guard(&m_levelLock);
    return m_blockCount;
}

int CBTRecordSound::IsLevelPass() const {
    const double limit = Limit();
    QMutexLocker guard(&m_levelLock);
    // A recording that delivered no block has no level: it never passes.
    return m_blockCount > 0 && limit <= m_maxLevel ? 1 : 0;
}

int CBTRecordSound::StartRecord() {
    if (m_recording || !m_driver.IsCaptureFinish()) {
        return 0;  // one recording at a time
    }
    m_driver.SetMsgWnd(this);
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    QStringList descriptions;
    for (const QAudioDevice& d : inputs) {
        descriptions << d.description();
    }
    const int index = SelectCaptureDevice(descriptions, m_deviceB == 1);
    if (index < 0) {
        LogInfo(
            QStringLiteral("record: no capture device named %1")
                .arg(QLatin1String(m_deviceB == 1 ? kAdapterDeviceNameB : kAdapterDeviceName)));
        return 0;
    }
    const QAudioDevice device = inputs.at(index);
    m_deviceDescription = device.description();
    if (QFile::exists(m_tempWav) && !QFile::remove(m_tempWav)) {
        LogInfo(QStringLiteral("record: cannot delete %1").arg(m_tempWav));
    }
    if (!m_driver.DirectSound_InitCaptureAudioSound(m_tempWav, &device)) {
        LogInfo(QStringLiteral("record: ") + m_driver.LastErrorText());
        emit soundCardInitFailed();
        return 0;
    }
    {
        QMutexLocker guard(&m_levelLock);
        m_maxLevel = kNoLevel;
        m_blockCount = 0;
        m_pendingLevels.clear();
    }
    // Set before the thread starts so the first block is measured.
    m_recording = true;
    if (!m_driver.DirectSound_CaptureAudioData()) {
        m_recording = false;
        LogInfo(QStringLiteral("record: ") + m_driver.LastErrorText());
        return 0;
    }
    m_startTime.start();
    m_tickTimer.start();
    return 1;
}

void CBTRecordSound::StopRecord() {
    if (m_recording) {
        m_driver.DirectSound_StopCaptureAudioData();
        m_finishTimer.start();
    }
}

// Capture thread, while the driver waits: the block is measured here, where it is valid; the
// GUI thread shows the levels.
void CBTRecordSound::OnCaptureChunk(const unsigned char* data, unsigned long length) {
    if (!m_recording || length == 0) {
        return;
    }
    const double level = BlockLevel(data, length);
    bool first = false;
    {
        QMutexLocker guard(&m_levelLock);
        m_maxLevel = m_blockCount == 0 ? level : std::max(m_maxLevel, level);
        ++m_blockCount;
        first = m_pendingLevels.isEmpty();
        m_pendingLevels.append(level);
    }
    if (first) {
        QMetaObject::invokeMethod(this, &CBTRecordSound::DrainLevels, Qt::QueuedConnection);
    }
}

void CBTRecordSound::DrainLevels() {
    QVector<double> levels;
    {
        QMutexLocker guard(&m_levelLock);
        levels.swap(m_pendingLevels);
    }
    for (const double level : levels) {
        const int meter = LevelMeterPosition(level);
        if (meter != m_meter) {
            m_meter = meter;
            emit meterChanged(meter);
        }
        m_levelText = orv::LevelText(level);
        emit levelTextChanged(m_levelText);
        emit levelMeasured(level);
        if (Limit() <= level) {
            emit recordPass();
        }
    }
}

void CBTRecordSound::OnTick() {
    // Whole seconds, rounded half away from zero.
    const qint64 elapsed = (m_startTime.elapsed() + 500) / 1000;
    m_timeText = ElapsedText(elapsed);
    emit timeTextChanged(m_timeText);
    if (m_itemInfo && m_itemInfo->IsTestWindowShown()) {
        m_itemInfo->SetItemInfo(kItemHfpRecord, m_timeText);
    }
    if (GetRecordCaptureTimes(m_configPath) <= double(elapsed)) {
        // Time over: reported once; the final verdict follows when the capture has ended.
        m_tickTimer.stop();
        if (m_recording) {
            m_driver.DirectSound_StopCaptureAudioData();
            m_finishTimer.start();
        }
        emit recordFail();
    }
}

void CBTRecordSound::OnFinishTick() {
    if (!m_driver.IsCaptureFinish()) {
        return;
    }
    m_tickTimer.stop();
    m_finishTimer.stop();
    DrainLevels();  // the last blocks' levels come before the verdict
    const bool pass = IsLevelPass() == 1;
    if (pass) {
        emit recordPass();
    } else {
        emit recordFail();
    }
    m_recording = false;
    emit recordDone();
}

}  // namespace orv
