#include "config/Config.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <locale.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "config/AppHome.h"
#include "config/IniFile.h"

namespace orv {
namespace {
// Guards g_configPath: made at start-up, read by every thread afterwards.
QMutex g_pathLock;
QString g_configPath;
const QString kUnset = QStringLiteral("-1");
}  // namespace

QString GetConfigPath() {
    QMutexLocker lock(&g_pathLock);
    if (g_configPath.isEmpty()) {
        g_configPath = AppHomePath(QStringLiteral("config.ini"));
        if (!QFile::exists(g_configPath)) {
            QFile f(g_configPath);
            (void)f.open(QIODevice::WriteOnly);  // a read-only folder leaves the defaults in force
        }
    }
    return g_configPath;
}

void ReleaseConfigPath() {
    (void)GetConfigPath();
    QMutexLocker lock(&g_pathLock);
    g_configPath.clear();
}

int ParseCInt(const QString& text) {
    const QByteArray b = text.toUtf8();
    errno = 0;
    const long long v = std::strtoll(b.constData(), nullptr, 10);
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

double ParseCReal(const QString& text) {
    // strtod follows LC_NUMERIC, which the GUI sets from the environment; the file always holds a
    // decimal point, so convert in the C locale whatever the user's locale is.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const QByteArray b = text.toUtf8();
    return strtod_l(b.constData(), nullptr, cLocale);
}

int ReadConfigInt(const QString& path, const QString& section, const QString& key, int def) {
    const QString t = ini::ReadString(path, section, key, kUnset);
    return t == kUnset ? def : ParseCInt(t);
}

double ReadConfigReal(const QString& path, const QString& section, const QString& key,
                      double def) {
    const QString t = ini::ReadString(path, section, key, kUnset);
    return t == kUnset ? def : ParseCReal(t);
}

QString ReadConfigText(const QString& path, const QString& section, const QString& key,
                       const QString& def) {
    const QString t = ini::ReadString(path, section, key, kUnset);
    return t == kUnset ? def : t;
}

bool WriteConfigInt(const QString& path, const QString& section, const QString& key, int value) {
    return ini::WriteString(path, section, key, QString::asprintf("%d", value));
}

bool WriteConfigReal(const QString& path, const QString& section, const QString& key,
                     double value) {
    return ini::WriteString(path, section, key, QString::asprintf("%.10f", value));
}

bool WriteConfigText(const QString& path, const QString& section, const QString& key,
                     const QString& value) {
    return ini::WriteString(path, section, key, value);
}

}  // namespace orv
