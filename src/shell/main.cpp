#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/BTPlayMusic.h"
#include "shell/AppOptions.h"
#include "shell/ORV318PROApp.h"

int main(int argc, char* argv[]) {
    // --help needs no display: answer it before the toolkit starts.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(orv::AppUsage(QString::fromLocal8Bit(argv[0])).toLocal8Bit().constData(),
                       stdout);
            return 0;
        }
    }

    orv::CORV318PROApp::PrepareEnvironment();
    orv::CORV318PROApp app(argc, argv);  // takes the toolkit's own options out of argv

    orv::AppOptions options;
    QString error;
    if (orv::ParseAppOptions(app.arguments().mid(1), &options, &error) != orv::ParseResult::Run) {
        QTextStream(stderr) << error << '\n' << orv::AppUsage(app.arguments().value(0));
        return 2;
    }

    const int code = app.InitInstance(options);
    app.ExitInstance();
    if (orv::CBTPlayMusic::PlayersLeftBehind() > 0) {
        // A player whose sound device vanished is stuck in the sound library for good; the
        // library's exit handlers would abort under it. Everything of ours is shut down and
        // written by now.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
