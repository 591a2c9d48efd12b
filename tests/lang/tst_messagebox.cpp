// The station's message box and the shared fonts.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "config/AppHome.h"
#include "lang/Language.h"
#include "lang/MessageBox.h"
#include "lang/UiFonts.h"
#include "shell/AppOptions.h"
#include "shell/LogWriter.h"

using namespace orv;

namespace {
QByteArray LogText() {
    QFile f(CLogWriter::Instance()->path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct SeenBox {
    QString caption;
    QString text;
    QString okText;
    bool modal = false;
};

// Closes the next message box once it is up, recording what it showed.
void CloseNextBox(SeenBox* seen) {
    QTimer::singleShot(0, [seen] {
        QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            CloseNextBox(seen);  // not shown yet: look again on the next turn of the loop
            return;
        }
        seen->caption = box->windowTitle();
        seen->text = box->text();
        seen->okText =
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString();
        seen->modal = box->windowModality() == Qt::ApplicationModal;
        box->button(QMessageBox::Ok)->click();
    });
}
}  // namespace

class TestMessageBox final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        SetAppHome(m_home.path());
    }

    void cleanup() {
        SetHeadlessUi(false);
        LoadLanguage(0, {});
    }

    // --headless: the box is only a log line and the call returns at once, on any thread.
    void headlessLogs() {
        SetHeadlessUi(true);
        ShowMessage(nullptr, QString::fromUtf8("串口打开失败"));
        QVERIFY(LogText().contains(QString::fromUtf8("[INFO]: ORV318Pro: 串口打开失败").toUtf8()));
        QThread* worker =
            QThread::create([] { ShowMessage(nullptr, QStringLiteral("from worker")); });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        QVERIFY(LogText().contains("[INFO]: ORV318Pro: from worker"));
    }

    void box_data() {
        QTest::addColumn<bool>("english");
        QTest::newRow("Chinese UI keeps the toolkit's words") << false;
        QTest::newRow("English UI") << true;
    }

    void box() {
        QFETCH(bool, english);
        QCOMPARE(LoadLanguage(english ? 1 : 0, {QStringLiteral(ORV_LANG_DIR)}), english);
        const QByteArray logBefore = LogText();
        SeenBox seen;
        CloseNextBox(&seen);
        ShowMessage(nullptr, UiString(216));  // returns once the box is closed
        QCOMPARE(seen.caption, QStringLiteral("ORV318Pro"));
        QCOMPARE(seen.text, english ? QStringLiteral("File path is empty")
                                    : QString::fromUtf8("路径不能为空"));
        QVERIFY(seen.modal);
        const QMessageBox plain(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Ok);
        QCOMPARE(seen.okText,
                 english ? QStringLiteral("&OK") : plain.button(QMessageBox::Ok)->text());
        QCOMPARE(LogText(), logBefore);  // a shown box is not logged
    }

    // A worker's message box appears on the GUI thread; the worker waits until it is closed.
    void boxFromWorker() {
        SeenBox seen;
        std::atomic<bool> returned{false};
        QThread* worker = QThread::create([&returned] {
            ShowMessage(nullptr, QStringLiteral("worker text"));
            returned = true;
        });
        CloseNextBox(&seen);
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 10000);
        QVERIFY(worker->wait(10000));
        delete worker;
        QCOMPARE(seen.text, QStringLiteral("worker text"));
    }

    void fonts() {
        const UiFonts fonts = GetUiFonts();
        QCOMPARE(fonts.dialog.pixelSize(), 17);
        QCOMPARE(fonts.simple.pixelSize(), 16);
        QCOMPARE(fonts.dialog.weight(), QFont::Normal);
        QVERIFY(!fonts.dialog.italic() && !fonts.dialog.underline() && !fonts.dialog.strikeOut());
        const QString face = UiFontFace();
        QCOMPARE(fonts.dialog.family(), face);
        // "微软雅黑" is not on a Linux machine; the face chosen instead must write Chinese.
        QVERIFY2(QFontDatabase::writingSystems(face).contains(QFontDatabase::SimplifiedChinese),
                 qPrintable(face));
        QVERIFY(QFontInfo(fonts.dialog).family() == face || face == QFont().family());

        QFont custom(QStringLiteral("Times New Roman"));
        custom.setPixelSize(12);
        SetSimpleWindowFont(custom);
        QCOMPARE(GetUiFonts().simple.pixelSize(), 12);
        ReleaseUiFonts();
        QCOMPARE(GetUiFonts().simple.pixelSize(), 16);  // built afresh after the exit step
    }

    void applyDialogFont() {
        QWidget dialog;
        auto* label = new QLabel(QStringLiteral("a"), &dialog);
        auto* inner = new QWidget(&dialog);
        auto* button = new QPushButton(QStringLiteral("b"), inner);
        ApplyDialogFont(&dialog);
        for (QWidget* w : {static_cast<QWidget*>(label), inner, static_cast<QWidget*>(button)}) {
            QCOMPARE(w->font().pixelSize(), 17);
            QCOMPARE(w->font().family(), UiFontFace());
        }
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
