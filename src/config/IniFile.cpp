#include "config/IniFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

#include "shell/LogWriter.h"

namespace orv::ini {
namespace {

// Serialises read-modify-write cycles of this process, so two threads writing different keys
// never lose one of the writes. Readers need no lock: the file is only ever replaced by rename.
QMutex g_writeLock;

// A line of the file as bytes, without its line end; `eol` is the line end that followed it
// ("\r\n", "\n" or empty for a last line without one).
struct Line {
    QByteArray text;
    QByteArray eol;
};

QList<Line> SplitLines(const QByteArray& data) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype nl = data.indexOf('\n', start);
        if (nl < 0) {
            lines.append({data.mid(start), QByteArray()});
            break;
        }
        qsizetype end = nl;
        QByteArray eol("\n");
        if (end > start && data.at(end - 1) == '\r') {
            --end;
            eol = "\r\n";
        }
        lines.append({data.mid(start, end - start), eol});
        start = nl + 1;
    }
    return lines;
}

QByteArray Trimmed(const QByteArray& b) {
    return b.trimmed();
}

// Section name of a "[name]" line, or a null array when the line is no section line.
QByteArray SectionName(const QByteArray& line) {
    const QByteArray t = Trimmed(line);
    if (!t.startsWith('[')) {
        return QByteArray();
    }
    const qsizetype close = t.indexOf(']');
    const QByteArray name = close < 0 ? t.mid(1) : t.mid(1, close - 1);
    return name.trimmed().isNull() ? QByteArray("") : name.trimmed();
}

bool SameName(const QByteArray& stored, const QString& wanted) {
    return QString::fromUtf8(stored).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

// Splits "key=value"; false for lines without '=' (ignored, as the profile functions do).
bool SplitKeyValue(const QByteArray& line, QByteArray* key, QByteArray* value) {
    const qsizetype eq = line.indexOf('=');
    if (eq < 0) {
        return false;
    }
    *key = line.left(eq).trimmed();
    *value = line.mid(eq + 1).trimmed();
    return true;
}

struct Location {
    qsizetype section = -1;     // index of the section line
    qsizetype key = -1;         // index of the key line
    qsizetype sectionEnd = -1;  // index after the last non-blank line of the section
};

Location Find(const QList<Line>& lines, const QString& section, const QString& key) {
    Location loc;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray name = SectionName(lines[i].text);
        if (name.isNull()) {
            continue;
        }
        if (!SameName(name, section)) {
            continue;
        }
        loc.section = i;
        loc.sectionEnd = i + 1;
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            if (!SectionName(lines[j].text).isNull()) {
                break;
            }
            if (!Trimmed(lines[j].text).isEmpty()) {
                loc.sectionEnd = j + 1;
            }
            QByteArray k;
            QByteArray v;
            if (loc.key < 0 && SplitKeyValue(lines[j].text, &k, &v) && SameName(k, key)) {
                loc.key = j;
            }
        }
        return loc;
    }
    return loc;
}

QByteArray StripBom(const QByteArray& data) {
    return data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
}

// A file without any write permission bit is read-only for everyone, the super-user included:
// the rename that replaces it would otherwise succeed wherever the folder is writable, and a
// read-only config.ini is how an installation pins its settings.
bool IsReadOnly(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        return false;
    }
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           ::access(native.constData(), W_OK) != 0;
}

// Cuts `text` to kMaxValueLength UTF-16 units without splitting a surrogate pair.
QString CutValue(const QString& text) {
    if (text.size() <= kMaxValueLength) {
        return text;
    }
    qsizetype n = kMaxValueLength;
    if (text.at(n - 1).isHighSurrogate()) {
        --n;
    }
    return text.left(n);
}

bool ReadFile(const QString& path, QByteArray* data) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    *data = f.readAll();
    return true;
}

}  // namespace

QString ReadString(const QString& path, const QString& section, const QString& key,
                   const QString& fallback) {
    QByteArray data;
    if (!ReadFile(path, &data)) {
        return fallback;
    }
    const QList<Line> lines = SplitLines(StripBom(data));
    const Location loc = Find(lines, section, key);
    if (loc.key < 0) {
        return fallback;
    }
    QByteArray k;
    QByteArray v;
    SplitKeyValue(lines[loc.key].text, &k, &v);
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"')) {
        v = v.mid(1, v.size() - 2);
    }
    return CutValue(QString::fromUtf8(v));
}

bool WriteString(const QString& path, const QString& section, const QString& key,
                 const QString& value) {
    QMutexLocker lock(&g_writeLock);
    QByteArray data;
    const bool exists = QFileInfo::exists(path);
    if (exists && !ReadFile(path, &data)) {
        LogInfo(QStringLiteral("config: cannot read %1 to write [%2] %3").arg(path, section, key));
        return false;
    }
    if (exists && IsReadOnly(path)) {
        LogInfo(QStringLiteral("config: %1 is read-only; [%2] %3 not written")
                    .arg(path, section, key));
        return false;
    }
    const bool bom = data.startsWith("\xEF\xBB\xBF");
    QList<Line> lines = SplitLines(bom ? data.mid(3) : data);
    const QByteArray eol =
        data.contains("\r\n") || data.isEmpty() ? QByteArray("\r\n") : QByteArray("\n");
    // A value never carries a line end into the file: it would create a line of its own.
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray keyLine = key.trimmed().toUtf8() + '=' + clean.toUtf8();

    const Location loc = Find(lines, section, key);
    if (loc.key >= 0) {
        lines[loc.key].text = keyLine;
    } else if (loc.section >= 0) {
        if (loc.sectionEnd > 0 && lines[loc.sectionEnd - 1].eol.isEmpty()) {
            lines[loc.sectionEnd - 1].eol = eol;
        }
        lines.insert(loc.sectionEnd, {keyLine, eol});
    } else {
        if (!lines.isEmpty() && lines.last().eol.isEmpty()) {
            lines.last().eol = eol;
        }
        lines.append({'[' + section.trimmed().toUtf8() + ']', eol});
        lines.append({keyLine, eol});
    }

    QByteArray out;
    out.reserve(data.size() + keyLine.size() + section.size() + 8);
    if (bom) {
        out.append("\xEF\xBB\xBF");
    }
    for (const Line& l : lines) {
        out.append(l.text).append(l.eol);
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit()) {
        LogInfo(QStringLiteral("config: cannot write [%1] %2 to %3: %4")
                    .arg(section, key, path, f.errorString()));
        return false;
    }
    return true;
}

}  // namespace orv::ini
