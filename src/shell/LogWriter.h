#pragma once

#include <QMutex>
#include <QString>

namespace orv {

// The process-wide log: one file per day, "log/%Y%m%d.txt" in the home folder, chosen when the
// writer is created (a run past midnight keeps its first file). Each line is
//   "Thu Dec 10 05:12:06 2026  [INFO]: message"
// written with one append and flushed at once; lines from different threads never interleave.
class CLogWriter final {
public:
    // The writer, created on the first call and never destroyed.
    static CLogWriter* Instance();

    // Writes the time, two blanks, `text` and a line end. A log that could not be opened
    // drops the line silently.
    void WriteLine(const QString& text);

    QString path() const { return m_path; }
    int level() const { return m_level; }

    // The ctime-style local time the lines begin with, 24 characters, English names whatever
    // the locale ("Thu Dec  3 09:05:01 2026").
    static QString TimeText(long long secondsSinceEpoch);

    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

private:
    CLogWriter();

    QString m_path;
    int m_fd = -1;     // opened with O_APPEND so one write() is one line, also across processes
    int m_level = 4;   // information lines need above 1, trace lines above 3
    int m_target = 3;  // the file
    QMutex m_lock;     // serialises WriteLine
};

void LogInfo(const QString& message, CLogWriter* writer = CLogWriter::Instance());
void LogTrace(const QString& message, CLogWriter* writer = CLogWriter::Instance());

// The banners framing a run; 82 and 80 characters long.
inline constexpr const char* kStartOfProgram =
    "<=============================== START OF PROGRAM ===============================>";
inline constexpr const char* kEndOfProgram =
    "<=============================== END OF PROGRAM ===============================>";

}  // namespace orv
