#include "audio/BTPlayMusic.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QUrl>

#include <atomic>
#include <vector>

#include "audio/AdapterDeviceRule.h"
#include "audio/AudioTexts.h"
#include "audio/TestItemInfo.h"
#include "shell/LogWriter.h"

namespace orv {

CBTPlayMusic::CBTPlayMusic(QObject* parent) : QObject(parent) {
    m_posTimer.setInterval(kPosTimerMs);
    connect(&m_posTimer, &QTimer::timeout, this, &CBTPlayMusic::OnPosTimer);
}

CBTPlayMusic::~CBTPlayMusic() {
    m_posTimer.stop();
    if (m_player && OutputGone()) {
        AbandonPlayer();
    } else if (m_player) {
        // A playing player must never be destroyed: stop it and let go of the file first.
        m_player->stop();
        m_player->setSource(QUrl());
        delete m_player;
        m_player = nullptr;
    }
}

bool CBTPlayMusic::OutputGone() const {
    if (!m_audio) {
        return false;
    }
    const QByteArray id = m_audio->device().id();
    if (id.isEmpty()) {
        return false;  // the system default: it never goes
    }
    for (const QAudioDevice& d : QMediaDevices::audioOutputs()) {
        if (d.id() == id) {
            return false;
        }
    }
    return true;
}

namespace {
std::atomic<int> g_playersLeftBehind{0};

// The players left behind, kept for the rest of the process (their destructors would wait for
// ever too); held here so that they stay accounted for rather than lost. Window thread only.
std::vector<QMediaPlayer*>& PlayersKept() {
    static auto* const kept = new std::vector<QMediaPlayer*>;
    return *kept;
}
}  // namespace

int CBTPlayMusic::PlayersLeftBehind() {
    return g_playersLeftBehind.load();
}

void CBTPlayMusic::AbandonPlayer() {
    ++g_playersLeftBehind;
    LogInfo(
        QStringLiteral("play: %1 is gone; its player is left behind").arg(m_deviceDescription));
    m_player->disconnect(this);
    m_player->setParent(nullptr);  // never deleted: its destructor would wait for ever too
    PlayersKept().push_back(m_player);
    m_player = nullptr;
    m_audio = nullptr;
}

void CBTPlayMusic::StopPlayer() {
    if (!m_player) {
        return;
    }
    if (OutputGone()) {
        AbandonPlayer();
        return;
    }
    m_player->stop();
}

bool CBTPlayMusic::Fail(const QString& text) {
    m_error = text;
    LogInfo(QStringLiteral("play: ") + text);
    return false;
}

qint64 CBTPlayMusic::PositionMs() const {
    return m_player ? m_player->position() : 0;
}

void CBTPlayMusic::SetMeter(int percent) {
    if (percent != m_meter) {
        m_meter = percent;
        emit meterChanged(percent);
    }
}

void CBTPlayMusic::SetTimeText(const QString& text) {
    if (text != m_timeText) {
        m_timeText = text;
        emit timeTextChanged(text);
    }
}

int CBTPlayMusic::Play() {
    m_error.clear();
    if (!QFileInfo(m_fileName).isFile()) {
        Fail(QStringLiteral("%1: no such file").arg(m_fileName));
        return 0;
    }
    if (!Load()) {
        return 0;
    }
    m_player->play();
    if (m_player->error() != QMediaPlayer::NoError ||
        m_player->playbackState() != QMediaPlayer::PlayingState) {
        Fail(QStringLiteral("%1: %2").arg(m_fileName, m_player->errorString()));
        return 0;
    }
    m_state = Running;
    m_posTimer.start();
    return 1;
}

bool CBTPlayMusic::Load() {
    m_posTimer.stop();
    if (m_state != Stopped && m_player) {
        StopPlayer();
        m_state = Stopped;
    }
    ReleaseGraph();
    if (!BuildGraph()) {
        return false;
    }
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(m_fileName).absoluteFilePath()));
    if (m_player->error() != QMediaPlayer::NoError ||
        m_player->mediaStatus() == QMediaPlayer::InvalidMedia) {
        return Fail(QStringLiteral("%1: %2").arg(m_fileName, m_player->errorString()));
    }
    SetMeter(0);
    m_durationMs = m_player->duration();
    ShowTime(0);
    return true;
}

