#pragma once

#include "sim/SimulatedBus.h"

#include <QDeadlineTimer>

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>

#include <memory>

// Drives the simulated adapter as the station would: writes command reports and collects the
// module's output, report by report.
class SimHarness {
public:
    // Writes `scenario` to a file and starts a bus on it, then opens the adapter.
    bool Start(const QString& scenario, QString* error = nullptr) {
        if (!m_dir.isValid())
            return false;
        m_path = m_dir.filePath(QStringLiteral("scenario.ini"));
        QFile f(m_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(scenario.toUtf8());
        f.close();
        QString why;
        bus = orv::sim::CSimulatedBus::Create(m_path, &why);
        if (!bus) {
            if (error)
                *error = why;
            return false;
        }
        return Open();
    }

    bool Open() {
        device.reset();
        device = bus->Open(orv::kAdapterVendorId, bus->scenario().adapter.productId);
        return device != nullptr;
    }

    QString dir() const { return m_dir.path(); }

    // One command line as one report ("\r\n" appended), as the station frames it.
    bool Send(const QString& command) {
        orv::Report r{};
        const QByteArray b = (command + QStringLiteral("\r\n")).toLatin1().left(64);
        std::copy(b.begin(), b.end(), r.begin() + 1);
        return device && device->WriteReport(r, 1000);
    }

    // Reads reports until the text received since the last Clear() holds `needle` as a whole
    // line (or, with `raw`, anywhere). Gives false after `timeoutMs`.
    bool WaitLine(const QString& needle, int timeoutMs = 3000, bool raw = false) {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (raw ? text.contains(needle.toUtf8()) : Lines().contains(needle))
                return true;
            if (deadline.hasExpired())
                return false;
            ReadOne(static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, 200)));
            if (lastRead < 0)
                return false;  // the device is gone
        }
    }

    bool ReadOne(int timeoutMs) {
        if (!device)
            return false;
        orv::Report r{};
        const int n = device->ReadReport(r, timeoutMs);
        if (n <= 0) {
            lastRead = n;
            return false;
        }
        lastRead = n;
        QByteArray payload(reinterpret_cast<const char*>(r.data() + 1), orv::kReportSize - 1);
        reports.append(payload);
        const int z = payload.indexOf('\0');
        text.append(z < 0 ? payload : payload.left(z));
        return true;
    }

    // Complete lines received so far ("\r\n" ends a line).
    QStringList Lines() const {
        QStringList out;
        const QList<QByteArray> parts = text.split('\n');
        for (int i = 0; i + 1 < parts.size(); ++i) {
            QByteArray l = parts[i];
            if (l.endsWith('\r'))
                l.chop(1);
            out << QString::fromUtf8(l);
        }
        return out;
    }

    void Clear() {
        text.clear();
        reports.clear();
    }

    QString Control(const QString& c) { return bus->Control(c); }

    std::unique_ptr<orv::sim::CSimulatedBus> bus;
    std::unique_ptr<orv::IReportDevice> device;
    QByteArray text;
    QList<QByteArray> reports;
    int lastRead = 0;

private:
    QTemporaryDir m_dir;
    QString m_path;
};
