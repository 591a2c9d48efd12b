#include "adapter/LinuxDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

#include "audio/SystemVolume.h"
#include "shell/LogWriter.h"

namespace orv {

namespace {

const QString kMprisPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kMprisPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

}  // namespace

void CLinuxDesktop::SelectAdapterAudio() {
    SelectDefaultDevices(QStringLiteral("ORV318Pro"));
}

int CLinuxDesktop::SetSystemVolume(int legacyAudio, int percent) {
    return orv::SetSystemVolume(&legacyAudio, percent);
}

QString MprisMethod(MediaKey key) {
    switch (key) {
        case MediaKey::PlayPause:
            return QStringLiteral("PlayPause");
        case MediaKey::Next:
            return QStringLiteral("Next");
        case MediaKey::Previous:
            return QStringLiteral("Previous");
    }
    return QString();
}

CLinuxDesktop::~CLinuxDesktop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CLinuxDesktop::PressMediaKey(MediaKey key) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_keys.push_back(key);
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { KeyThread(); });
        }
    }
    m_wake.notify_one();
}

void CLinuxDesktop::KeyThread() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_keys.empty(); });
        if (m_keys.empty()) {
            return;  // stopped, every key sent
        }
        const MediaKey key = m_keys.front();
        m_keys.pop_front();
        lock.unlock();
        SendMprisKey(key);
        lock.lock();
    }
}

void SendMprisKey(MediaKey key) {
    const QString method = MprisMethod(key);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        LogInfo(QStringLiteral("media key %1: no session bus, skipped").arg(method));
        return;
    }
    const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
    QStringList players;
    for (const QString& name : names.value()) {
        if (name.startsWith(kMprisPrefix)) {
            players.append(name);
        }
    }
    if (players.isEmpty()) {
        LogInfo(QStringLiteral("media key %1: no media player, skipped").arg(method));
        return;
    }
    // Prefer the player that is playing: that is the one the headset's key means.
    QString target = players.first();
    for (const QString& player : players) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            player, kMprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << kMprisPlayer << QStringLiteral("PlaybackStatus");
        const QDBusMessage reply = bus.call(get, QDBus::Block, 500);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            reply.arguments().first().value<QDBusVariant>().variant().toString() ==
                QLatin1String("Playing")) {
            target = player;
            break;
        }
    }
    QDBusMessage call = QDBusMessage::createMethodCall(target, kMprisPath, kMprisPlayer, method);
    if (!bus.send(call)) {
        LogInfo(QStringLiteral("media key %1: sending to %2 failed").arg(method, target));
    }
}

}  // namespace orv
