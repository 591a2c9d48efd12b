#include "lang/Language.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <memory>

#include "lang/UiTable.h"
#include "lang/UiTableZh.h"

namespace orv {
namespace {

// One language's texts, built from its table once and never freed: worker threads may hold a
// pointer to a set while start-up code switches to another.
struct ResourceSet {
    QHash<quint64, QString> texts;
    QHash<quint64, QStringList> lists;
    QString libraryPath;
};

quint64 Key(int kind, int group, int id) {
    return (quint64(quint16(kind)) << 48) | (quint64(quint16(group)) << 32) | quint32(id);
}

const ResourceSet* BuildSet(const OrvUiEntry* table, int count, const QString& libraryPath) {
    auto* set = new ResourceSet;
    set->libraryPath = libraryPath;
    for (int i = 0; i < count; ++i) {
        const OrvUiEntry& e = table[i];
        const QString text = e.text == nullptr ? QString() : QString::fromUtf8(e.text);
        if (e.kind == ORV_UI_LIST) {
            set->lists[Key(e.kind, e.group, e.id)].append(text);
        } else {
            set->texts.insert(Key(e.kind, e.group, e.id), text);
        }
    }
    return set;
}

const ResourceSet* ChineseSet() {
    static const ResourceSet* const set = [] {
        int count = 0;
        const OrvUiEntry* table = ChineseUiTable(&count);
        return BuildSet(table, count, QString());
    }();
    return set;
}

// The active set; null until LoadLanguage, which reads as Chinese.
std::atomic<const ResourceSet*> g_active{nullptr};
// g_englishUi: 1 while the English library's set is active.
std::atomic<int> g_englishUi{0};
// Serialises LoadLanguage calls.
QMutex g_loadLock;

const ResourceSet* Active() {
    const ResourceSet* set = g_active.load(std::memory_order_acquire);
    return set != nullptr ? set : ChineseSet();
}

QString ProgramFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return exe.canonicalPath();
}

// A library chosen once, with the set built from it. Both are kept for the rest of the process
// (see ResourceSet; the resource module is never unloaded) and reused when the same library is
// chosen again, so switching languages back and forth builds no new set per switch.
struct LoadedLibrary {
    QLibrary* library = nullptr;
    const ResourceSet* set = nullptr;
};

// By the library's resolved file name; guarded by g_loadLock.
QHash<QString, LoadedLibrary>& LoadedLibraries() {
    static auto* const loaded = new QHash<QString, LoadedLibrary>;
    return *loaded;
}

// Loads the library from `file` (a base name, with or without a folder) and builds its set;
// null when it is missing, is not a shared library or lacks a table of our layout. Called with
// g_loadLock held.
const ResourceSet* TryLibrary(const QString& file) {
    auto lib = std::make_unique<QLibrary>(file);
    if (!lib->load())
        return nullptr;
    const auto known = LoadedLibraries().constFind(lib->fileName());
    if (known != LoadedLibraries().cend()) {
        lib->unload();  // drops this handle's reference only; the kept one stays loaded
        return known->set;
    }
    const auto fn = reinterpret_cast<OrvUiLangTableFn>(lib->resolve(ORV_UI_LANG_TABLE_SYMBOL));
    int count = 0;
    int version = 0;
    const OrvUiEntry* table = fn != nullptr ? fn(&count, &version) : nullptr;
    if (table == nullptr || count <= 0 || version != ORV_UI_TABLE_VERSION) {
        lib->unload();
        return nullptr;
    }
    // The set copies every text, so the library's data need not outlive it.
    const ResourceSet* set = BuildSet(table, count, lib->fileName());
    const QString name = lib->fileName();
    LoadedLibraries().insert(name, LoadedLibrary{lib.release(), set});
    return set;
}

bool Choose(int lang, const QStringList& candidates) {
    QMutexLocker lock(&g_loadLock);
    const ResourceSet* chosen = nullptr;
    if (lang == 1) {
        for (const QString& c : candidates) {
            chosen = TryLibrary(c);
            if (chosen != nullptr) {
                break;
            }
        }
    }
    g_englishUi.store(chosen != nullptr ? 1 : 0, std::memory_order_release);
    g_active.store(chosen != nullptr ? chosen : ChineseSet(), std::memory_order_release);
    return chosen != nullptr;
}

}  // namespace

bool LoadLanguage(int lang) {
    const QString name = QString::fromLatin1(kEnglishLibraryName);
    QStringList candidates;
    const QString folder = ProgramFolder();
    if (!folder.isEmpty()) {
        candidates << folder + QLatin1Char('/') + name;
    }
    candidates << name;  // the dynamic loader's search path
    return Choose(lang, candidates);
}

bool LoadLanguage(int lang, const QStringList& folders) {
    const QString name = QString::fromLatin1(kEnglishLibraryName);
    QStringList candidates;
    for (const QString& f : folders) {
        candidates << f + QLatin1Char('/') + name;
    }
    return Choose(lang, candidates);
}

bool IsEnglishUi() {
    return g_englishUi.load(std::memory_order_acquire) == 1;
}

QString EnglishLibraryPath() {
    return IsEnglishUi() ? Active()->libraryPath : QString();
}

QString UiString(int id) {
    return Active()->texts.value(Key(ORV_UI_STRING, 0, id));
}

QString UiCaption(int dialog, int control) {
    return Active()->texts.value(Key(ORV_UI_CAPTION, dialog, control));
}

QString UiMenuText(int menu, int command) {
    return Active()->texts.value(Key(ORV_UI_MENU, menu, command));
}

QStringList UiListEntries(int dialog, int control) {
    return Active()->lists.value(Key(ORV_UI_LIST, dialog, control));
}

}  // namespace orv
