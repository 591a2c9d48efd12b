// Prints how long saving a finished test takes on SQLite, journal first (one fsync'd append, one
// transaction, one atomic journal rewrite), and how fast a journal of waiting rows drains.
//   bench_result_save [rows]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "results/ResultSaver.h"

using namespace orv;

namespace {

ResultTexts Texts() {
    return ResultTexts::FromStringTable([](int id) {
        return id == 214 ? QStringLiteral("TEST_EN") : QStringLiteral("Column %1").arg(id);
    });
}

ResultRow Row(const ResultTexts& texts, int n) {
    HeadsetValues h;
    h.mac = QStringLiteral("00:07:80:00:00:%1").arg(n % 100, 2, 10, QLatin1Char('0'));
    h.name = QStringLiteral("Headset %1").arg(n);
    h.battery = 80;
    h.rssi = -45;
    return BuildResultRow(texts, ItemSwitches{}, h, n % 5 != 0, n % 5 == 0 ? 6 : 0, -11.2,
                          QDateTime::currentDateTime());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    const ResultTexts texts = Texts();
    QTemporaryDir dir;

    // Saving one row at a time, as the station does after each headset.
    {
        const QString db = dir.filePath(QStringLiteral("direct.db"));
        CResultSaver saver(dir.filePath(QStringLiteral("direct.jsonl")));
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rows; ++i) {
            if (saver.Save(db, Row(texts, i)).Failed()) {
                std::fprintf(stderr, "save %d failed\n", i);
                return 1;
            }
        }
        const double ms = double(t.nsecsElapsed()) / 1e6;
        std::printf("SQLite save, journal first: %d rows in %.1f ms, %.2f ms per row\n", rows, ms,
                    ms / rows);
    }

    // A day's rows waiting in the journal, written at the next save that succeeds.
    {
        const QString folder = dir.filePath(QStringLiteral("later"));
        const QString db = folder + QStringLiteral("/results.db");
        CResultSaver saver(dir.filePath(QStringLiteral("waiting.jsonl")));
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rows; ++i) {
            saver.Save(db, Row(texts, i));  // the folder is missing: journalled
        }
        const double journalMs = double(t.nsecsElapsed()) / 1e6;
        QDir().mkpath(folder);
        t.restart();
        const SaveReport r = saver.Drain(db);
        const double drainMs = double(t.nsecsElapsed()) / 1e6;
        if (r.written != rows) {
            std::fprintf(stderr, "drained %d of %d\n", r.written, rows);
            return 1;
        }
        std::printf("journalling while the database is away: %.2f ms per row\n", journalMs / rows);
        std::printf("draining %d journalled rows: %.1f ms, %.2f ms per row\n", rows, drainMs,
                    drainMs / rows);
    }
    return 0;
}
