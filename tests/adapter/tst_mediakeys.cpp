// The headset's transport keys reach the desktop's media player through MPRIS, on a private
// session bus that the test starts.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include "adapter/LinuxDesktop.h"
#include "config/AppHome.h"

using namespace orv;

// A media player as the desktop has one: the MPRIS player interface with its playback state.
class CFakePlayer final : public QObject {
    Q_OBJECT
public:
    QStringList calls;
    QString status = QStringLiteral("Stopped");
};

class CPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
public:
    explicit CPlayerAdaptor(CFakePlayer* player)
        : QDBusAbstractAdaptor(player), m_player(player) {}
    QString playbackStatus() const { return m_player->status; }
public slots:
    void PlayPause() { m_player->calls.append(QStringLiteral("PlayPause")); }
    void Next() { m_player->calls.append(QStringLiteral("Next")); }
    void Previous() { m_player->calls.append(QStringLiteral("Previous")); }

private:
    CFakePlayer* m_player;
};

class TestMediaKeys final : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    QProcess m_daemon;
    CFakePlayer m_idle;
    CFakePlayer m_playing;

    // Sends the key from another thread, as the desktop's key thread does, while this thread
    // serves the players.
    void Press(MediaKey key) {
        std::atomic<bool> done{false};
        std::thread parser([key, &done] {
            SendMprisKey(key);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        parser.join();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--session", "--nofork", "--print-address"});
        QVERIFY(m_daemon.waitForStarted(10000));
        QVERIFY(m_daemon.waitForReadyRead(10000));
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::sessionBus().isConnected());

        for (auto [player, name] : {std::pair{&m_idle, "org.mpris.MediaPlayer2.idle"},
                                    std::pair{&m_playing, "org.mpris.MediaPlayer2.playing"}}) {
            new CPlayerAdaptor(player);
            QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address),
                                                                QString::fromLatin1(name));
            QVERIFY(bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), player));
            QVERIFY(bus.registerService(QString::fromLatin1(name)));
        }
        m_playing.status = QStringLiteral("Playing");
    }

    void cleanupTestCase() {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    void keysGoToThePlayingPlayer() {
        Press(MediaKey::PlayPause);
        Press(MediaKey::Next);
        Press(MediaKey::Previous);
        QTRY_COMPARE(m_playing.calls, (QStringList{"PlayPause", "Next", "Previous"}));
        QVERIFY(m_idle.calls.isEmpty());
    }

    void keysAreQueuedInOrder() {
        m_playing.calls.clear();
        {
            CLinuxDesktop desktop;
            desktop.PressMediaKey(MediaKey::Previous);  // returns at once
            desktop.PressMediaKey(MediaKey::PlayPause);
            // The players answer on this thread; the desktop's thread waits for them.
            QTRY_COMPARE_WITH_TIMEOUT(m_playing.calls.size(), 2, 10000);
        }
        QCOMPARE(m_playing.calls, (QStringList{"Previous", "PlayPause"}));
    }

    void playerThatStartsPlayingGetsTheKeys() {
        m_playing.status = QStringLiteral("Paused");
        m_idle.status = QStringLiteral("Playing");
        m_playing.calls.clear();
        Press(MediaKey::Next);
        QTRY_COMPARE(m_idle.calls, QStringList{"Next"});
        QVERIFY(m_playing.calls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMediaKeys)
#include "tst_mediakeys.moc"
