// Writes a PNG of every tab of the settings dialog in one language, for reviewing the layout:
//   settings_screenshots OUTDIR LANG      (LANG 0 Chinese, 1 English)
// Files: OUTDIR/settings_<zh|en>_tab<N>.png. Runs on a fresh home folder, so the pages show the
// defaults of a new installation.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

#include "config/AppHome.h"
#include "config/Config.h"
#include "config/dialogs/BlueToothSetupDlg.h"
#include "lang/Language.h"
#include "shell/AppOptions.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR LANG\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int lang = QString::fromLatin1(argv[2]).toInt();
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir home;
    orv::SetAppHome(home.path());
    orv::SetHeadlessUi(true);
    if (orv::LoadLanguage(lang) != (lang == 1)) {
        std::fprintf(stderr, "the English library UiLangEn was not found beside the program\n");
        return 1;
    }
    orv::SettingsDialogInput input;
    input.machinePorts = QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")};
    orv::CBlueToothSetupDlg dlg(home.filePath(QStringLiteral("config.ini")), input);
    dlg.show();
    app.processEvents();
    const QString tag = lang == 1 ? QStringLiteral("en") : QStringLiteral("zh");
    QTextStream err(stderr);
    for (int i = 0; i < dlg.Tabs()->count(); ++i) {
        dlg.Tabs()->setCurrentIndex(i);
        app.processEvents();
        const QString file =
            QDir(out).filePath(QStringLiteral("settings_%1_tab%2.png").arg(tag).arg(i));
        if (!dlg.grab().save(file)) {
            err << "cannot write " << file << "\n";
            return 1;
        }
        err << file << " " << dlg.width() << "x" << dlg.height() << "\n";
    }
    return 0;
}
