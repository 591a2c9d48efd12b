#pragma once

#include <QString>
#include <QStringList>

// The UI language: every visible text comes from the active resource set by identifier. The
// Chinese set is built in; the English set is the UiLangEn library, loaded at start-up when
// [Lang] "Lang" is 1. Chosen once before other threads exist; read from any thread afterwards.
namespace orv {

// Resource identifiers shared by both sets.
inline constexpr int kMainDialog = 102;        // main window
inline constexpr int kAudioPage = 135;         // Bluetooth audio settings page
inline constexpr int kSerialPortPage = 384;    // serial port settings page
inline constexpr int kSimpleTestDialog = 385;  // simple test window
inline constexpr int kLangPage = 386;          // language settings page
inline constexpr int kMainMenu = 130;          // main window context menu
inline constexpr int kStatisticsMenu = 137;    // statistics grid context menu
inline constexpr int kDialogTitle = 0;         // UiCaption(dialog, kDialogTitle): the title
inline constexpr int kMenuPopup = 0;           // UiMenuText(menu, kMenuPopup): the popup's name
inline constexpr int kLangPageNote = -1;       // UiCaption(kLangPage, kLangPageNote)

// The library's base name; QLibrary adds the platform's prefix and suffix (libUiLangEn.so).
inline constexpr const char* kEnglishLibraryName = "UiLangEn";

// Chooses the language: 1 loads the English library, looking beside the program first and then
// on the system's library path; any other value, or a library that is missing or not a valid
// UiLangEn, gives the built-in Chinese set without a word. Returns true when English is active.
bool LoadLanguage(int lang);
// The same, looking for the library only in `folders` (in order).
bool LoadLanguage(int lang, const QStringList& folders);

// True while the English set is active (g_englishUi).
bool IsEnglishUi();
// File of the loaded English library, or empty.
QString EnglishLibraryPath();

// String table entry 149..219; an id the active set lacks gives an empty text.
QString UiString(int id);
// Caption of a dialog's control (kDialogTitle: the dialog's title).
QString UiCaption(int dialog, int control);
// Text of a menu command (kMenuPopup: the popup's name).
QString UiMenuText(int menu, int command);
// Entries a combo box of a dialog starts with, in order.
QStringList UiListEntries(int dialog, int control);

}  // namespace orv
