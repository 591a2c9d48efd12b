#pragma once

#include <QString>

#include "config/dialogs/AudioSettings.h"
#include "config/dialogs/BaseDlg.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QToolButton;

namespace orv {

class CSpinEdit;

// Page 0 of the settings dialog: search, connect and test settings. Loads every key when it is
// created; stores nothing until the container's OK. Enter and Escape do nothing while the page
// has the focus (they neither confirm nor cancel the dialog).
class CBTSimpleTestDlg final : public CBaseDlg, public CCommonInfo {
    Q_OBJECT
public:
    // Control ids of the page (resource 135); captions of the labels beside a field share the
    // field's id.
    enum ControlId : int {
        IDC_SEARCH_POWER = 1029,
        IDC_SEARCH_TIMEOUT = 1052,
        IDC_INQUIRY_WAIT = 1054,
        IDC_INQUIRY_WITH_NAME = 1088,
        IDC_A2DP_CONNECT = 1062,
        IDC_HFP_CONNECT = 1063,
        IDC_AVRCP_CONNECT = 1101,
        IDC_PAIR = 1081,
        IDC_SAMPLE_RATE = 1089,
        IDC_PASSWORD = 1064,
        IDC_AUTO_A2DP_VOL = 1044,
        IDC_A2DP_VOL = 1026,
        IDC_AUTO_HFP_VOL = 1045,
        IDC_HFP_VOL = 1030,
        IDC_ANSWER_CALL = 1080,
        IDC_MUSIC_MODE = 1096,
        IDC_PAIR_NAME = 1055,
        IDC_PAIR_NAME_STR = 1059,
        IDC_PAIR_RSSI = 1056,
        IDC_PAIR_RSSI_VALUE = 1057,
        IDC_AUTO_TEST = 1041,
        IDC_SYNC_VOL = 1065,
        IDC_NAME_TEST = 1097,
        IDC_CHECK_NAME = 1098,
        IDC_NAME_TEST_MODE = 1099,
        IDC_HFP_DIAL = 1100,
        IDC_RSSI_UPPER = 1090,
        IDC_RSSI_LOWER = 1091,
        IDC_BATTERY_UPPER = 1093,
        IDC_BATTERY_LOWER = 1094,
        IDC_PLAY_TIMES = 1017,
        IDC_PLAY_FILE = 1023,
        IDC_CAPTURE_TIMES = 1018,
        IDC_CALL_DELAY = 1025,
        IDC_CAP_LOWER_LIMIT = 1019,
        IDC_PLAYBACK_TIMES = 1020,
        IDC_KEY_TIMES_CHECK = 1042,
        IDC_KEY_CHECK_TIMES = 1024,
        IDC_BT_MODE = 1095,
        IDC_RING_TEST = 1082,
        IDC_RING_TIMES = 1083,
        IDC_RING_INTERVAL = 1086,
        IDC_AT_RING_CMD = 1102,
        IDC_RING_A2DP = 1103,
        // Frames and section labels.
        IDC_BT_GROUP = 2001,
        IDC_SEARCH_LABEL = 2002,
        IDC_SEARCH_POWER_NOTE = 2003,
        IDC_CONNECT_LABEL = 2004,
        IDC_PASSWORD_NOTE = 2005,
        IDC_A2DP_VOL_NOTE = 2006,
        IDC_HFP_VOL_NOTE = 2007,
        IDC_SEARCH_PAIR_LABEL = 2008,
        IDC_RSSI_NOTE = 2009,
        IDC_TEST_GROUP = 2010,
        IDC_RSSI_TEST_LABEL = 2011,
        IDC_BATTERY_LABEL = 2012,
        IDC_A2DP_LISTEN_LABEL = 2013,
        IDC_HFP_RECORD_LABEL = 2014,
        IDC_HFP_PLAYBACK_LABEL = 2015,
        IDC_KEY_TEST_LABEL = 2016,
        IDC_KEY_TIMES_NOTE = 2017,
        IDC_PLAY_FILE_BROWSE = 2018,
    };

    CBTSimpleTestDlg(const QString& configPath, QWidget* parent);

    // Reads every control back with the number and range checks. On the first failure shows
    // the message naming what is allowed, puts the focus on the field and returns false.
    bool ReadControls(AudioSettings* out);
    // The container's OK, after every page's checks passed: writes the keys in their order.
    bool Store(const AudioSettings& values);

    // The values the page was loaded with.
    const AudioSettings& Loaded() const { return m_loaded; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void PutValues(const AudioSettings& v);
    void UpdateNameMatchEnabled();
    void BrowsePlayFile();

    QString m_configPath;
    AudioSettings m_loaded;

    CSpinEdit* m_searchPower = nullptr;
    CSpinEdit* m_timeOut = nullptr;
    CSpinEdit* m_inquiryWait = nullptr;
    QCheckBox* m_inquiryWithName = nullptr;
    QCheckBox* m_a2dpConnect = nullptr;
    QCheckBox* m_hfpConnect = nullptr;
    QCheckBox* m_avrcpConnect = nullptr;
    QCheckBox* m_pairWhenConnect = nullptr;
    QComboBox* m_sampleRate = nullptr;
    QLineEdit* m_passWord = nullptr;
    QCheckBox* m_autoA2dpVol = nullptr;
    CSpinEdit* m_a2dpVol = nullptr;
    QCheckBox* m_autoHfpVol = nullptr;
    CSpinEdit* m_hfpVol = nullptr;
    QCheckBox* m_answerCall = nullptr;
    QCheckBox* m_musicMode = nullptr;
    QCheckBox* m_pairName = nullptr;
    QLineEdit* m_pairNameStr = nullptr;
    QCheckBox* m_pairRssi = nullptr;
    CSpinEdit* m_pairRssiValue = nullptr;
    QCheckBox* m_autoTest = nullptr;
    QCheckBox* m_syncVol = nullptr;
    QCheckBox* m_nameTest = nullptr;
    QLineEdit* m_checkName = nullptr;
    QComboBox* m_nameTestMode = nullptr;
    QCheckBox* m_hfpDial = nullptr;
    QLineEdit* m_rssiUpper = nullptr;
    QLineEdit* m_rssiLower = nullptr;
    QLineEdit* m_batteryUpper = nullptr;
    QLineEdit* m_batteryLower = nullptr;
    QLineEdit* m_playTimes = nullptr;
    QLineEdit* m_playFile = nullptr;
    QToolButton* m_playFileBrowse = nullptr;
    QLineEdit* m_captureTimes = nullptr;
    QLineEdit* m_callDelay = nullptr;
    QLineEdit* m_capLowerLimit = nullptr;
    QLineEdit* m_playbackTimes = nullptr;
    QCheckBox* m_keyTimesCheck = nullptr;
    QLineEdit* m_keyCheckTimes = nullptr;
    QCheckBox* m_btMode = nullptr;
    QCheckBox* m_ringTest = nullptr;
    CSpinEdit* m_ringTimes = nullptr;
    CSpinEdit* m_ringInterval = nullptr;
    QCheckBox* m_atRingCmd = nullptr;
    QCheckBox* m_ringA2dp = nullptr;
};

}  // namespace orv