bool CBTPlayMusic::BuildGraph() {
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    QStringList descriptions;
    for (const QAudioDevice& d : outputs) {
        descriptions << d.description();
    }
    const int index = SelectPlaybackDevice(descriptions, m_deviceB == 1);
    if (index < 0) {
        return Fail(
            QStringLiteral("no output device named %1")
                .arg(QLatin1String(m_deviceB == 1 ? kAdapterDeviceNameB : kAdapterDeviceName)));
    }
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_audio = new QAudioOutput(m_player);
        m_player->setAudioOutput(m_audio);
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &CBTPlayMusic::OnMediaStatus);
        connect(m_player, &QMediaPlayer::errorOccurred, this, &CBTPlayMusic::OnError);
        connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
            if (m_player->mediaStatus() != QMediaPlayer::NoMedia) {
                m_durationMs = ms;
            }
        });
    }
    m_audio->setDevice(outputs.at(index));
    m_audio->setVolume(1.0f);  // full volume: the level the headset hears is set elsewhere
    m_deviceDescription = outputs.at(index).description();
    return true;
}

void CBTPlayMusic::ReleaseGraph() {
    m_posTimer.stop();
    StopPlayer();
    if (m_player) {
        m_player->setSource(QUrl());
    }
    m_state = Stopped;
    m_finishQueued = false;
}

void CBTPlayMusic::Pause() {
    if (m_state != Running) {
        return;
    }
    m_posTimer.stop();
    m_player->pause();
    m_state = Paused;
}

void CBTPlayMusic::Resume() {
    if (m_state != Paused) {
        return;
    }
    m_player->play();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_state = Running;
    }
    m_posTimer.start();
}

void CBTPlayMusic::Stop() {
    SetMeter(0);
    SetTimeText(PlayTimeText(0, m_durationMs));
    ReleaseGraph();
}

void CBTPlayMusic::OnPosTimer() {
    if (!m_player) {
        return;
    }
    const qint64 pos = m_player->position();
    SetMeter(m_durationMs == 0 ? 0 : int(pos * 100 / m_durationMs));
    ShowTime(pos);
}

void CBTPlayMusic::ShowTime(qint64 positionMs) {
    qint64 p = positionMs;
    if (p == 0 && m_player) {
        p = m_player->position();
    }
    const qint64 seconds = p / 1000;
    const QString text = PlayTimeText(p, m_durationMs);
    SetTimeText(text);
    if (m_itemInfo && m_itemInfo->IsTestWindowShown()) {
        const int stage = m_itemInfo->TestStage();
        if (stage == 5) {
            m_itemInfo->SetItemInfo(kItemA2dpListening, text);
        } else if (stage == 7) {
            m_itemInfo->SetItemInfo(kItemHfpListening, text);
        }
    }
    if (m_limitSeconds != kNoLimit && m_limitSeconds <= double(seconds)) {
        Stop();
        Load();  // ready from the start for the next Play
        emit playDone(this);
        return;
    }
    if (m_durationMs > 0 && p >= m_durationMs && m_state != Stopped) {
        StopPlayer();
        m_state = Stopped;
    }
}

void CBTPlayMusic::OnMediaStatus(QMediaPlayer::MediaStatus status) {
    if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia) {
        m_durationMs = m_player->duration();
    }
    if (status == QMediaPlayer::EndOfMedia && m_state != Stopped && !m_finishQueued) {
        // Reloading the player inside its own notification is not safe: do it next.
        m_finishQueued = true;
        QMetaObject::invokeMethod(this, &CBTPlayMusic::Finish, Qt::QueuedConnection);
    }
}

void CBTPlayMusic::OnError(QMediaPlayer::Error error, const QString& text) {
    if (error == QMediaPlayer::NoError) {
        return;
    }
    Fail(QStringLiteral("%1: %2").arg(m_fileName, text));
    if (m_state != Stopped && !m_finishQueued) {
        m_finishQueued = true;
        QMetaObject::invokeMethod(this, &CBTPlayMusic::Finish, Qt::QueuedConnection);
    }
}

void CBTPlayMusic::Finish() {
    if (!m_finishQueued) {
        return;  // stopped or reloaded meanwhile
    }
    m_finishQueued = false;
    m_posTimer.stop();
    StopPlayer();
    m_state = Stopped;
    Load();
    emit playDone(this);
}

}  // namespace orv
