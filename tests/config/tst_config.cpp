// The settings store: profile-file reading and writing rules, the number conversions, the key
// table's defaults and the files a station may meet in the field (garbage, huge lines,
// duplicates, read-only).
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "config/AppHome.h"
#include "config/Config.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "shell/LogWriter.h"

using namespace orv;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

}  // namespace

class TestConfig final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_ini;
    int m_case = 0;

    // A fresh file path per case, so cases never see each other's writes.
    QString freshIni(const QByteArray& content) {
        m_ini = m_home.filePath(QStringLiteral("case%1.ini").arg(++m_case));
        WriteAll(m_ini, content);
        return m_ini;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());  // the log of failed writes goes here
    }

    void read_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain") << QByteArray("[A]\nk=v\n") << "A"
                               << "k"
                               << "v";
        QTest::newRow("names ignore case")
            << QByteArray("[General Info]\nTopMost=0\n") << "general INFO"
            << "topmost"
            << "0";
        QTest::newRow("missing key") << QByteArray("[A]\nk=v\n") << "A"
                                     << "x"
                                     << "DEF";
        QTest::newRow("missing section") << QByteArray("[A]\nk=v\n") << "B"
                                         << "k"
                                         << "DEF";
        QTest::newRow("key of another section") << QByteArray("[A]\nk=1\n[B]\nz=2\n") << "B"
                                                << "k"
                                                << "DEF";
        QTest::newRow("stored -1 is the default") << QByteArray("[A]\nk=-1\n") << "A"
                                                  << "k"
                                                  << "DEF";
        QTest::newRow("blanks around") << QByteArray("[ A ]\n  k  =  v w  \n") << "A"
                                       << "k"
                                       << "v w";
        QTest::newRow("one pair of quotes removed") << QByteArray("[A]\nk=\"x y\"\n") << "A"
                                                    << "k"
                                                    << "x y";
        QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << "A"
                                     << "k"
                                     << "";
        QTest::newRow("first '=' splits") << QByteArray("[A]\nk=a=b\n") << "A"
                                          << "k"
                                          << "a=b";
        QTest::newRow("duplicate key: first wins") << QByteArray("[A]\nk=1\nk=2\n") << "A"
                                                   << "k"
                                                   << "1";
        QTest::newRow("duplicate section: first wins")
            << QByteArray("[A]\nk=1\n[a]\nk=2\nj=3\n") << "A"
            << "k"
            << "1";
        QTest::newRow("CR LF line ends") << QByteArray("[A]\r\nk=v\r\n") << "A"
                                         << "k"
                                         << "v";
        QTest::newRow("last line without line end") << QByteArray("[A]\nk=5") << "A"
                                                    << "k"
                                                    << "5";
        QTest::newRow("no line ends at all") << QByteArray("[A] k=5") << "A"
                                             << "k"
                                             << "DEF";
        QTest::newRow("lines without '=' ignored") << QByteArray("[A]\njunk\nk=v\n") << "A"
                                                   << "k"
                                                   << "v";
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[A]\nk=v\n") << "A"
                                         << "k"
                                         << "v";
        QTest::newRow("Chinese text")
            << QByteArray("[Lang]\nk=\xE4\xB8\xAD\xE6\x96\x87\n") << "lang"
            << "K" << QString::fromUtf8("中文");
        QTest::newRow("value cut to 259")
            << QByteArray("[A]\nk=" + QByteArray(300, 'x') + "\n") << "A"
            << "k" << QString(259, QLatin1Char('x'));
        QTest::newRow("NUL bytes inside a value") << QByteArray("[A]\nk=a\0b\n", 10) << "A"
                                                  << "k" << QString::fromLatin1("a\0b", 3);
    }

    void read() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString ini = freshIni(content);
        QCOMPARE(ReadConfigText(ini, section, key, QStringLiteral("DEF")), expected);
    }

    void missingFileReadsDefaults() {
        const QString none = m_home.filePath(QStringLiteral("absent.ini"));
        QCOMPARE(ReadConfigInt(none, "A", "k", 42), 42);
        QCOMPARE(ReadConfigReal(none, "A", "k", 2.5), 2.5);
        QCOMPARE(ReadConfigText(none, "A", "k", "d"), QStringLiteral("d"));
    }

    void intConversion_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("digits") << QByteArray("12") << 12;
        QTest::newRow("blank, digits, letters") << QByteArray(" 12abc") << 12;
        QTest::newRow("no leading digits") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("negative") << QByteArray("-80") << -80;
        QTest::newRow("plus sign") << QByteArray("+7") << 7;
        QTest::newRow("hex is not read") << QByteArray("0x10") << 0;
        QTest::newRow("real text") << QByteArray("3.9") << 3;
        QTest::newRow("-1 gives the default") << QByteArray("-1") << 99;
        QTest::newRow("-10 is a value") << QByteArray("-10") << -10;
        QTest::newRow("too large saturates") << QByteArray("99999999999") << INT_MAX;
        QTest::newRow("too small saturates") << QByteArray("-99999999999") << INT_MIN;
    }

    void intConversion() {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        const QString ini = freshIni("[A]\nk=" + stored + "\n");
        QCOMPARE(ReadConfigInt(ini, "A", "k", 99), expected);
    }

    void realConversion_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("ten decimals") << QByteArray("0.5000000000") << 0.5;
        QTest::newRow("no digits") << QByteArray("abc") << 0.0;
        QTest::newRow("exponent") << QByteArray("1e3") << 1000.0;
        QTest::newRow("trailing letters") << QByteArray("2.5s") << 2.5;
        QTest::newRow("negative") << QByteArray("-20.0") << -20.0;
        QTest::newRow("comma stops") << QByteArray("1,5") << 1.0;
        QTest::newRow("-1 gives the default") << QByteArray("-1") << 7.25;
    }

    void realConversion() {
        QFETCH(QByteArray, stored);
        QFETCH(double, expected);
        const QString ini = freshIni("[A]\nk=" + stored + "\n");
        QCOMPARE(ReadConfigReal(ini, "A", "k", 7.25), expected);
    }

    void valueForms_data() {
        QTest::addColumn<int>("kind");  // 0 int, 1 real
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("int") << 0 << -128.0 << QByteArray("-128");
        QTest::newRow("real 0.5") << 1 << 0.5 << QByteArray("0.5000000000");
        QTest::newRow("real 8") << 1 << 8.0 << QByteArray("8.0000000000");
        QTest::newRow("real -20") << 1 << -20.0 << QByteArray("-20.0000000000");
    }

    void valueForms() {
        QFETCH(int, kind);
        QFETCH(double, value);
        QFETCH(QByteArray, stored);
        const QString ini = freshIni(QByteArray());
        const bool ok = kind == 0 ? WriteConfigInt(ini, "A", "k", int(value))
                                  : WriteConfigReal(ini, "A", "k", value);
        QVERIFY(ok);
        QCOMPARE(ReadAll(ini), "[A]\r\nk=" + stored + "\r\n");
        QCOMPARE(ReadConfigReal(ini, "A", "k", 99.0), value);
    }

    void writeKeepsEverythingElse_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        const QByteArray base =
            "; station settings\r\n"
            "[General Info]\r\n"
            "TopMost=1\r\n"
            "; a comment\r\n"
            "ViewMode = 0\r\n"
            "\r\n"
            "[Play]\r\n"
            "Loop=1\r\n";
        QTest::newRow("existing key, other case")
            << base << "general info"
            << "VIEWMODE"
            << "1"
            << QByteArray(
                   "; station settings\r\n[General Info]\r\nTopMost=1\r\n; a comment\r\n"
                   "VIEWMODE=1\r\n\r\n[Play]\r\nLoop=1\r\n");
        QTest::newRow("new key goes after the section's last line")
            << base << "General Info"
            << "SimpleWidth"
            << "300"
            << QByteArray(
                   "; station settings\r\n[General Info]\r\nTopMost=1\r\n; a comment\r\n"
                   "ViewMode = 0\r\nSimpleWidth=300\r\n\r\n[Play]\r\nLoop=1\r\n");
        QTest::newRow("new section at the end") << base << "Lang"
                                                << "Lang"
                                                << "1" << base + "[Lang]\r\nLang=1\r\n";
        QTest::newRow("last line without line end") << QByteArray("[A]\nk=1") << "A"
                                                    << "j"
                                                    << "2" << QByteArray("[A]\nk=1\nj=2\n");
        QTest::newRow("LF file stays LF") << QByteArray("[A]\nk=1\n") << "B"
                                          << "x"
                                          << "y" << QByteArray("[A]\nk=1\n[B]\nx=y\n");
        QTest::newRow("duplicate key: the first is written")
            << QByteArray("[A]\nk=1\nk=2\n") << "A"
            << "k"
            << "3" << QByteArray("[A]\nk=3\nk=2\n");
        QTest::newRow("byte-order mark kept") << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << "A"
                                              << "k"
                                              << "2" << QByteArray("\xEF\xBB\xBF[A]\nk=2\n");
        QTest::newRow("line ends in a value become blanks")
            << QByteArray("[A]\n") << "A"
            << "k"
            << "a\r\n[B]\nx=1" << QByteArray("[A]\nk=a  [B] x=1\n");
        QTest::newRow("Chinese value")
            << QByteArray() << "SimpleFont"
            << "FaceName" << QString::fromUtf8("微软雅黑")
            << QByteArray(
                   "[SimpleFont]\r\nFaceName=\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB"
                   "\x91\r\n");
    }

    void writeKeepsEverythingElse() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString ini = freshIni(before);
        QVERIFY(WriteConfigText(ini, section, key, value));
        QCOMPARE(ReadAll(ini), after);
    }

    // Random bytes (with NULs, lone CRs, stray brackets) must neither crash nor lose a byte: a
    // write appends its section and the garbage stays as it was.
    void binaryGarbage() {
        QRandomGenerator rng(318);
        for (int round = 0; round < 20; ++round) {
            QByteArray garbage(4096 + round * 17, '\0');
            for (char& c : garbage) {
                c = static_cast<char>(rng.bounded(256));
            }
            garbage.replace("[Z]", "[Y]");
            garbage.append('\n');
            const QString ini = freshIni(garbage);
            QCOMPARE(ReadConfigInt(ini, "Z", "k", 6), 6);
            QVERIFY(WriteConfigInt(ini, "Z", "k", 12));
            QCOMPARE(ReadConfigInt(ini, "Z", "k", 6), 12);
            QVERIFY(ReadAll(ini).startsWith(garbage));
        }
    }

    void tenMegabyteLine() {
        const QByteArray huge(10 * 1024 * 1024, 'x');
        const QString ini = freshIni("[A]\nbig=" + huge + "\n[B]\nk=7\n");
        QCOMPARE(ReadConfigInt(ini, "B", "k", 0), 7);
        QCOMPARE(ReadConfigText(ini, "A", "big", "").size(), 259);
        QVERIFY(WriteConfigInt(ini, "B", "k", 8));
        QCOMPARE(ReadConfigInt(ini, "B", "k", 0), 8);
        QCOMPARE(ReadAll(ini).size(), huge.size() + 17);  // nothing lost, nothing doubled
        // A huge line without any line end.
        const QString flat = freshIni(huge);
        QCOMPARE(ReadConfigInt(flat, "A", "k", 3), 3);
        QVERIFY(WriteConfigInt(flat, "A", "k", 4));
        QCOMPARE(ReadConfigInt(flat, "A", "k", 3), 4);
    }

    // A read-only file (even for the super-user) and a missing folder: the write fails, says
    // so in the log, and the file keeps its old content.
    void failedWritesAreLogged() {
        const QString ini = freshIni("[A]\nk=1\n");
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup));
        QVERIFY(!WriteConfigInt(ini, "A", "k", 2));
        QCOMPARE(ReadConfigInt(ini, "A", "k", 0), 1);
        QCOMPARE(ReadAll(ini), QByteArray("[A]\nk=1\n"));

        const QString nowhere = m_home.filePath(QStringLiteral("no/such/folder/config.ini"));
        QVERIFY(!WriteConfigInt(nowhere, "A", "k", 2));
        QCOMPARE(ReadConfigInt(nowhere, "A", "k", 5), 5);

        const QByteArray log = ReadAll(CLogWriter::Instance()->path());
        QVERIFY2(log.contains("[INFO]: config: " + QFile::encodeName(ini) + " is read-only"),
                 log.constData());
        QVERIFY(log.contains("config: cannot write [A] k to " + QFile::encodeName(nowhere)));
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner));
    }

    // The file is replaced by rename: a reader holding the old file still reads it whole, and
    // the permissions of the file survive.
    void writeReplacesAtomicallyAndKeepsMode() {
        const QString ini = freshIni("[A]\nk=1\n");
        QVERIFY(
            QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QFile held(ini);
        QVERIFY(held.open(QIODevice::ReadOnly));
        QVERIFY(WriteConfigInt(ini, "A", "k", 2));
        QCOMPARE(held.readAll(), QByteArray("[A]\nk=1\n"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(ini).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0640u);
        const QStringList leftovers =
            QDir(m_home.path()).entryList({QStringLiteral("case*.ini.*")}, QDir::Files);
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
    }

    // GetConfigPath creates the empty file once; everything then reads as the table's default.
    void freshInstallationRunsOnDefaults() {
        QTemporaryDir dir;
        SetAppHome(dir.path());
        ReleaseConfigPath();  // forget the path of an earlier case
        QFile::remove(dir.filePath(QStringLiteral("config.ini")));
        SetAppHome(dir.path());
        const QString path = GetConfigPath();
        QCOMPARE(path, dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);

        QCOMPARE(GetSearchPower(path), 6);
        QCOMPARE(GetSearchTimeOut(path), 10);
        QCOMPARE(GetTopMost(path), 1);
        QCOMPARE(GetSimpleWidth(path), 300);
        QCOMPARE(GetPairRssiValue(path), -80);
        QCOMPARE(GetA2DPVol(path), 100);
        QCOMPARE(GetHFPVol(path), 15);
        QCOMPARE(GetRssiUpper(path), 0);
        QCOMPARE(GetRssiLower(path), -128);
        QCOMPARE(GetSimpleFontPitchAndFamily(path), 34);
        QCOMPARE(GetPassWord(path), QStringLiteral("7315"));
        QCOMPARE(GetSimpleFontFaceName(path), QStringLiteral("Times New Roman"));
        QCOMPARE(GetPlayPlayTimes(path), 8.0);
        QCOMPARE(GetRecordCallDelay(path), 0.5);
        QCOMPARE(GetRecordCapLowerLimit(path), -20.0);
        for (int item = 3; item <= 8; ++item) {
            QCOMPARE(GetAutoTestItem(path, item), 1);
        }
        const SerialPortSettings port = GetSerialPort(path);
        QCOMPARE(port.port, 1);
        QCOMPARE(port.baudRate, 9600);
        QCOMPARE(port.userCom, 0);
        QCOMPARE(GetBattery(path).upper, 100);
        QCOMPARE(GetBattery(path).lower, 0);
        QCOMPARE(QFileInfo(path).size(), 0);  // reading wrote nothing
        ReleaseConfigPath();
        SetAppHome(m_home.path());
    }

    void accessors() {
        const QString ini = freshIni(
            "[RSSI]\nUpper=-1\n[Search Setup]\nSearchPower=-1\n"
            "[AutoTest]\n5=0\n");
        QCOMPARE(GetRssiUpper(ini), 0);
        QCOMPARE(GetSearchPower(ini), 6);
        QCOMPARE(GetAutoTestItem(ini, 5), 0);
        QCOMPARE(GetAutoTestItem(ini, 6), 1);

        // Same key name in two sections: the accessors keep them apart.
        QVERIFY(SetRssiUpper(ini, 10));
        QVERIFY(SetBattery(ini, 90, 20));
        QVERIFY(SetPlayPlayTimes(ini, 3.0));
        QVERIFY(SetPlayRecordPlayTimes(ini, 4.0));
        QCOMPARE(GetRssiUpper(ini), 10);
        QCOMPARE(GetBatteryUpper(ini), 90);
        QCOMPARE(GetBatteryLower(ini), 20);
        QCOMPARE(GetPlayPlayTimes(ini), 3.0);
        QCOMPARE(GetPlayRecordPlayTimes(ini), 4.0);

        QVERIFY(SetSerialPort(ini, 3, 115200, 1));
        const QByteArray text = ReadAll(ini);
        const qsizetype port = text.indexOf("Port=3");
        const qsizetype baud = text.indexOf("BaudRate=115200");
        const qsizetype user = text.indexOf("UserCom=1");
        QVERIFY(port >= 0 && port < baud && baud < user);
        QVERIFY(text.indexOf("Upper=90") < text.indexOf("Lower=20"));
    }

    void serialPortDevice_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("device");
        QTest::newRow("default COM1") << QByteArray() << "/dev/ttyS0";
        QTest::newRow("COM3") << QByteArray("[SerialPort]\nPort=3\n") << "/dev/ttyS2";
        QTest::newRow("PortName wins")
            << QByteArray("[SerialPort]\nPort=3\nPortName=/dev/pts/7\n") << "/dev/pts/7";
        QTest::newRow("blank PortName ignored")
            << QByteArray("[SerialPort]\nPort=2\nPortName=  \n") << "/dev/ttyS1";
    }

    void serialPortDevice() {
        QFETCH(QByteArray, content);
        QFETCH(QString, device);
        QCOMPARE(GetSerialPortDevice(freshIni(content)), device);
    }

    void playFileName() {
        const QString fallback = m_home.filePath(QStringLiteral("wav/20-20k.wav"));
        const QString real = m_home.filePath(QStringLiteral("tone.wav"));
        WriteAll(real, "RIFF");
        QCOMPARE(GetPlayFileName(freshIni(QByteArray())), fallback);
        QCOMPARE(GetPlayFileName(freshIni("[Play]\nPlayFileName=/no/such.wav\n")), fallback);
        const QString ini = freshIni(QByteArray());
        QVERIFY(SetPlayFileName(ini, real));
        QCOMPARE(GetPlayFileName(ini), real);
        QVERIFY(!ReadAll(freshIni(QByteArray())).contains("20-20k"));  // never written back
    }

    void pinNormalisation_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("stored");
        QTest::newRow("four digits") << "1234"
                                     << "1234";
        QTest::newRow("digits, point, minus") << "1.-0"
                                              << "1.-0";
        QTest::newRow("three digits") << "123"
                                      << "7315";
        QTest::newRow("a letter") << "12a4"
                                  << "7315";
        QTest::newRow("five digits") << "12345"
                                     << "7315";
        QTest::newRow("empty") << ""
                               << "7315";
        QTest::newRow("full-width digit") << QString::fromUtf8("123１") << "7315";
    }

    void pinNormalisation() {
        QFETCH(QString, entry);
        QFETCH(QString, stored);
        QCOMPARE(NormalisePin(entry), stored);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
