#pragma once

// Test and benchmark helper: audio devices on the private PulseAudio server that PULSE_SERVER
// names, looking to Qt Multimedia like the adapter's USB audio function.

#include <QAudioDevice>
#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QMediaDevices>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace orv::test {

// A null sink described `description` and, on its monitor, a remapped source described the
// same: whatever is played on the sink is recorded from the source (Qt 6.4 hides monitor
// sources). 48000 Hz stereo s16 on both, so the samples pass unchanged. Unloaded on
// destruction.
class PulseAdapterDevices final {
public:
    PulseAdapterDevices(const QString& description, const QString& tag) {
        const QString base =
            QStringLiteral("orv_%1_%2").arg(tag).arg(QCoreApplication::applicationPid());
        sinkName = base + QStringLiteral("_sink");
        sourceName = base + QStringLiteral("_src");
        // module arguments: a quoted value may hold blanks; the property value is quoted again
        const QString props = QStringLiteral("'device.description=\"%1\"'").arg(description);
        const QStringList spec = {QStringLiteral("rate=48000"), QStringLiteral("channels=2"),
                                  QStringLiteral("format=s16le")};
        m_sinkModule = Load(QStringList{QStringLiteral("module-null-sink"),
                                        QStringLiteral("sink_name=") + sinkName,
                                        QStringLiteral("sink_properties=") + props} +
                            spec);
        if (m_sinkModule >= 0) {
            m_sourceModule =
                Load(QStringList{QStringLiteral("module-remap-source"),
                                 QStringLiteral("source_name=") + sourceName,
                                 QStringLiteral("master=") + sinkName + QStringLiteral(".monitor"),
                                 QStringLiteral("source_properties=") + props} +
                     spec);
        }
    }
    ~PulseAdapterDevices() {
        if (m_sourceModule >= 0) {
            Pactl({QStringLiteral("unload-module"), QString::number(m_sourceModule)});
        }
        if (m_sinkModule >= 0) {
            Pactl({QStringLiteral("unload-module"), QString::number(m_sinkModule)});
        }
    }
    PulseAdapterDevices(const PulseAdapterDevices&) = delete;
    PulseAdapterDevices& operator=(const PulseAdapterDevices&) = delete;

    bool Loaded() const { return m_sinkModule >= 0 && m_sourceModule >= 0; }

    // The devices as Qt lists them; null until Qt has seen them (it learns of new devices
    // asynchronously: wait with QTRY_VERIFY).
    QAudioDevice Output() const { return Find(QMediaDevices::audioOutputs(), sinkName); }
    QAudioDevice Input() const { return Find(QMediaDevices::audioInputs(), sourceName); }

    // Output and input both seen by Qt, waiting up to `ms` for Qt's device-list signals.
    bool WaitVisible(int ms = 5000) const {
        QMediaDevices devices;
        QEventLoop loop;
        QObject::connect(&devices, &QMediaDevices::audioInputsChanged, &loop, &QEventLoop::quit);
        QObject::connect(&devices, &QMediaDevices::audioOutputsChanged, &loop, &QEventLoop::quit);
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(ms);
        while ((Output().isNull() || Input().isNull()) && timeout.isActive()) {
            loop.exec();
        }
        return !Output().isNull() && !Input().isNull();
    }

    static QString Pactl(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("pactl"), args);
        if (!p.waitForFinished(10000) || p.exitCode() != 0) {
            return QString();
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    QString sinkName;
    QString sourceName;

private:
    static int Load(QStringList args) {
        args.prepend(QStringLiteral("load-module"));
        bool ok = false;
        const int id = Pactl(args).toInt(&ok);
        return ok ? id : -1;
    }
    static QAudioDevice Find(const QList<QAudioDevice>& list, const QString& name) {
        for (const QAudioDevice& d : list) {
            if (d.id() == name.toUtf8()) {
                return d;
            }
        }
        return QAudioDevice();
    }

    int m_sinkModule = -1;
    int m_sourceModule = -1;
};

}  // namespace orv::test
