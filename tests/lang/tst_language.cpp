// The language switch: English from the UiLangEn library when [Lang] "Lang" is 1 and the
// library is found, Chinese otherwise and without a word; both sets complete and keyed alike.
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "lang/Language.h"
#include "lang/UiTable.h"
#include "lang/UiTableZh.h"

using namespace orv;

namespace {
// The folder the build puts UiLangEn in (beside the program).
QString LibraryFolder() {
    return QStringLiteral(ORV_LANG_DIR);
}

struct Key {
    int kind, group, id;
    bool operator==(const Key&) const = default;
};

QList<Key> Keys(const OrvUiEntry* table, int count) {
    QList<Key> keys;
    for (int i = 0; i < count; ++i) {
        keys.append({table[i].kind, table[i].group, table[i].id});
    }
    return keys;
}
}  // namespace

class TestLanguage final : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { LoadLanguage(0, {}); }

    void selection_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("folder");  // "lib": the build's; "empty"; "broken"
        QTest::addColumn<bool>("english");
        QTest::newRow("Lang 1, library there") << 1 << "lib" << true;
        QTest::newRow("Lang 0, library there") << 0 << "lib" << false;
        QTest::newRow("Lang 2 means Chinese") << 2 << "lib" << false;
        QTest::newRow("Lang 1, no library") << 1 << "empty" << false;
        QTest::newRow("Lang 1, a file that is no library") << 1 << "broken" << false;
        QTest::newRow("Lang 1, a library without the table") << 1 << "foreign" << false;
    }

    void selection() {
        QFETCH(int, lang);
        QFETCH(QString, folder);
        QFETCH(bool, english);
        QTemporaryDir tmp;
        QString dir = tmp.path();
        if (folder == QLatin1String("lib")) {
            dir = LibraryFolder();
        } else if (folder == QLatin1String("broken")) {
            QFile f(tmp.filePath(QStringLiteral("libUiLangEn.so")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(
                "\x7F"
                "ELF this is not a library");
        } else if (folder == QLatin1String("foreign")) {
            // A real shared library under the name, but not ours.
            QVERIFY(QFile::copy(QStringLiteral(ORV_FOREIGN_LIB),
                                tmp.filePath(QStringLiteral("libUiLangEn.so"))));
        }
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));  // silent either way
        QCOMPARE(LoadLanguage(lang, {dir}), english);
        QCOMPARE(IsEnglishUi(), english);
        QCOMPARE(EnglishLibraryPath().isEmpty(), !english);
        QCOMPARE(UiString(153), english ? QStringLiteral("Bluetooth audio settings")
                                        : QString::fromUtf8("简易音频测试"));
        QCOMPARE(UiString(214), english ? QStringLiteral("TEST_EN") : QStringLiteral("TEST_CN"));
    }

    // The program's own search: beside the program (the tests run from the build's bin folder
    // too), then the loader's path.
    void defaultSearchFindsLibraryBesideProgram() {
        if (QDir(QCoreApplication::applicationDirPath()) != QDir(LibraryFolder())) {
            QSKIP("this test binary is not beside the library");
        }
        QVERIFY(LoadLanguage(1));
        QVERIFY(EnglishLibraryPath().startsWith(LibraryFolder()));
        QVERIFY(!LoadLanguage(0));
        QVERIFY(!IsEnglishUi());
    }

    void texts_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("chinese");
        QTest::addColumn<QString>("english");
        const auto s = [](const char* t) { return QString::fromUtf8(t); };
        QTest::newRow("149") << 0 << 0 << 149 << s("良品") << s("Pass");
        QTest::newRow("165 two lines") << 0 << 0 << 165 << s("蓝牙\n已连接") << s("BT\nConnected");
        QTest::newRow("175") << 0 << 0 << 175 << s("无效Mac地址，重新输入")
                             << s("Invalid mac address,input again");
        QTest::newRow("178 quotes")
            << 0 << 0 << 178 << s("音频播放文件不存在，请在蓝牙音频设置中检查设置的路径是否正确")
            << s("The audio playback file does not exist. Please check the setup path in "
                 "\"Bluetooth audio settings\"");
        QTest::newRow("215") << 0 << 0 << 215 << s("复位成功!") << s("Reset successed!");
        QTest::newRow("217") << 0 << 0 << 217 << s("声卡初始化失败")
                             << s("Sound card intialization failed");
        QTest::newRow("219") << 0 << 0 << 219 << s("电池电量") << s("Battery level");
        QTest::newRow("main title")
            << 1 << kMainDialog << 0 << s("ORV318PRO V1.0.38") << s("ORV318PRO V1.0.38");
        QTest::newRow("simple window title")
            << 1 << kSimpleTestDialog << 0 << s("ORV318 Pro") << s("ORV318 Pro");
        QTest::newRow("1011") << 1 << kMainDialog << 1011 << s("蓝牙\n未连接")
                              << s("Bluetooth\ndisconnected");
        QTest::newRow("1010 same in both")
            << 1 << kMainDialog << 1010 << s("ORV318 disconnected") << s("ORV318 disconnected");
        QTest::newRow("1055 shared caption") << 1 << kMainDialog << 1055 << s("时间") << s("Time");
        QTest::newRow("1043") << 1 << kMainDialog << 1043 << s("HFP/HSP 录音测试")
                              << s("HFP/HSP record");
        QTest::newRow("language note")
            << 1 << kLangPage << kLangPageNote << s("切换语言需要重新打开软件后才能生效")
            << s("Switching language needs to reopen the software");
        QTest::newRow("menu float")
            << 2 << kMainMenu << 32773 << s("悬浮窗口") << s("Fload window");
        QTest::newRow("menu close") << 2 << kMainMenu << 32775 << s("关闭") << s("Close");
        QTest::newRow("statistics menu item")
            << 2 << kStatisticsMenu << 32780 << s("清空") << s("清空");
        QTest::newRow("unknown string") << 0 << 0 << 220 << QString() << QString();
    }

    void texts() {
        QFETCH(int, kind);
        QFETCH(int, group);
        QFETCH(int, id);
        QFETCH(QString, chinese);
        QFETCH(QString, english);
        const auto text = [&] {
            return kind == 0   ? UiString(id)
                   : kind == 1 ? UiCaption(group, id)
                               : UiMenuText(group, id);
        };
        QVERIFY(!LoadLanguage(0, {LibraryFolder()}));
        QCOMPARE(text(), chinese);
        QVERIFY(LoadLanguage(1, {LibraryFolder()}));
        QCOMPARE(text(), english);
    }

    void listEntries() {
        QVERIFY(!LoadLanguage(0, {}));
        QCOMPARE(UiListEntries(kMainDialog, 1008), (QStringList{"ORV318Pro", "ORV318Pro B"}));
        QCOMPARE(UiListEntries(kSerialPortPage, 1020),
                 (QStringList{"300", "600", "1200", "2400", "4800", "9600", "19200", "38400",
                              "43000", "56000", "57600", "115200"}));
        QCOMPARE(UiListEntries(kLangPage, 1073),
                 (QStringList{QString::fromUtf8("中文"), QString::fromUtf8("英文")}));
        QVERIFY(LoadLanguage(1, {LibraryFolder()}));
        QCOMPARE(UiListEntries(kLangPage, 1073), (QStringList{"Chinese", "English"}));
        QCOMPARE(UiListEntries(kAudioPage, 1099),
                 (QStringList{QString::fromUtf8("包含匹配"), QString::fromUtf8("全字匹配")}));
        QCOMPARE(UiListEntries(kSerialPortPage, 1021), (QStringList{"NONE", "ODD", "EVEN"}));
    }

    // Nothing falls back from English to Chinese, so the English set must hold every entry of
    // the Chinese one, under the same keys and in the same list order, and no empty text.
    void setsAreComplete() {
        int zhCount = 0;
        const OrvUiEntry* zh = ChineseUiTable(&zhCount);
        QVERIFY(LoadLanguage(1, {LibraryFolder()}));
        QLibrary lib(EnglishLibraryPath());
        QVERIFY(lib.load());
        const auto fn = reinterpret_cast<OrvUiLangTableFn>(lib.resolve(ORV_UI_LANG_TABLE_SYMBOL));
        QVERIFY(fn != nullptr);
        int enCount = 0;
        int version = 0;
        const OrvUiEntry* en = fn(&enCount, &version);
        QCOMPARE(version, ORV_UI_TABLE_VERSION);
        QCOMPARE(Keys(en, enCount), Keys(zh, zhCount));

        QSet<int> strings;
        for (int i = 0; i < zhCount; ++i) {
            QVERIFY2(zh[i].text != nullptr && *zh[i].text != '\0', qPrintable(QString::number(i)));
            QVERIFY2(en[i].text != nullptr && *en[i].text != '\0', qPrintable(QString::number(i)));
            if (zh[i].kind == ORV_UI_STRING) {
                QVERIFY(!strings.contains(zh[i].id));
                strings.insert(zh[i].id);
            }
        }
        for (int id = 149; id <= 219; ++id) {
            QVERIFY2(strings.contains(id), qPrintable(QString::number(id)));
        }
        QCOMPARE(strings.size(), 219 - 149 + 1);
    }
};

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
