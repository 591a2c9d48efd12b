// The settings dialog: what a fresh installation shows, the checks OK makes before storing,
// what OK stores and in which order, what Cancel leaves alone, the enabling rules and the keys
// page 0 swallows.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "config/AppHome.h"
#include "config/Settings.h"
#include "config/dialogs/AudioSettings.h"
#include "config/dialogs/AutoSavePage.h"
#include "config/dialogs/BTSimpleTestDlg.h"
#include "config/dialogs/BlueToothSetupDlg.h"
#include "config/dialogs/LangPage.h"
#include "config/dialogs/NumberField.h"
#include "config/dialogs/SerialportSetDlg.h"
#include "config/dialogs/SimpleWndPage.h"
#include "lang/Language.h"
#include "lang/UiFonts.h"
#include "shell/AppOptions.h"
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

QString Name(int id) {
    return CBaseDlg::ControlName(id);
}

// Every key page 0 writes, in the order OK writes them.
const QStringList kAudioWriteOrder = {
    "Play/PlayTimes",
    "Play/PlayFileName",
    "Record/CallDelay",
    "Record/CaptureTimes",
    "Record/CapLowerLimit",
    "PlayRecord/PlayTimes",
    "KeyTest/NeedKeyTimesCheck",
    "General Info/KeyCheckTimes",
    "General Info/AutoTestAfterMacConnected",
    "Connect Setup/IsAutoAdjustA2DPVol",
    "Connect Setup/A2DPVol",
    "Connect Setup/IsAutoAdjustHFPVol",
    "Connect Setup/HFPVol",
    "Search Setup/SearchPower",
    "Search Connect/InquiryWithName",
    "Search Setup/TimeOut",
    "Search Connect/PairName",
    "Search Connect/PairNameStr",
    "Search Connect/PairRssi",
    "Search Connect/PairRssiValue",
    "Connect Setup/A2DPConnect",
    "Connect Setup/HFPConnect",
    "Connect Setup/AvrcpConnect",
    "Connect Setup/PassWord",
    "Test/SyncVol",
    "Connect Setup/AnswerCall",
    "Connect Setup/PairWhenConnect",
    "RingCheckTest/RingCheckTest",
    "RingCheckTest/TestTimes",
    "RingCheckTest/Interval",
    "RingCheckTest/ATRingCmd",
    "General Info/SampleRate",
    "RSSI/Upper",
    "RSSI/Lower",
    "Battery/Upper",
    "Battery/Lower",
    "KeyTest/BTMode",
    "General Info/HasMusicMode",
    "General Info/NameTest",
    "General Info/CheckName",
    "General Info/NameTestMode",
    "General Info/HFPDial",
    "Search Setup/InquiryWaitTime",
    "RingCheckTest/RingTestA2dp",
};

// "Section/Key" of every key line of an INI file, in file order.
QStringList KeysInFileOrder(const QByteArray& content) {
    QStringList keys;
    QString section;
    for (const QByteArray& raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
        } else if (line.contains(QLatin1Char('='))) {
            keys << section + QLatin1Char('/') + line.section(QLatin1Char('='), 0, 0).trimmed();
        }
    }
    return keys;
}

// Where a sequence of writes onto an empty file puts its keys: each section where it was
// first written, each key at the end of its section.
QStringList FileOrderOfWrites(const QStringList& writes) {
    QStringList sections;
    QHash<QString, QStringList> keys;
    for (const QString& w : writes) {
        const QString s = w.section(QLatin1Char('/'), 0, 0);
        if (!sections.contains(s)) {
            sections << s;
        }
        if (!keys[s].contains(w)) {
            keys[s] << w;
        }
    }
    QStringList order;
    for (const QString& s : sections) {
        order << keys[s];
    }
    return order;
}

}  // namespace

