#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

#include "config/AppHome.h"

// What every fuzz target shares: a private home folder (config.ini, log/) that lives as long as
// the process, a scratch file for the readers that take a path, and silence for Qt's warnings,
// which would otherwise cost more than the code under test.
namespace orv::fuzz {

inline QTemporaryDir& Home() {
    static QTemporaryDir* dir = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        auto* d = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/orv-fuzz-XXXXXX"));
        if (!d->isValid())
            qFatal("cannot create a temporary folder for the fuzz target");
        SetAppHome(d->path());
        return d;
    }();
    return *dir;
}

// Writes the input to `name` inside the home folder and returns its path.
inline QString WriteScratch(const QString& name, const std::uint8_t* data, std::size_t size) {
    const QString path = Home().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the scratch file");
    if (size > 0 && file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        qFatal("cannot write the scratch file");
    file.close();
    return path;
}

}  // namespace orv::fuzz
