#pragma once

#include <QString>

// The settings store: config.ini in the program's home folder. There is no in-memory settings
// object; every read sees the file as it is at that moment and every write goes straight to it.
namespace orv {

// Full path of config.ini. Worked out at the first call (creating an empty file when there is
// none) and kept until ReleaseConfigPath. Never fails.
QString GetConfigPath();
// The exit step: forgets the path (creating it first when it was never worked out).
void ReleaseConfigPath();

// A stored text of exactly "-1", a missing key, section or file all give the default.
int ReadConfigInt(const QString& path, const QString& section, const QString& key, int def);
double ReadConfigReal(const QString& path, const QString& section, const QString& key, double def);
QString ReadConfigText(const QString& path, const QString& section, const QString& key,
                       const QString& def);

// Integers are written with "%d", reals with "%.10f", texts as they are.
bool WriteConfigInt(const QString& path, const QString& section, const QString& key, int value);
bool WriteConfigReal(const QString& path, const QString& section, const QString& key,
                     double value);
bool WriteConfigText(const QString& path, const QString& section, const QString& key,
                     const QString& value);

// The C library's conversions as the profile readers apply them: leading blanks skipped, an
// optional sign, digits up to the first other character; no digits give 0. Out-of-range integers
// saturate.
int ParseCInt(const QString& text);
double ParseCReal(const QString& text);

}  // namespace orv
