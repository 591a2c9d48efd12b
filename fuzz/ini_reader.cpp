// The INI reader on a file holding the input: a few keys the station really reads, the typed
// readers on top of it, and a section and key named by the input's first line ("section/key").
#include <cstring>

#include "FuzzCommon.h"
#include "config/Config.h"
#include "config/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::Home();
    const QString path = orv::fuzz::WriteScratch(QStringLiteral("fuzz.ini"), data, size);
    const QString def = QStringLiteral("default");

    const QString values[] = {
        orv::ini::ReadString(path, QStringLiteral("Search Connect"), QStringLiteral("PairName"),
                             def),
        orv::ini::ReadString(path, QStringLiteral("General Info"), QStringLiteral("DeviceSelect"),
                             def),
        orv::ini::ReadString(path, QStringLiteral("adapter"), QStringLiteral("name"), def),
    };
    for (const QString& v : values)
        if (v.size() > orv::ini::kMaxValueLength)
            __builtin_trap();  // values are cut to the profile buffer

    (void)orv::ReadConfigInt(path, QStringLiteral("Search Connect"),
                             QStringLiteral("PairRssiValue"), -70);
    (void)orv::ReadConfigReal(path, QStringLiteral("Audio Test"), QStringLiteral("Level"), 1.5);

    // The first line names one more section and key.
    const char* begin = reinterpret_cast<const char*>(data);
    const char* newline = static_cast<const char*>(std::memchr(begin, '\n', size));
    const QString first = QString::fromUtf8(begin, newline ? newline - begin : qsizetype(size));
    const qsizetype slash = first.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString section = first.left(slash);
        const QString key = first.mid(slash + 1);
        (void)orv::ini::ReadString(path, section, key, def);
        (void)orv::ReadConfigInt(path, section, key, 0);
        (void)orv::ReadConfigReal(path, section, key, 0.0);
    }
    return 0;
}
