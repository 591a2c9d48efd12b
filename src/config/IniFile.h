#pragma once

#include <QString>

namespace orv::ini {

// Private-profile semantics on a UTF-8 text file (a UTF-8 byte-order mark is accepted):
// section and key names match without regard to case, the first matching section and the first
// matching key in it win, and a value is the text after the first '=' with surrounding blanks
// and one pair of enclosing double quotes removed. There is no cache: every call reads the file.

// Longest value handed back, in characters; a longer stored value is cut (the profile
// functions read into a 260-character buffer that keeps room for the terminator).
inline constexpr int kMaxValueLength = 259;

// Returns the value of [section] key, or `fallback` when the file, the section or the key does
// not exist.
QString ReadString(const QString& path, const QString& section, const QString& key,
                   const QString& fallback);

// Sets [section] key=value. Adds the key at the end of the section, or the section at the end of
// the file, and leaves every other byte of the file as it was. The file is replaced atomically
// (temporary file, then rename), so a reader or a power loss never sees half a file. Returns
// false, after logging why, when the file cannot be written (read-only file or folder).
bool WriteString(const QString& path, const QString& section, const QString& key,
                 const QString& value);

}  // namespace orv::ini
