#pragma once

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QThread>

// The real program, started as an operator would start it, watched through its log file.
namespace orv::bench {

inline QString ProgramPath() {
    return QStringLiteral(ORV_BINARY_DIR "/bin/ORV318PRO");
}

// One simulated adapter with one headset out of reach of any connection; no control socket.
inline bool WriteIdleScenario(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(
        "[Adapter]\nProductId=0x5750\nReplyDelayMs=0\nControlSocket=\n"
        "[Headset1]\nName=ORV Idle\nMac=02:5a:00:00:00:01\nBattery=80\n");
    return true;
}

inline QProcess* StartProgram(const QString& home, const QString& scenario) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(ProgramPath(), {QStringLiteral("--headless"), QStringLiteral("--adapter"),
                             QStringLiteral("sim:") + scenario, QStringLiteral("--home"), home});
    return p;
}

// The log file the program writes today in `home`.
inline QString LogPath(const QString& home) {
    return QDir(home).filePath(QStringLiteral("log/") +
                               QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                               QStringLiteral(".txt"));
}

// Watches a log file as it grows; `Seen` reports whether a text has appeared so far.
class LogWatch final {
public:
    explicit LogWatch(QString path) : m_path(std::move(path)) {}
    bool Seen(const QByteArray& text) {
        QFile f(m_path);
        if (f.open(QIODevice::ReadOnly) && f.size() > m_read) {
            f.seek(m_read);
            const QByteArray more = f.readAll();
            m_read += more.size();
            m_text += more;
        }
        return m_text.contains(text);
    }

private:
    QString m_path;
    qint64 m_read = 0;
    QByteArray m_text;
};

// Polls every millisecond until `text` is in the log or `timeoutMs` passed; the time it was
// seen, in ms of `clock`, or -1.
inline qint64 WaitForLog(LogWatch& log, const QByteArray& text, const QElapsedTimer& clock,
                         int timeoutMs) {
    while (clock.elapsed() < timeoutMs) {
        if (log.Seen(text))
            return clock.elapsed();
        QThread::usleep(1000);
    }
    return -1;
}

inline void StopProgram(QProcess* p) {
    p->terminate();  // SIGTERM: the program closes its window and ends
    if (!p->waitForFinished(15000)) {
        p->kill();
        p->waitForFinished(5000);
    }
    delete p;
}

}  // namespace orv::bench
