#include "shell/LogWriter.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>

#include "config/AppHome.h"

namespace orv {

CLogWriter* CLogWriter::Instance() {
    static CLogWriter* const writer = new CLogWriter();  // never destroyed: logs until the end
    return writer;
}

CLogWriter::CLogWriter() {
    const QString folder = AppHomePath(QStringLiteral("log"));
    QDir().mkpath(folder);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[128];
    std::strftime(name, sizeof name, "%Y%m%d.txt", &local);
    m_path = folder + QLatin1Char('/') + QString::fromLatin1(name);
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                  0644);
}

QString CLogWriter::TimeText(long long secondsSinceEpoch) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    localtime_r(&t, &local);
    return QString::asprintf("%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday % 7],
                             kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec, local.tm_year + 1900);
}

void CLogWriter::WriteLine(const QString& text) {
    QMutexLocker lock(&m_lock);
    if (m_fd < 0) {
        return;
    }
    QByteArray line = TimeText(std::time(nullptr)).toUtf8();
    line.append("  ").append(text.toUtf8()).append('\n');
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // disk full or file gone: logging must never stop the station
        }
        p += n;
        left -= n;
    }
}

void LogInfo(const QString& message, CLogWriter* writer) {
    if (writer != nullptr && writer->level() > 1) {
        writer->WriteLine(QStringLiteral("[INFO]: ") + message);
    }
}

void LogTrace(const QString& message, CLogWriter* writer) {
    if (writer != nullptr && writer->level() > 3) {
        writer->WriteLine(QStringLiteral("[TRACE]: ") + message);
    }
}

}  // namespace orv
