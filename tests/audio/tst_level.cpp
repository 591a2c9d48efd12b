// The recorder's level formula, meter position and texts, on known blocks.

#include <QtTest>

#include <cmath>
#include <limits>

#include "audio/AudioTexts.h"
#include "audio/Level.h"
#include "audio/ToneWav.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

QByteArray Samples(std::initializer_list<int> values) {
    QByteArray b;
    for (const int v : values) {
        char s[2];
        qToLittleEndian(qint16(v), s);
        b.append(s, 2);
    }
    return b;
}

// One 24000-byte block: 6000 stereo frames.
QByteArray SquareBlock() {
    QByteArray b;
    for (int i = 0; i < 6000; ++i) {
        const int v = (i % 2) ? -32768 : 32767;
        b += Samples({v, v});
    }
    return b;
}

double LevelOf(const QByteArray& b) {
    return orv::BlockLevel(reinterpret_cast<const unsigned char*>(b.constData()),
                           size_t(b.size()));
}

}  // namespace

class TestLevel final : public QObject {
    Q_OBJECT
private slots:
    void blockLevel_data();
    void blockLevel();
    void meterAndText_data();
    void meterAndText();
    void playTimeText_data();
    void playTimeText();
    void elapsedText();
};

void TestLevel::blockLevel_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("tolerance");

    QTest::newRow("silence") << QByteArray(24000, '\0') << -kInf << 0.0;
    QTest::newRow("constant (DC only)") << Samples({1000, 1000, 1000, 1000}) << -kInf << 0.0;
    QTest::newRow("full-scale square") << SquareBlock() << 0.0 << 0.001;
    QTest::newRow("sine at -12.5 dBFS")
        << orv::test::SineFrames(1000.0, -12.5, 6000) << -12.5 << 0.01;
    QTest::newRow("sine at -40 dBFS")
        << orv::test::SineFrames(440.0, -40.0, 6000) << -40.0 << 0.05;
    QTest::newRow("offset sine: the mean is removed")
        << orv::test::SineFrames(1000.0, -12.5, 6000, 0.25) << -12.5 << 0.01;
    // The weighting: every adjacent pair adds both deviations, so an end sample counts once
    // and an inner one twice. With x = (0.5, 0, 0, 0): m = 0.125, S = 0.21875,
    // sigma = sqrt(0.21875 / 6); a plain standard deviation would give -13.29 dB.
    QTest::newRow("pulse at the end")
        << Samples({16384, 0, 0, 0}) << 20 * std::log10(std::sqrt(0.21875 / 6)) << 1e-9;
    // The same pulse inside counts twice: S = 2 * 0.140625 + 0.015625 * 4 = 0.34375.
    QTest::newRow("pulse inside") << Samples({0, 16384, 0, 0})
                                  << 20 * std::log10(std::sqrt(0.34375 / 6)) << 1e-9;
    QTest::newRow("odd trailing byte ignored") << Samples({16384, 0, 0, 0}).append('\x7f')
                                               << 20 * std::log10(std::sqrt(0.21875 / 6)) << 1e-9;
    QTest::newRow("one sample") << Samples({16384}) << -kInf << 0.0;
    QTest::newRow("empty") << QByteArray() << -kInf << 0.0;
}

void TestLevel::blockLevel() {
    QFETCH(QByteArray, block);
    QFETCH(double, level);
    QFETCH(double, tolerance);
    const double got = LevelOf(block);
    if (std::isinf(level)) {
        QCOMPARE(got, level);
    } else {
        QVERIFY2(std::abs(got - level) <= tolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(got).arg(level)));
    }
}

void TestLevel::meterAndText_data() {
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("meter");
    QTest::addColumn<QString>("text");
    QTest::newRow("-12.5") << -12.5 << 77 << "-12.50 dBFS";
    QTest::newRow("0") << 0.0 << 90 << "0.00 dBFS";
    QTest::newRow("-0.4 truncates toward zero") << -0.4 << 89 << "-0.40 dBFS";
    QTest::newRow("-89.9") << -89.9 << 0 << "-89.90 dBFS";
    QTest::newRow("-90") << -90.0 << 0 << "-90.00 dBFS";
    QTest::newRow("-120 clamps") << -120.0 << 0 << "-120.00 dBFS";
    QTest::newRow("silence") << -kInf << 0 << "-inf dBFS";
    QTest::newRow("+15 clamps") << 15.0 << 100 << "15.00 dBFS";
}

void TestLevel::meterAndText() {
    QFETCH(double, level);
    QFETCH(int, meter);
    QFETCH(QString, text);
    QCOMPARE(orv::LevelMeterPosition(level), meter);
    QCOMPARE(orv::LevelText(level), text);
}

void TestLevel::playTimeText_data() {
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("duration");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << qint64(0) << qint64(20000) << "00:00|00:20";
    QTest::newRow("5 s of 20") << qint64(5999) << qint64(20000) << "00:05|00:20";
    QTest::newRow("minutes") << qint64(65000) << qint64(600999) << "01:05|10:00";
    QTest::newRow("empty file") << qint64(0) << qint64(0) << "00:00|00:00";
}

void TestLevel::playTimeText() {
    QFETCH(qint64, position);
    QFETCH(qint64, duration);
    QFETCH(QString, text);
    QCOMPARE(orv::PlayTimeText(position, duration), text);
}

void TestLevel::elapsedText() {
    QCOMPARE(orv::ElapsedText(0), QString("00:00:00"));
    QCOMPARE(orv::ElapsedText(8), QString("00:00:08"));
    QCOMPARE(orv::ElapsedText(3661), QString("01:01:01"));
}

QTEST_GUILESS_MAIN(TestLevel)
#include "tst_level.moc"
