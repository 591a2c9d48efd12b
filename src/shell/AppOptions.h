#pragma once

#include <QString>
#include <QStringList>

// The program's command line.
namespace orv {

struct AppOptions {
    QString home;                             // --home DIR; empty: the executable's folder
    bool headless = false;                    // --headless: message boxes log and do not wait
    QString adapter = QStringLiteral("hid");  // --adapter CONNECTION: which adapter backend
    QString autoTestMac;  // --auto-test MAC: test that headset once, print, exit
};

enum class ParseResult { Run, Help, Error };

// Parses the arguments after the program name ("--home DIR" and "--home=DIR" both work). On
// Error, `error` says what was wrong.
ParseResult ParseAppOptions(const QStringList& args, AppOptions* options, QString* error);

// The text --help prints.
QString AppUsage(const QString& program);

// --headless, set once at start-up before other threads exist: every message box then writes
// its caption and text to the log and returns at once.
void SetHeadlessUi(bool headless);
bool IsHeadlessUi();

}  // namespace orv
