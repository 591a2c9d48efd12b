// The transport factory and the udev id reader.
#include <QTest>

#include "adapter/HidReportBus.h"
#include "adapter/Transport.h"

using namespace orv;

class TestTransport final : public QObject {
    Q_OBJECT
private slots:
    void connectionStrings_data() {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<bool>("created");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("default") << "" << true << "";
        QTest::newRow("hid") << "hid" << true << "";
        QTest::newRow("unknown kind") << "usb:1" << false << "unknown adapter connection";
        QTest::newRow("simulator without scenario") << "sim:" << false << "scenario";
        QTest::newRow("missing scenario file")
            << "sim:/nonexistent/scenario.ini" << false << "/nonexistent/scenario.ini";
        QTest::newRow("simulated adapter")
            << QStringLiteral("sim:" ORV_SOURCE_DIR "/sim-scenarios/demo.ini") << true << "";
    }
    void connectionStrings() {
        QFETCH(QString, connection);
        QFETCH(bool, created);
        QFETCH(QString, errorPart);
        QString error;
        auto bus = CreateReportBus(connection, &error);
        QVERIFY2((bus != nullptr) == created, qPrintable(error));
        if (!created) {
            QVERIFY2(error.contains(errorPart, Qt::CaseInsensitive), qPrintable(error));
        }
    }

    void hidBusWithoutAdapter() {
        // No ORV318 adapter is attached to a build machine: opening finds none.
        CHidReportBus bus;
        QVERIFY(bus.Open(kAdapterVendorId, 0xFFFF) == nullptr);
    }

    void hidIds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("product");
        QTest::newRow("adapter A") << "0003:00000483:00005750" << true << 0x0483 << 0x5750;
        QTest::newRow("adapter B") << "0003:00000483:00005751" << true << 0x0483 << 0x5751;
        QTest::newRow("too few fields") << "0003:00000483" << false << 0 << 0;
        QTest::newRow("not hex") << "0003:zz:00005750" << false << 0 << 0;
        QTest::newRow("too large") << "0003:00010483:00005750" << false << 0 << 0;
    }
    void hidIds() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, vendor);
        QFETCH(int, product);
        std::uint16_t v = 0;
        std::uint16_t p = 0;
        QCOMPARE(ParseHidId(text, &v, &p), ok);
        if (ok) {
            QCOMPARE(int(v), vendor);
            QCOMPARE(int(p), product);
        }
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
