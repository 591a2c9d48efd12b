#include "shell/AppOptions.h"

#include <atomic>

namespace orv {
namespace {
std::atomic<bool> g_headless{false};

// Value of an option that takes one: "--name=value" or "--name value". Returns false when
// `arg` is not this option; sets `error` when it is but the value is missing.
bool TakeValue(const QString& name, const QStringList& args, int* i, QString* value,
               QString* error) {
    const QString& arg = args.at(*i);
    if (arg.startsWith(name + QLatin1Char('='))) {
        *value = arg.mid(name.size() + 1);
    } else if (arg == name) {
        if (*i + 1 >= args.size()) {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return true;
        }
        *value = args.at(++*i);
    } else {
        return false;
    }
    if (value->isEmpty()) {
        *error = QStringLiteral("%1 needs a value").arg(name);
    }
    return true;
}
}  // namespace

ParseResult ParseAppOptions(const QStringList& args, AppOptions* options, QString* error) {
    error->clear();
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            return ParseResult::Help;
        }
        if (arg == QLatin1String("--headless")) {
            options->headless = true;
        } else if (TakeValue(QStringLiteral("--home"), args, &i, &value, error)) {
            if (!error->isEmpty()) {
                return ParseResult::Error;
            }
            options->home = value;
        } else if (TakeValue(QStringLiteral("--adapter"), args, &i, &value, error)) {
            if (!error->isEmpty()) {
                return ParseResult::Error;
            }
            options->adapter = value;
        } else if (TakeValue(QStringLiteral("--auto-test"), args, &i, &value, error)) {
            if (!error->isEmpty()) {
                return ParseResult::Error;
            }
            options->autoTestMac = value;
        } else {
            *error = QStringLiteral("unknown argument: %1").arg(arg);
            return ParseResult::Error;
        }
    }
    return ParseResult::Run;
}

QString AppUsage(const QString& program) {
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "Bluetooth headset test station.\n"
               "\n"
               "Options:\n"
               "  --home DIR            folder for config.ini, log/, crash/, temp.wav and wav/\n"
               "                        (default: the program's folder)\n"
               "  --headless            message boxes are logged and do not wait for a click\n"
               "  --adapter CONNECTION  adapter to use: \"hid\" (default) for the USB adapter\n"
               "                        or \"sim:<scenario file>\" for the simulated one\n"
               "  --auto-test MAC       connect that headset, run one one-key test in the\n"
               "                        simple test window's flow (saved and counted), print\n"
               "                        the item rows and the verdict; exit 0 PASS, 1 FAIL,\n"
               "                        2 not tested (no adapter, no connection)\n"
               "  -h, --help            show this text\n"
               "\n"
               "Without a display (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) the program\n"
               "runs on Qt's offscreen platform.\n")
        .arg(program);
}

void SetHeadlessUi(bool headless) {
    g_headless.store(headless);
}

bool IsHeadlessUi() {
    return g_headless.load();
}

}  // namespace orv
