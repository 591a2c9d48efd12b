#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <unistd.h>

// A sound server of the bench's own (scripts/pulse-server in a folder of its own), so that the
// simulated adapter's devices never meet those of another run on a shared server. Started only
// when PULSE_SERVER is not set; stopped when the object goes.
namespace orv::soak {

class CPrivatePulse final {
public:
    // `sourceDir`: the repository, for scripts/pulse-server. Sets PULSE_SERVER on success.
    explicit CPrivatePulse(const QString& sourceDir)
        : m_script(sourceDir + "/scripts/pulse-server") {
        if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            m_ok = true;
            return;
        }
        m_dir = QStringLiteral("/tmp/orv-bench-pulse-%1").arg(::getpid());
        const QString server = Run({});
        if (server.isEmpty()) {
            m_dir.clear();
            return;
        }
        qputenv("PULSE_SERVER", server.toLocal8Bit());
        m_ok = true;
    }
    ~CPrivatePulse() {
        if (!m_dir.isEmpty()) {
            Run({QStringLiteral("--stop")});
            qunsetenv("PULSE_SERVER");
        }
    }
    CPrivatePulse(const CPrivatePulse&) = delete;
    CPrivatePulse& operator=(const CPrivatePulse&) = delete;

    bool Ok() const { return m_ok; }

private:
    QString Run(const QStringList& args) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORV_PULSE_DIR"), m_dir);
        p.setProcessEnvironment(env);
        p.start(m_script, args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    QString m_script;
    QString m_dir;
    bool m_ok = false;
};

}  // namespace orv::soak
