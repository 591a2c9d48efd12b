#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// What the station's windows share: the status colours, the string ids they show, the control
// ids that name their widgets, and the captions of the main window in both languages.
namespace orv {

inline const QColor kGreen{0, 255, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kYellow{255, 255, 0};
inline const QColor kClearedGrey{250, 250, 250};
inline const QColor kKeyOff{220, 220, 220};
inline const QColor kKeyOn{255, 255, 255};
inline const QColor kStageColor{150, 232, 150};

// String table ids the station shows.
enum StationString : int {
    IDS_WINDOW_INIT_FAILED = 155,
    IDS_COL_NAME = 159,
    IDS_COL_MAC = 160,
    IDS_COL_PAIR = 161,
    IDS_COL_MODE = 162,
    IDS_COL_VOL = 163,
    IDS_COL_BATTERY = 164,
    IDS_BT_CONNECTED = 165,
    IDS_BT_DISCONNECTED = 166,
    IDS_DONGLE_CONNECTED = 167,
    IDS_DONGLE_DISCONNECTED = 168,
    IDS_START_TEST = 169,
    IDS_STOP_TEST = 170,
    IDS_CONNECTING = 171,
    IDS_CONNECTING_SIMPLE = 172,
    IDS_SEARCHING = 173,
    IDS_COM_OPEN_FAILED = 174,
    IDS_INVALID_MAC = 175,
    IDS_CONNECT_FAILED = 176,
    IDS_AUTO_DISCONNECT = 177,
    IDS_PLAY_FILE_MISSING = 178,
    IDS_STOP_RECORD = 179,
    IDS_SAVE_FAILED = 180,
    IDS_START_RECORD = 181,
    IDS_SWITCH_A2DP_FAILED = 184,
    IDS_MAC_INPUT = 196,
    IDS_BT_CONNECTION = 197,
    IDS_KEY_VOLUP = 207,
    IDS_KEY_VOLDOWN = 208,
    IDS_KEY_PLAYPAUSE = 209,
    IDS_KEY_PREVIOUS = 210,
    IDS_KEY_NEXT = 211,
    IDS_KEY_VOL_GROUP = 212,
    IDS_KEY_MEDIA_GROUP = 213,
    IDS_RESET_DONE = 215,
};

// The text of string `id` in the language chosen at start-up.
QString StationText(int id);

// Control ids of the main window; each widget's object name is ControlName(id).
enum ControlId : int {
    IDC_SEARCH = 1000,
    IDC_AUTO_PAIR = 1001,
    IDC_RESET = 1002,
    IDC_DISCONNECT = 1003,
    IDC_MODE_HFP = 1004,
    IDC_MODE_A2DP = 1005,
    IDC_MAC_PAIR = 1006,
    IDC_ONE_KEY_TEST = 1007,
    IDC_DEVICE_TYPE = 1008,
    IDC_DEVICE_LIST = 1009,
    IDC_ADAPTER_LABEL = 1010,
    IDC_BT_LABEL = 1011,
    IDC_MAC_EDIT = 1012,
    IDC_MODE_DIAL = 1014,
    IDC_MODE_RING = 1015,
    IDC_KEY_START = 1016,
    IDC_KEY_STOP = 1017,
    IDC_KEY_VOLDOWN = 1018,
    IDC_KEY_VOLUP = 1019,
    IDC_KEY_NEXT = 1020,
    IDC_KEY_PREVIOUS = 1021,
    IDC_KEY_PLAYPAUSE = 1022,
    IDC_KEYLABEL_VOLDOWN = 1023,
    IDC_KEYLABEL_VOLUP = 1024,
    IDC_KEYLABEL_NEXT = 1025,
    IDC_KEYLABEL_PREVIOUS = 1026,
    IDC_KEYLABEL_PLAYPAUSE = 1027,
    IDC_KEY_RESULT = 1028,
    IDC_WIDE_BAND = 1029,
    IDC_NARROW_BAND = 1030,
    IDC_PLAY = 1031,
    IDC_PAUSE = 1033,
    IDC_STOP = 1034,
    IDC_PLAY_TIME = 1035,
    IDC_LOOP = 1036,
    IDC_RECORD = 1037,
    IDC_RECORD_SAVE = 1038,
    IDC_RECORD_TIME = 1040,
    IDC_RECORD_PLAY = 1041,
    IDC_ITEM_A2DP = 1042,
    IDC_ITEM_HFP_RECORD = 1043,
    IDC_ITEM_HFP_PLAYBACK = 1044,
    IDC_ITEM_KEY = 1046,
    IDC_READ_INFO = 1047,
    IDC_VOL_UP = 1048,
    IDC_VOL_DOWN = 1049,
    IDC_RECORD_PAUSE = 1051,
    IDC_SEARCH_PAIR = 1054,
    IDC_RECORD_PLAY_TIME = 1055,
    IDC_RECORD_STOP = 1056,
    IDC_RESULT_LABEL = 1057,
    IDC_SPL = 1058,
    IDC_RSSI = 1079,
    IDC_BATTERY = 1080,
    IDC_ITEM_RSSI = 1088,
    IDC_ITEM_BATTERY = 1094,
};

// "IDC_1000" for control 1000: the object name scripts and tests find a control by.
QString ControlName(int id);

// The caption of main-window control `id` in the current language ("" when it has none).
QString ControlCaption(int id);

// Text of context menu 130's command in the current language.
QString MenuText(int command);

// The UI face at a logical height in the Windows sense: the cell height in pixels.
QFont MakeUiFont(int logicalHeight, int weight = 400);

// The dialog font every window gives its controls (height 17).
QFont DialogFont();

}  // namespace orv
