#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QUuid>

#include "results/ResultRow.h"
#include "results/ResultSaver.h"

// Reads saved results back with a connection of its own, the way a report tool would.
namespace orv::test {

struct SavedRow {
    QVariant no;
    QStringList values;
};

// Opens `driver` with `setup`, runs `sql` and returns every row: column 0 as the key, the rest as
// texts. `error` gets the driver's message when the query fails.
template <typename Setup>
QList<SavedRow> ReadRows(const QString& driver, Setup setup, const QString& sql,
                         QString* error = nullptr) {
    QList<SavedRow> rows;
    const QString name = QStringLiteral("check-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        setup(db);
        if (!db.open()) {
            if (error != nullptr) {
                *error = db.lastError().text();
            }
        } else {
            QSqlQuery q(db);
            if (!q.exec(sql) && error != nullptr) {
                *error = q.lastError().text();
            }
            while (q.next()) {
                SavedRow row;
                row.no = q.value(0);
                for (int i = 1; i < q.record().count(); ++i) {
                    row.values.append(q.value(i).toString());
                }
                rows.append(row);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline QString SelectAll(const QString& table, const QStringList& columns) {
    QStringList quoted;
    for (const QString& c : columns) {
        quoted.append(QLatin1Char('"') + c + QLatin1Char('"'));
    }
    return QStringLiteral("SELECT \"No\",%1 FROM \"%2\" ORDER BY \"No\"")
        .arg(quoted.join(QLatin1Char(',')), table);
}

inline ResultRow RowNamed(const ResultTexts& texts, const QString& name, bool pass = true) {
    HeadsetValues h;
    h.mac = QStringLiteral("00:07:80:12:34:56");
    h.name = name;
    h.battery = 90;
    h.rssi = -50;
    h.keys = KeyPressCounts{1, 1, 1, 1, 1};
    ItemSwitches all;
    all.ringTest = true;
    return BuildResultRow(texts, all, h, pass, pass ? 0 : kStepHfpRecord, -10.5,
                          QDateTime::currentDateTime());
}

// Collects a save worker's reports on the test's thread (a QSignalSpy would append from the
// saver thread while the test reads it).
struct Reports {
    explicit Reports(CResultSaveWorker* worker) {
        QObject::connect(
            worker, &CResultSaveWorker::saveFinished, &context,
            [this](const SaveReport& r) { list.append(r); }, Qt::QueuedConnection);
    }
    int count() const { return int(list.size()); }
    QObject context;
    QList<SaveReport> list;
};

// The names (column 4) of the rows read, in order.
inline QStringList Names(const QList<SavedRow>& rows) {
    QStringList names;
    for (const SavedRow& r : rows) {
        names.append(r.values.value(3));
    }
    return names;
}

}  // namespace orv::test
