// Several threads write and read config.ini at once, as the GUI thread and the test and
// connection workers do: no write may be lost and no read may see half a file.
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

#include "config/AppHome.h"
#include "config/Config.h"

using namespace orv;

class TestConfigConcurrency final : public QObject {
    Q_OBJECT

private slots:
    void writersNeverLoseAndReadersNeverTear() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        SetAppHome(home.path());
        const QString ini = home.filePath(QStringLiteral("config.ini"));
        // A key every reader checks: always one of two long values, never missing.
        const QString a(200, QLatin1Char('a'));
        const QString b(200, QLatin1Char('b'));
        QVERIFY(WriteConfigText(ini, "Shared", "Value", a));

        constexpr int kWriters = 4;
        constexpr int kWrites = 60;
        std::atomic<bool> writing{true};
        std::atomic<int> tornReads{0};
        std::atomic<int> reads{0};

        std::vector<std::thread> readers;
        for (int r = 0; r < 2; ++r) {
            readers.emplace_back([&] {
                while (writing.load()) {
                    const QString v = ReadConfigText(ini, "shared", "value", QString());
                    if (v != a && v != b) {
                        tornReads.fetch_add(1);
                    }
                    reads.fetch_add(1);
                }
            });
        }
        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                const QString section = QStringLiteral("Writer %1").arg(w);
                for (int i = 0; i < kWrites; ++i) {
                    // Each writer adds a new key and rewrites the shared one.
                    WriteConfigInt(ini, section, QStringLiteral("Key%1").arg(i), i * 10 + w);
                    WriteConfigText(ini, "Shared", "Value", (i + w) % 2 == 0 ? a : b);
                }
            });
        }
        for (std::thread& t : writers) {
            t.join();
        }
        writing.store(false);
        for (std::thread& t : readers) {
            t.join();
        }

        QCOMPARE(tornReads.load(), 0);
        QVERIFY(reads.load() > 0);
        for (int w = 0; w < kWriters; ++w) {
            for (int i = 0; i < kWrites; ++i) {
                QCOMPARE(ReadConfigInt(ini, QStringLiteral("writer %1").arg(w),
                                       QStringLiteral("key%1").arg(i), -5),
                         i * 10 + w);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestConfigConcurrency)
#include "tst_config_concurrency.moc"
