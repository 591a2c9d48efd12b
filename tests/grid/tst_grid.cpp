// The grid control and the coloured label as the key strip, the statistics grid and the status
// displays use them.
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "grid/MyCug.h"
#include "keytest/KeyTestCug.h"
#include "station/ColorStatic.h"

using namespace orv;

class TestGrid final : public QObject {
    Q_OBJECT

private slots:
    void cellsKeepTextColourAndFont() {
        MyCug grid;
        grid.SetNumberCols(3);
        grid.SetNumberRows(2);
        grid.QuickSetText(0, MyCug::kHeadingRow, QStringLiteral("Pass"));
        grid.QuickSetText(2, 1, QStringLiteral("42"));
        grid.QuickSetBackColor(2, 1, QColor(0, 255, 0));
        QCOMPARE(grid.QuickGetText(0, MyCug::kHeadingRow), QStringLiteral("Pass"));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Pass"));
        QCOMPARE(grid.QuickGetText(2, 1), QStringLiteral("42"));
        QCOMPARE(grid.QuickGetBackColor(2, 1), QColor(0, 255, 0));
        QCOMPARE(grid.QuickGetBackColor(1, 1), QColor(250, 250, 250));  // the default
        // Out of range: ignored, not stored, no crash.
        grid.QuickSetText(3, 0, QStringLiteral("x"));
        grid.QuickSetText(0, 2, QStringLiteral("x"));
        QVERIFY(grid.QuickGetText(3, 0).isEmpty());
        // Shrinking drops the cells outside; growing again shows them empty.
        grid.SetNumberRows(1);
        grid.SetNumberRows(2);
        QVERIFY(grid.QuickGetText(2, 1).isEmpty());
        QCOMPARE(grid.QuickGetText(0, MyCug::kHeadingRow), QStringLiteral("Pass"));
        grid.cells()->ClearTexts();
        QCOMPARE(grid.QuickGetText(0, MyCug::kHeadingRow), QStringLiteral("Pass"));
    }

    void keyStripShowsThreeKeys() {
        KeyTestCug strip;
        strip.resize(300, 24);
        strip.SetKeyCount(1, 3);
        strip.SetKeyCount(3, 1);
        strip.SetKeyCount(4, 9);  // Next has no cell
        QCOMPARE(strip.KeyCountText(1), QStringLiteral("3"));
        QCOMPARE(strip.KeyCountText(3), QStringLiteral("1"));
        QVERIFY(strip.KeyCountText(4).isEmpty());
        strip.ClearCounts();
        QVERIFY(strip.KeyCountText(1).isEmpty());
        QVERIFY(!strip.QuickGetText(0, 0).isEmpty());  // labels stay
    }

    void lineBands() {
        const QRect client(0, 0, 100, 80);
        int flags = 0;
        QCOMPARE(CColorStatic::LineBand(client, 0, 1, &flags), client);
        QVERIFY(flags & Qt::AlignVCenter);
        // Two lines meet at the middle: the first sits on its band's bottom, the second hangs
        // from its band's top.
        const QRect first = CColorStatic::LineBand(client, 0, 2, &flags);
        QCOMPARE(first, QRect(0, 0, 100, 40));
        QVERIFY(flags & Qt::AlignBottom);
        const QRect second = CColorStatic::LineBand(client, 1, 2, &flags);
        QCOMPARE(second, QRect(0, 40, 100, 40));
        QVERIFY(flags & Qt::AlignTop);
    }

    void labelPaintsBackgroundAndFitsText() {
        CColorStatic label;
        label.resize(105, 70);
        label.setFrameStyle(QFrame::NoFrame);
        label.Show(QStringLiteral("BT\nDisconnected"), QColor(255, 0, 0));
        const QImage image = label.grab().toImage();
        QCOMPARE(image.pixelColor(2, 2), QColor(255, 0, 0));
        // The text is drawn (black pixels in both halves) and not wider than the label.
        auto blackRows = [&](int y0, int y1) {
            int n = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += image.pixelColor(x, y).value() < 80;
            return n;
        };
        QVERIFY(blackRows(0, 35) > 0);
        QVERIFY(blackRows(35, 70) > 0);
        const QFont fitted = CColorStatic::FittingFont(
            label.GetFont(), {QStringLiteral("BT"), QStringLiteral("Disconnected")},
            label.contentsRect());
        QVERIFY(QFontMetrics(fitted).horizontalAdvance(QStringLiteral("Disconnected")) <= 101);
    }

    void menuCommandsAreReported() {
        MyCug grid;
        grid.AddMenuItem(32780, QStringLiteral("Clear"));
        QSignalSpy right(&grid, &MyCug::cellRightClicked);
        grid.SetNumberCols(2);
        grid.SetNumberRows(1);
        grid.resize(200, 80);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        // Right click on the first cell: the grid reports it (the menu itself needs a user).
        QMetaObject::invokeMethod(
            &grid,
            [&grid] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* m = qobject_cast<QMenu*>(w))
                        m->close();
                }
            },
            Qt::QueuedConnection);
        const QRect cell = grid.visualRect(grid.model()->index(0, 1));
        QContextMenuEvent ev(QContextMenuEvent::Mouse, cell.center(),
                             grid.viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(grid.viewport(), &ev);
        QCOMPARE(right.size(), 1);
        QCOMPARE(right.first().at(0).toInt(), 1);
        QCOMPARE(right.first().at(1).toInt(), 0);
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
