#pragma once

// The layout of a UI resource set: every visible text of one language, keyed the same way in
// both sets. The Chinese set is built into the program; the English set lives in the UiLangEn
// library, which exports one C function returning its table. Plain C types only, so the
// library and the program agree on the layout whatever compiler built either.

extern "C" {

enum OrvUiKind {
    ORV_UI_STRING = 0,   // string table: id = string id, group unused (0)
    ORV_UI_CAPTION = 1,  // dialog caption: group = dialog id, id = control id (0 = the title)
    ORV_UI_MENU = 2,     // menu text: group = menu id, id = command id (0 = the popup's name)
    ORV_UI_LIST = 3,     // initial combo entry: group = dialog id, id = control id; in order
};

struct OrvUiEntry {
    int kind;  // OrvUiKind
    int group;
    int id;
    const char* text;  // UTF-8, "\n" marks a line break inside a caption
};

// Version of this layout; a library built for another layout is not used.
#define ORV_UI_TABLE_VERSION 1

// Exported by UiLangEn under this name: returns the table and stores its length in *count and
// the layout version in *version.
typedef const OrvUiEntry* (*OrvUiLangTableFn)(int* count, int* version);
#define ORV_UI_LANG_TABLE_SYMBOL "OrvUiLangTable"

}  // extern "C"
