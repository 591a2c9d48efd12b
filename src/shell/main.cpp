#include <QCoreApplication>

#include "config/Config.h"
#include "shell/LogWriter.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    orv::GetConfigPath();
    orv::LogTrace(QString::fromLatin1(orv::kStartOfProgram));
    orv::LogTrace(QString::fromLatin1(orv::kEndOfProgram));
    return 0;
}
