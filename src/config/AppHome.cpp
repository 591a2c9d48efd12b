#include "config/AppHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace orv {
namespace {
// Guards g_home: written once at start-up, but tests may set it again between cases.
QMutex g_homeLock;
QString g_home;

QString ExecutableFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    // Before the application object exists (or in tools without one).
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return exe.canonicalFilePath().isEmpty() ? QDir::currentPath() : exe.canonicalPath();
}
}  // namespace

void SetAppHome(const QString& dir) {
    QMutexLocker lock(&g_homeLock);
    g_home = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
}

QString AppHome() {
    QMutexLocker lock(&g_homeLock);
    if (g_home.isEmpty()) {
        g_home = ExecutableFolder();
    }
    return g_home;
}

QString AppHomePath(const QString& relative) {
    return AppHome() + QLatin1Char('/') + relative;
}

}  // namespace orv