class TestSettingsDialog final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_ini;
    int m_case = 0;

    // A fresh config file per case.
    QString freshIni(const QByteArray& content = QByteArray()) {
        m_ini = m_home.filePath(QStringLiteral("case%1.ini").arg(++m_case));
        WriteAll(m_ini, content);
        return m_ini;
    }

    static SettingsDialogInput input() {
        SettingsDialogInput in;
        in.simpleWidth = 300;
        in.simpleHeight = 150;
        in.machinePorts = QStringList{};  // the machine's own ports play no part
        return in;
    }

    // Log lines written since `from` (headless message boxes go to the log).
    static QByteArray logSince(qint64 from) {
        return ReadAll(CLogWriter::Instance()->path()).mid(from);
    }
    static qint64 logSize() { return ReadAll(CLogWriter::Instance()->path()).size(); }

    template <typename T>
    static T* child(QWidget* dlg, int id) {
        T* w = dlg->findChild<T*>(Name(id));
        if (w == nullptr) {
            qFatal("no control %d", id);
        }
        return w;
    }

    static void setText(QWidget* dlg, int id, const QString& text) {
        QWidget* w = dlg->findChild<QWidget*>(Name(id));
        QVERIFY2(w != nullptr, qPrintable(Name(id)));
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(text);
        } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
            s->findChild<QLineEdit*>()->setText(text);
        } else {
            QFAIL("not a text field");
        }
    }

    static QString text(QWidget* dlg, int id) {
        QWidget* w = dlg->findChild<QWidget*>(Name(id));
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            return e->text();
        }
        if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
            return s->text();
        }
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            return c->currentText();
        }
        return QStringLiteral("<none>");
    }

    static void clickOk(CBlueToothSetupDlg& dlg) {
        dlg.findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
        SetHeadlessUi(true);  // message boxes log their text and return at once
        LoadLanguage(0);
    }

    void freshInstallationShowsDefaults_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected");  // text, or "on"/"off" for a check box
        using B = CBTSimpleTestDlg;
        const struct {
            int id;
            const char* expected;
        } rows[] = {
            {B::IDC_SEARCH_POWER, "6"},
            {B::IDC_SEARCH_TIMEOUT, "10"},
            {B::IDC_INQUIRY_WAIT, "0"},
            {B::IDC_INQUIRY_WITH_NAME, "on"},
            {B::IDC_A2DP_CONNECT, "on"},
            {B::IDC_HFP_CONNECT, "on"},
            {B::IDC_AVRCP_CONNECT, "on"},
            {B::IDC_PAIR, "on"},
            {B::IDC_SAMPLE_RATE, "44100"},
            {B::IDC_PASSWORD, "7315"},
            {B::IDC_AUTO_A2DP_VOL, "on"},
            {B::IDC_A2DP_VOL, "100"},
            {B::IDC_AUTO_HFP_VOL, "on"},
            {B::IDC_HFP_VOL, "15"},
            {B::IDC_ANSWER_CALL, "off"},
            {B::IDC_MUSIC_MODE, "off"},
            {B::IDC_PAIR_NAME, "on"},
            {B::IDC_PAIR_NAME_STR, ""},
            {B::IDC_PAIR_RSSI, "on"},
            {B::IDC_PAIR_RSSI_VALUE, "-80"},
            {B::IDC_AUTO_TEST, "off"},
            {B::IDC_SYNC_VOL, "off"},
            {B::IDC_NAME_TEST, "off"},
            {B::IDC_CHECK_NAME, ""},
            {B::IDC_NAME_TEST_MODE, "包含匹配"},
            {B::IDC_HFP_DIAL, "off"},
            {B::IDC_RSSI_UPPER, "0"},
            {B::IDC_RSSI_LOWER, "-128"},
            {B::IDC_BATTERY_UPPER, "100"},
            {B::IDC_BATTERY_LOWER, "0"},
            {B::IDC_PLAY_TIMES, "8"},
            {B::IDC_CAPTURE_TIMES, "8"},
            {B::IDC_CALL_DELAY, "0.5"},
            {B::IDC_CAP_LOWER_LIMIT, "-20"},
            {B::IDC_PLAYBACK_TIMES, "8"},
            {B::IDC_KEY_TIMES_CHECK, "off"},
            {B::IDC_KEY_CHECK_TIMES, "1"},
            {B::IDC_BT_MODE, "off"},
            {B::IDC_RING_TEST, "off"},
            {B::IDC_RING_TIMES, "1"},
            {B::IDC_RING_INTERVAL, "5"},
            {B::IDC_AT_RING_CMD, "off"},
            {B::IDC_RING_A2DP, "off"},
        };
        for (const auto& r : rows) {
            QTest::addRow("%d", r.id) << r.id << QString::fromUtf8(r.expected);
        }
    }

    void freshInstallationShowsDefaults() {
        QFETCH(int, id);
        QFETCH(QString, expected);
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        if (auto* check = dlg.AudioPage()->findChild<QCheckBox*>(Name(id))) {
            QCOMPARE(check->isChecked() ? QStringLiteral("on") : QStringLiteral("off"), expected);
        } else {
            QCOMPARE(text(dlg.AudioPage(), id), expected);
        }
        QVERIFY(ReadAll(ini).isEmpty());  // opening the dialog writes nothing
    }

    void freshInstallationOtherPages() {
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        // The play file falls back to the program's folder.
        QCOMPARE(text(dlg.AudioPage(), CBTSimpleTestDlg::IDC_PLAY_FILE),
                 m_home.path() + QStringLiteral("/wav/20-20k.wav"));
        QCOMPARE(text(dlg.SimpleWndPage(), CSimpleWndPage::IDC_WIDTH), QStringLiteral("300"));
        QCOMPARE(text(dlg.SimpleWndPage(), CSimpleWndPage::IDC_HEIGHT), QStringLiteral("150"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_PORT), QStringLiteral("COM1"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_BAUD), QStringLiteral("9600"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_PARITY), QStringLiteral("NONE"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_DATA_BITS), QStringLiteral("8"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_STOP_BITS), QStringLiteral("1"));
        QVERIFY(!child<QCheckBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_USE_COM)->isChecked());
        QVERIFY(!child<QCheckBox>(dlg.AutoSavePage(), CAutoSavePage::IDC_AUTO_SAVE)->isChecked());
        QCOMPARE(text(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH), QString());
        QCOMPARE(text(dlg.LangPage(), CLangPage::IDC_LANG), QStringLiteral("中文"));

        QTabWidget* tabs = dlg.Tabs();
        QCOMPARE(tabs->count(), 5);
        const int titles[] = {153, 154, 156, 157, 158};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tabs->tabText(i), UiString(titles[i]));
        }
        QCOMPARE(tabs->widget(0), dlg.AudioPage());
        QCOMPARE(tabs->widget(4), dlg.LangPage());
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void rangeCheckStoresNothing_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        using B = CBTSimpleTestDlg;
        QTest::newRow("search power 7")
            << 0 << int(B::IDC_SEARCH_POWER) << "7" << IntRangeMessage(-18, 6);
        QTest::newRow("search power -19")
            << 0 << int(B::IDC_SEARCH_POWER) << "-19" << IntRangeMessage(-18, 6);
        QTest::newRow("time out 4")
            << 0 << int(B::IDC_SEARCH_TIMEOUT) << "4" << IntRangeMessage(5, 60);
        QTest::newRow("time out negative")
            << 0 << int(B::IDC_SEARCH_TIMEOUT) << "-10" << UIntNumberMessage();
        QTest::newRow("A2DP volume 101")
            << 0 << int(B::IDC_A2DP_VOL) << "101" << IntRangeMessage(0, 100);
        QTest::newRow("HFP volume 16")
            << 0 << int(B::IDC_HFP_VOL) << "16" << IntRangeMessage(0, 15);
        QTest::newRow("pair RSSI 21")
            << 0 << int(B::IDC_PAIR_RSSI_VALUE) << "21" << IntRangeMessage(-128, 20);
        QTest::newRow("RSSI upper -129")
            << 0 << int(B::IDC_RSSI_UPPER) << "-129" << IntRangeMessage(-128, 20);
        QTest::newRow("battery lower 101")
            << 0 << int(B::IDC_BATTERY_LOWER) << "101" << IntRangeMessage(0, 100);
        QTest::newRow("search power not a number")
            << 0 << int(B::IDC_SEARCH_POWER) << "6dBm" << IntNumberMessage();
        QTest::newRow("key times 1.5")
            << 0 << int(B::IDC_KEY_CHECK_TIMES) << "1.5" << IntNumberMessage();
        QTest::newRow("play time empty")
            << 0 << int(B::IDC_PLAY_TIMES) << "" << RealNumberMessage();
        QTest::newRow("lower limit text")
            << 0 << int(B::IDC_CAP_LOWER_LIMIT) << "-20dB" << RealNumberMessage();
        QTest::newRow("width not a number")
            << 1 << int(CSimpleWndPage::IDC_WIDTH) << "wide" << IntNumberMessage();
    }

    void rangeCheckStoresNothing() {
        QFETCH(int, page);
        QFETCH(int, id);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const QByteArray before = "[Search Setup]\nSearchPower=-4\n";
        const QString ini = freshIni(before);
        CBlueToothSetupDlg dlg(ini, input());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        // A page other than the failing field's is in front: OK brings the field's page back.
        dlg.Tabs()->setCurrentIndex(3);
        QWidget* scope = dlg.Tabs()->widget(page);
        setText(scope, id, typed);
        // A valid change elsewhere must not be stored either.
        child<QCheckBox>(dlg.AudioPage(), CBTSimpleTestDlg::IDC_RING_TEST)->setChecked(true);
        const qint64 mark = logSize();
        clickOk(dlg);

        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.Outcome().accepted);
        QCOMPARE(ReadAll(ini), before);
        QVERIFY2(logSince(mark).contains(("ORV318Pro: " + message).toUtf8()),
                 logSince(mark).constData());
        QWidget* field = scope->findChild<QWidget*>(Name(id));
        QCOMPARE(dlg.Tabs()->currentIndex(), page);
        QTRY_VERIFY(field->hasFocus());
    }

    void messagesNameBothBounds() {
        QCOMPARE(IntRangeMessage(-18, 6), QStringLiteral("请输入一个介于 -18 和 6 之间的整数。"));
        QVERIFY(LoadLanguage(1));
        QCOMPARE(IntRangeMessage(-18, 6),
                 QStringLiteral("Please enter an integer between -18 and 6."));
        LoadLanguage(0);
    }

    void pinIsNormalised_data() {
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("changed");
        QTest::newRow("three digits") << "123"
                                      << "7315" << false;
        QTest::newRow("a letter") << "12a4"
                                  << "7315" << false;
        QTest::newRow("leading zeros") << "0012"
                                       << "0012" << true;
        QTest::newRow("point and minus") << "1.-2"
                                         << "1.-2" << true;
        QTest::newRow("five digits") << "12345"
                                     << "7315" << false;
    }

    void pinIsNormalised() {
        QFETCH(QString, entered);
        QFETCH(QString, stored);
        QFETCH(bool, changed);
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        setText(dlg.AudioPage(), CBTSimpleTestDlg::IDC_PASSWORD, entered);
        clickOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(ReadConfigText(ini, "Connect Setup", "PassWord", "<missing>"), stored);
        QCOMPARE(dlg.Outcome().passWordChanged, changed);
    }

    void okWritesPage0InOrder() {
        // The write list itself.
        QStringList writes;
        for (const SettingWrite& w : AudioSettingsWrites(AudioSettings{})) {
            writes << w.section + QLatin1Char('/') + w.key;
        }
        QCOMPARE(writes, kAudioWriteOrder);

        // And the file OK leaves behind: on an empty file each section appears where it was
        // first written and each key where it was written within its section.
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        clickOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QStringList expected = kAudioWriteOrder;
        expected << "General Info/SimpleWidth"
                 << "General Info/SimpleHeight"
                 << "SerialPort/PortName"
                 << "SerialPort/Port"
                 << "SerialPort/BaudRate"
                 << "SerialPort/UserCom"
                 << "AutoSave/IsSave"
                 << "AutoSave/FilePath"
                 << "Lang/Lang";
        QCOMPARE(KeysInFileOrder(ReadAll(ini)), FileOrderOfWrites(expected));
    }

    void okStoresWhatWasEntered() {
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        using B = CBTSimpleTestDlg;
        setText(dlg.AudioPage(), B::IDC_SEARCH_POWER, " -18 ");
        setText(dlg.AudioPage(), B::IDC_SEARCH_TIMEOUT, "60");
        setText(dlg.AudioPage(), B::IDC_INQUIRY_WAIT, "250");  // the spin bounds only its arrows
        child<QCheckBox>(dlg.AudioPage(), B::IDC_INQUIRY_WITH_NAME)->setChecked(false);
        child<QCheckBox>(dlg.AudioPage(), B::IDC_AVRCP_CONNECT)->setChecked(false);
        child<QComboBox>(dlg.AudioPage(), B::IDC_SAMPLE_RATE)->setCurrentIndex(1);
        setText(dlg.AudioPage(), B::IDC_PAIR_NAME_STR, "ORV headset");
        setText(dlg.AudioPage(), B::IDC_BATTERY_UPPER, "90");
        setText(dlg.AudioPage(), B::IDC_BATTERY_LOWER, "10");
        setText(dlg.AudioPage(), B::IDC_CALL_DELAY, "1.25");
        setText(dlg.AudioPage(), B::IDC_CAP_LOWER_LIMIT, "-35.5");
        setText(dlg.AudioPage(), B::IDC_PLAY_FILE, "/srv/wav/1k.wav");
        child<QComboBox>(dlg.AudioPage(), B::IDC_NAME_TEST_MODE)->setCurrentIndex(1);
        child<QCheckBox>(dlg.AudioPage(), B::IDC_RING_A2DP)->setChecked(true);
        clickOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        QCOMPARE(GetSearchPower(ini), -18);
        QCOMPARE(GetSearchTimeOut(ini), 60);
        QCOMPARE(GetInquiryWaitTime(ini), 250);
        QCOMPARE(GetInquiryWithName(ini), 0);
        QCOMPARE(GetAvrcpConnect(ini), 0);
        QCOMPARE(GetA2DPConnect(ini), 1);
        QCOMPARE(GetSampleRate(ini), 1);
        QCOMPARE(GetPairNameStr(ini), QStringLiteral("ORV headset"));
        QCOMPARE(GetBattery(ini).upper, 90);
        QCOMPARE(GetBattery(ini).lower, 10);
        QCOMPARE(ReadConfigText(ini, "Record", "CallDelay", ""), QStringLiteral("1.2500000000"));
        QCOMPARE(GetRecordCapLowerLimit(ini), -35.5);
        QCOMPARE(ReadConfigText(ini, "Play", "PlayFileName", ""),
                 QStringLiteral("/srv/wav/1k.wav"));
        QCOMPARE(GetNameTestMode(ini), 1);
        QCOMPARE(GetRingTestA2dp(ini), 1);

        const SettingsDialogOutcome o = dlg.Outcome();
        QVERIFY(o.accepted);
        QVERIFY(o.searchPowerChanged);
        QVERIFY(o.sampleRateChanged);
        QVERIFY(!o.passWordChanged);
        QVERIFY(!o.playTimesChanged);
    }

    void simpleWidthIsStoredButNotUsedBelow30() {
        const QString ini = freshIni();
        SettingsDialogInput in = input();
        in.simpleWidth = 320;
        CBlueToothSetupDlg dlg(ini, in);
        setText(dlg.SimpleWndPage(), CSimpleWndPage::IDC_WIDTH, "20");
        setText(dlg.SimpleWndPage(), CSimpleWndPage::IDC_HEIGHT, "200");
        clickOk(dlg);
        QCOMPARE(GetSimpleWidth(ini), 20);
        QCOMPARE(GetSimpleHeight(ini), 200);
        const SettingsDialogOutcome o = dlg.Outcome();
        QCOMPARE(o.simpleWidth, 20);
        // What the running window takes: the old width, the new height.
        QCOMPARE(UsableSimpleDimension(o.simpleWidth, in.simpleWidth), 320);
        QCOMPARE(UsableSimpleDimension(o.simpleHeight, in.simpleHeight), 200);
        QCOMPARE(UsableSimpleDimension(30, 320), 30);
    }

    void cancelEscapeAndCloseStoreNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape outside page 0") << "escape";
        QTest::newRow("close box") << "close";
    }

    void cancelEscapeAndCloseStoreNothing() {
        QFETCH(QString, how);
        const QByteArray before = "[Search Setup]\nSearchPower=2\n[Lang]\nLang=0\n";
        const QString ini = freshIni(before);
        CBlueToothSetupDlg dlg(ini, input());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        setText(dlg.AudioPage(), CBTSimpleTestDlg::IDC_SEARCH_POWER, "-5");
        setText(dlg.AudioPage(), CBTSimpleTestDlg::IDC_PASSWORD, "0000");
        setText(dlg.SimpleWndPage(), CSimpleWndPage::IDC_WIDTH, "500");
        child<QCheckBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_USE_COM)->setChecked(true);
        child<QCheckBox>(dlg.AutoSavePage(), CAutoSavePage::IDC_AUTO_SAVE)->setChecked(true);
        setText(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH, "/tmp/results.db");
        child<QComboBox>(dlg.LangPage(), CLangPage::IDC_LANG)->setCurrentIndex(1);
        QSignalSpy finished(&dlg, &QDialog::finished);
        if (how == "cancel") {
            dlg.findChild<QPushButton*>(QStringLiteral("IDCANCEL"))->click();
        } else if (how == "escape") {
            dlg.Tabs()->setCurrentIndex(3);
            QLineEdit* path = child<QLineEdit>(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH);
            path->setFocus();
            QTRY_VERIFY(path->hasFocus());
            QTest::keyClick(path, Qt::Key_Escape);
        } else {
            dlg.close();
        }
        QCOMPARE(finished.size(), 1);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.Outcome().accepted);
        QCOMPARE(ReadAll(ini), before);
    }

    void enterAndEscapeDoNothingOnPage0() {
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        using B = CBTSimpleTestDlg;
        QWidget* page = dlg.AudioPage();
        QWidget* fields[] = {page->findChild<QWidget*>(Name(B::IDC_PASSWORD)),
                             page->findChild<QWidget*>(Name(B::IDC_SEARCH_POWER)),
                             page->findChild<QWidget*>(Name(B::IDC_RING_TEST))};
        for (QWidget* field : fields) {
            field->setFocus();
            QTRY_VERIFY(field->hasFocus() || field->isAncestorOf(QApplication::focusWidget()));
            QWidget* target = QApplication::focusWidget();
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
            QTest::keyClick(target, Qt::Key_Escape);
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
        }
        QVERIFY(ReadAll(ini).isEmpty());

        // Enter on another page confirms the dialog.
        dlg.Tabs()->setCurrentIndex(1);
        QLineEdit* width = child<QLineEdit>(dlg.SimpleWndPage(), CSimpleWndPage::IDC_WIDTH);
        width->setFocus();
        QTRY_VERIFY(width->hasFocus());
        QTest::keyClick(width, Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(GetSimpleWidth(ini), 300);
    }

    void enablingRules() {
        const QString ini = freshIni("[AutoSave]\nIsSave=1\nFilePath=odbc:DSN=line4\n");
        CBlueToothSetupDlg dlg(ini, input());
        using B = CBTSimpleTestDlg;
        QCheckBox* inquiry = child<QCheckBox>(dlg.AudioPage(), B::IDC_INQUIRY_WITH_NAME);
        QWidget* pairName = child<QCheckBox>(dlg.AudioPage(), B::IDC_PAIR_NAME);
        QWidget* pairNameStr = child<QLineEdit>(dlg.AudioPage(), B::IDC_PAIR_NAME_STR);
        QVERIFY(pairName->isEnabled() && pairNameStr->isEnabled());
        inquiry->click();
        QVERIFY(!pairName->isEnabled() && !pairNameStr->isEnabled());
        inquiry->click();
        QVERIFY(pairName->isEnabled() && pairNameStr->isEnabled());

        QCheckBox* useCom = child<QCheckBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_USE_COM);
        const int lists[] = {CSerialportSetDlg::IDC_PORT, CSerialportSetDlg::IDC_BAUD,
                             CSerialportSetDlg::IDC_PARITY, CSerialportSetDlg::IDC_DATA_BITS,
                             CSerialportSetDlg::IDC_STOP_BITS};
        for (int id : lists) {
            QVERIFY(!child<QComboBox>(dlg.SerialPage(), id)->isEnabled());
        }
        useCom->click();
        for (int id : lists) {
            QVERIFY(child<QComboBox>(dlg.SerialPage(), id)->isEnabled());
        }

        QCheckBox* autoSave = child<QCheckBox>(dlg.AutoSavePage(), CAutoSavePage::IDC_AUTO_SAVE);
        QWidget* path = child<QLineEdit>(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH);
        QWidget* browse = child<QPushButton>(dlg.AutoSavePage(), CAutoSavePage::IDC_BROWSE);
        QVERIFY(autoSave->isChecked() && path->isEnabled() && browse->isEnabled());
        QCOMPARE(text(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH),
                 QStringLiteral("odbc:DSN=line4"));
        autoSave->click();
        QVERIFY(!path->isEnabled() && !browse->isEnabled());
    }

    void spinRanges_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("step");
        using B = CBTSimpleTestDlg;
        QTest::newRow("search power") << int(B::IDC_SEARCH_POWER) << -18 << 6 << 1;
        QTest::newRow("time out") << int(B::IDC_SEARCH_TIMEOUT) << 5 << 60 << 5;
        QTest::newRow("wait time") << int(B::IDC_INQUIRY_WAIT) << 0 << 100 << 1;
        QTest::newRow("A2DP volume") << int(B::IDC_A2DP_VOL) << 0 << 100 << 1;
        QTest::newRow("HFP volume") << int(B::IDC_HFP_VOL) << 0 << 15 << 1;
        QTest::newRow("pair RSSI") << int(B::IDC_PAIR_RSSI_VALUE) << -128 << 20 << 1;
        QTest::newRow("ring times") << int(B::IDC_RING_TIMES) << 1 << 10 << 1;
        QTest::newRow("ring interval") << int(B::IDC_RING_INTERVAL) << 1 << 10 << 1;
    }

    void spinRanges() {
        QFETCH(int, id);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, step);
        CBlueToothSetupDlg dlg(freshIni(), input());
        CSpinEdit* spin = child<CSpinEdit>(dlg.AudioPage(), id);
        QCOMPARE(spin->Minimum(), minimum);
        QCOMPARE(spin->Maximum(), maximum);
        QCOMPARE(spin->Step(), step);
    }

    void spinArrowsStayInRange() {
        CSpinEdit spin(5, 60, 5);
        spin.SetValue(10);
        spin.stepBy(1);
        QCOMPARE(spin.text(), QStringLiteral("15"));
        spin.stepBy(20);
        QCOMPARE(spin.text(), QStringLiteral("60"));
        spin.findChild<QLineEdit*>()->setText(
            QStringLiteral("3"));  // typed below the range: kept as typed
        QCOMPARE(spin.text(), QStringLiteral("3"));
        spin.stepBy(-1);
        QCOMPARE(spin.text(), QStringLiteral("5"));
    }

    void serialPortList() {
        QCOMPARE(SerialPortEntries({"COM1"}, {"ttyS2", "ttyUSB0", "ttyS10", "COM1"}),
                 QStringList({"COM1", "ttyS10", "ttyS2", "ttyUSB0"}));
        QCOMPARE(SerialEntryDevice("COM3"), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(SerialEntryDevice("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(SerialDevicePortNumber("/dev/ttyS2"), 3);
        QCOMPARE(SerialDevicePortNumber("COM7"), 7);
        QCOMPARE(SerialDevicePortNumber("/dev/ttyUSB0"), 0);
    }

    void serialPortStored_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("port");
        QTest::newRow("COM1") << "COM1"
                              << "/dev/ttyS0" << 1;
        QTest::newRow("ttyS2") << "ttyS2"
                               << "/dev/ttyS2" << 3;
        QTest::newRow("USB adapter keeps the number") << "ttyUSB0"
                                                      << "/dev/ttyUSB0" << 4;
    }

    void serialPortStored() {
        QFETCH(QString, entry);
        QFETCH(QString, device);
        QFETCH(int, port);
        const QString ini = freshIni();
        SettingsDialogInput in = input();
        in.machinePorts = QStringList{"ttyS2", "ttyUSB0", "ttyS10"};
        in.serial.port = 4;
        in.serial.baudRate = 115200;
        CBlueToothSetupDlg dlg(ini, in);
        // Port 4 without a device name is /dev/ttyS3: not on this machine, so it is listed.
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_PORT), QStringLiteral("COM4"));
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_BAUD), QStringLiteral("115200"));
        child<QCheckBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_USE_COM)->setChecked(true);
        QComboBox* ports = child<QComboBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_PORT);
        ports->setCurrentIndex(ports->findText(entry));
        child<QComboBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_PARITY)->setCurrentIndex(2);
        child<QComboBox>(dlg.SerialPage(), CSerialportSetDlg::IDC_STOP_BITS)->setCurrentIndex(1);
        clickOk(dlg);
        QCOMPARE(GetSerialPortName(ini), device);
        QCOMPARE(GetSerialPortDevice(ini), device);
        const SerialPortSettings s = GetSerialPort(ini);
        QCOMPARE(s.port, port);
        QCOMPARE(s.baudRate, 115200);
        QCOMPARE(s.userCom, 1);
        const SettingsDialogOutcome o = dlg.Outcome();
        QCOMPARE(o.serial.device, device);
        QCOMPARE(o.serial.port, port);
        QCOMPARE(o.serial.parity, 'E');
        QCOMPARE(o.serial.stopBits, 2);
        QCOMPARE(o.serial.dataBits, 8);
        QVERIFY(o.serialChanged);
    }

    void serialDeviceMissingFromListIsKept() {
        const QString ini = freshIni();
        SettingsDialogInput in = input();
        in.serial.device = QStringLiteral("/dev/pts/7");
        in.serial.port = 2;
        in.serial.baudRate = 14400;  // not among the list's rates
        CBlueToothSetupDlg dlg(ini, in);
        QCOMPARE(text(dlg.SerialPage(), CSerialportSetDlg::IDC_PORT),
                 QStringLiteral("/dev/pts/7"));
        clickOk(dlg);
        QCOMPARE(GetSerialPortDevice(ini), QStringLiteral("/dev/pts/7"));
        QCOMPARE(GetSerialPort(ini).port, 2);
        QCOMPARE(GetSerialPort(ini).baudRate, 14400);
        QVERIFY(!dlg.Outcome().serialChanged);
    }

    void autoSavePath_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("SQLite file") << true << "/data/results.db" << true;
        QTest::newRow("Access name") << true << "/data/results.mdb" << true;
        QTest::newRow("ODBC") << true << "odbc:DSN=line4;UID=orv" << true;
        QTest::newRow("PostgreSQL") << true << "postgresql://orv@db.line/results" << true;
        QTest::newRow("on without a path") << true << "  " << false;
        QTest::newRow("off without a path") << false << "" << true;
    }

    void autoSavePath() {
        QFETCH(bool, on);
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        const QString ini = freshIni();
        CBlueToothSetupDlg dlg(ini, input());
        child<QCheckBox>(dlg.AutoSavePage(), CAutoSavePage::IDC_AUTO_SAVE)->setChecked(on);
        setText(dlg.AutoSavePage(), CAutoSavePage::IDC_FILE_PATH, path);
        const qint64 mark = logSize();
        clickOk(dlg);
        QCOMPARE(dlg.Outcome().accepted, accepted);
        if (!accepted) {
            QVERIFY(ReadAll(ini).isEmpty());
            QVERIFY(logSince(mark).contains(("ORV318Pro: " + UiString(216)).toUtf8()));
            QCOMPARE(dlg.Tabs()->currentIndex(), 3);
            return;
        }
        QCOMPARE(GetAutoSaveIsSave(ini), on ? 1 : 0);
        QCOMPARE(GetAutoSaveFilePath(ini), path);
        QVERIFY(CAutoSavePage::BrowseFilter().contains("*.mdb"));
        QVERIFY(CAutoSavePage::BrowseFilter().contains("*.db"));
    }

    void languagePage_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("chosen");
        QTest::newRow("English") << QByteArray("[Lang]\nLang=1\n") << 1 << 0;
        QTest::newRow("2 is Chinese") << QByteArray("[Lang]\nLang=2\n") << 0 << 1;
        QTest::newRow("missing is Chinese") << QByteArray() << 0 << 1;
    }

    void languagePage() {
        QFETCH(QByteArray, file);
        QFETCH(int, shown);
        QFETCH(int, chosen);
        const QString ini = freshIni(file);
        CBlueToothSetupDlg dlg(ini, input());
        QComboBox* lang = child<QComboBox>(dlg.LangPage(), CLangPage::IDC_LANG);
        QCOMPARE(lang->currentIndex(), shown);
        lang->setCurrentIndex(chosen);
        clickOk(dlg);
        QCOMPARE(GetLang(ini), chosen);
        QVERIFY(!IsEnglishUi());  // the running program keeps its language
    }

    void captionsInBothLanguages() {
        for (const int lang : {0, 1}) {
            QCOMPARE(LoadLanguage(lang), lang == 1);
            CBlueToothSetupDlg dlg(freshIni(), input());
            // Every label, button and frame of the dialog's own (the toolkit's inner widgets
            // have no control name).
            int captions = 0;
            for (QWidget* w : dlg.findChildren<QWidget*>()) {
                if (!w->objectName().startsWith(QLatin1String("ID"))) {
                    continue;
                }
                QString caption = QStringLiteral("-");
                if (auto* l = qobject_cast<QLabel*>(w)) {
                    caption = l->text();
                } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                    caption = b->text();
                } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                    caption = g->title();
                } else {
                    continue;
                }
                QVERIFY2(!caption.isEmpty(), qPrintable(w->objectName()));
                ++captions;
            }
            QVERIFY2(captions > 60, qPrintable(QString::number(captions)));
        }
        // A few of the English words the operator sees.
        CBlueToothSetupDlg dlg(freshIni(), input());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Bluetooth audio settings"));
        QCOMPARE(dlg.Tabs()->tabText(3), QStringLiteral("Auto Save"));
        QCOMPARE(
            child<QCheckBox>(dlg.AudioPage(), CBTSimpleTestDlg::IDC_INQUIRY_WITH_NAME)->text(),
            QStringLiteral("Inquiry with name"));
        QCOMPARE(child<QLabel>(dlg.AudioPage(), CBTSimpleTestDlg::IDC_PASSWORD_NOTE)->text(),
                 QStringLiteral("4 digit character\nExample：7315"));
        QCOMPARE(text(dlg.LangPage(), CLangPage::IDC_LANG), QStringLiteral("Chinese"));
        QCOMPARE(dlg.findChild<QPushButton*>("IDCANCEL")->text(), QStringLiteral("Cancel"));
        LoadLanguage(0);
    }

    void fontButtonReplacesSimpleFont() {
        CBlueToothSetupDlg dlg(freshIni(), input());
        const QFont before = GetUiFonts().simple;
        QFont wanted = before;
        wanted.setPointSize(before.pointSize() > 0 ? before.pointSize() + 9 : 29);
        QFont shown;
        QFont picked;
        QTimer::singleShot(0, this, [&] {
            auto* chooser = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            QVERIFY(chooser != nullptr);
            shown = chooser->currentFont();
            chooser->setCurrentFont(wanted);
            picked = chooser->currentFont();
            chooser->accept();
        });
        child<QPushButton>(dlg.SimpleWndPage(), CSimpleWndPage::IDC_FONT)->click();
        QCOMPARE(shown.family(), before.family());  // the chooser starts from the shared font
        QCOMPARE(picked.pointSize(), wanted.pointSize());
        QCOMPARE(GetUiFonts().simple, picked);
        QVERIFY(dlg.Outcome().simpleFontChanged);
        dlg.reject();
        QVERIFY(dlg.Outcome().simpleFontChanged);  // the font is in use already
    }

    void runReportsChanges() {
        const QString ini = freshIni("[Play]\nPlayTimes=8.0000000000\n");
        QTimer::singleShot(0, this, [] {
            auto* dlg = qobject_cast<CBlueToothSetupDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg != nullptr);
            dlg->findChild<QLineEdit*>(Name(CBTSimpleTestDlg::IDC_PLAY_TIMES))->setText("12");
            dlg->findChild<QAbstractSpinBox*>(Name(CBTSimpleTestDlg::IDC_SEARCH_POWER))
                ->findChild<QLineEdit*>()
                ->setText("-6");
            dlg->findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
        });
        const SettingsDialogOutcome o = RunBluetoothSettings(nullptr, ini, input());
        QVERIFY(o.accepted);
        QVERIFY(o.searchPowerChanged);
        QVERIFY(o.playTimesChanged);
        QVERIFY(!o.sampleRateChanged);
        QVERIFY(!o.serialChanged);
        QCOMPARE(GetPlayPlayTimes(ini), 12.0);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
