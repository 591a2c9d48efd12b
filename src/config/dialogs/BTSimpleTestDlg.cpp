#include "config/dialogs/BTSimpleTestDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "config/dialogs/NumberField.h"
#include "lang/Language.h"

namespace orv {
namespace {

// The play file chooser's filter (a fixed literal, the same in both languages).
const char* const kPlayFileFilter = "wav Files (*.wav);;mp3 Files (*.mp3);;All File(*.*)";

// The maximum length of the name the search matches.
constexpr int kPairNameMaxLength = 50;

QString Caption(int id) {
    return UiCaption(kAudioPage, id);
}

QLabel* MakeLabel(int id, QWidget* parent) {
    auto* l = new QLabel(Caption(id), parent);
    l->setObjectName(CBaseDlg::ControlName(id) + QStringLiteral("_LABEL"));
    return l;
}

// A label that belongs to no field (frames, notes, section titles).
QLabel* MakeStatic(int id, QWidget* parent) {
    auto* l = new QLabel(Caption(id), parent);
    l->setObjectName(CBaseDlg::ControlName(id));
    return l;
}

// Section titles; drawn bold once the page has its font.
constexpr int kSectionIds[] = {
    CBTSimpleTestDlg::IDC_SEARCH_LABEL,      CBTSimpleTestDlg::IDC_CONNECT_LABEL,
    CBTSimpleTestDlg::IDC_SEARCH_PAIR_LABEL, CBTSimpleTestDlg::IDC_A2DP_LISTEN_LABEL,
    CBTSimpleTestDlg::IDC_HFP_RECORD_LABEL,  CBTSimpleTestDlg::IDC_HFP_PLAYBACK_LABEL,
    CBTSimpleTestDlg::IDC_KEY_TEST_LABEL,
};

QLabel* MakeSection(int id, QWidget* parent) {
    return MakeStatic(id, parent);
}

QCheckBox* MakeCheck(int id, QWidget* parent) {
    auto* c = new QCheckBox(Caption(id), parent);
    c->setObjectName(CBaseDlg::ControlName(id));
    return c;
}

// A text field at least `chars` digits wide that grows with the page.
QLineEdit* MakeEdit(int id, QWidget* parent, int chars) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(CBaseDlg::ControlName(id));
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars + 12);
    return e;
}

// A number field of a fixed width of `chars` digits.
QLineEdit* MakeNumberEdit(int id, QWidget* parent, int chars = 6) {
    QLineEdit* e = MakeEdit(id, parent, chars);
    e->setFixedWidth(e->minimumWidth());
    return e;
}

CSpinEdit* MakeSpin(int id, int minimum, int maximum, int step, QWidget* parent) {
    auto* s = new CSpinEdit(minimum, maximum, step, parent);
    s->setObjectName(CBaseDlg::ControlName(id));
    return s;
}

QComboBox* MakeList(int id, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(CBaseDlg::ControlName(id));
    c->addItems(UiListEntries(kAudioPage, id));
    return c;
}

// A row of widgets packed to the left.
QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    for (QWidget* w : widgets) {
        row->addWidget(w);
    }
    row->addStretch(1);
    return row;
}

void SetFlag(QCheckBox* c, int value) {
    c->setChecked(value != 0);
}

int Flag(const QCheckBox* c) {
    return c->isChecked() ? 1 : 0;
}

// A stored index outside the list shows (and is stored back as) the first entry.
void SetIndex(QComboBox* c, int index) {
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : 0);
}

}  // namespace

CBTSimpleTestDlg::CBTSimpleTestDlg(const QString& configPath, QWidget* parent)
    : CBaseDlg(parent, true), m_configPath(configPath) {
    setObjectName(QStringLiteral("CBTSimpleTestDlg"));
    BuildControls();
    InitBaseLook();
    for (const int id : kSectionIds) {
        if (auto* l = findChild<QLabel*>(ControlName(id))) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
    }
    m_loaded = LoadAudioSettings(m_configPath);
    PutValues(m_loaded);
}

void CBTSimpleTestDlg::BuildControls() {
    // Left frame: Bluetooth settings.
    auto* bt = new QGroupBox(Caption(IDC_BT_GROUP), this);
    bt->setObjectName(ControlName(IDC_BT_GROUP));
    auto* btGrid = new QGridLayout(bt);
    btGrid->setHorizontalSpacing(8);
    btGrid->setVerticalSpacing(4);
    int r = 0;

    btGrid->addWidget(MakeSection(IDC_SEARCH_LABEL, bt), r++, 0, 1, 3);
    m_searchPower = MakeSpin(IDC_SEARCH_POWER, -18, 6, 1, bt);
    btGrid->addWidget(MakeLabel(IDC_SEARCH_POWER, bt), r, 0);
    btGrid->addLayout(Row({m_searchPower, MakeStatic(IDC_SEARCH_POWER_NOTE, bt)}), r++, 1);
    m_timeOut = MakeSpin(IDC_SEARCH_TIMEOUT, 5, 60, 5, bt);
    btGrid->addWidget(MakeLabel(IDC_SEARCH_TIMEOUT, bt), r, 0);
    btGrid->addLayout(Row({m_timeOut}), r++, 1);
    m_inquiryWait = MakeSpin(IDC_INQUIRY_WAIT, 0, 100, 1, bt);
    btGrid->addWidget(MakeLabel(IDC_INQUIRY_WAIT, bt), r, 0);
    btGrid->addLayout(Row({m_inquiryWait}), r++, 1);
    m_inquiryWithName = MakeCheck(IDC_INQUIRY_WITH_NAME, bt);
    btGrid->addWidget(m_inquiryWithName, r++, 0, 1, 2);

    btGrid->addWidget(MakeSection(IDC_CONNECT_LABEL, bt), r++, 0, 1, 2);
    m_a2dpConnect = MakeCheck(IDC_A2DP_CONNECT, bt);
    m_hfpConnect = MakeCheck(IDC_HFP_CONNECT, bt);
    m_avrcpConnect = MakeCheck(IDC_AVRCP_CONNECT, bt);
    m_pairWhenConnect = MakeCheck(IDC_PAIR, bt);
    btGrid->addLayout(Row({m_a2dpConnect, m_hfpConnect, m_avrcpConnect, m_pairWhenConnect}), r++,
                      0, 1, 2);
    m_sampleRate = MakeList(IDC_SAMPLE_RATE, bt);
    btGrid->addWidget(MakeLabel(IDC_SAMPLE_RATE, bt), r, 0);
    btGrid->addLayout(Row({m_sampleRate}), r++, 1);
    m_passWord = MakeNumberEdit(IDC_PASSWORD, bt);
    btGrid->addWidget(MakeLabel(IDC_PASSWORD, bt), r, 0);
    btGrid->addLayout(Row({m_passWord, MakeStatic(IDC_PASSWORD_NOTE, bt)}), r++, 1);
    m_autoA2dpVol = MakeCheck(IDC_AUTO_A2DP_VOL, bt);
    m_a2dpVol = MakeSpin(IDC_A2DP_VOL, 0, 100, 1, bt);
    btGrid->addWidget(m_autoA2dpVol, r, 0);
    btGrid->addLayout(Row({m_a2dpVol, MakeStatic(IDC_A2DP_VOL_NOTE, bt)}), r++, 1);
    m_autoHfpVol = MakeCheck(IDC_AUTO_HFP_VOL, bt);
    m_hfpVol = MakeSpin(IDC_HFP_VOL, 0, 15, 1, bt);
    btGrid->addWidget(m_autoHfpVol, r, 0);
    btGrid->addLayout(Row({m_hfpVol, MakeStatic(IDC_HFP_VOL_NOTE, bt)}), r++, 1);
    m_answerCall = MakeCheck(IDC_ANSWER_CALL, bt);
    btGrid->addWidget(m_answerCall, r++, 0, 1, 2);
    m_musicMode = MakeCheck(IDC_MUSIC_MODE, bt);
    btGrid->addWidget(m_musicMode, r++, 0, 1, 2);

    btGrid->addWidget(MakeSection(IDC_SEARCH_PAIR_LABEL, bt), r++, 0, 1, 2);
    m_pairName = MakeCheck(IDC_PAIR_NAME, bt);
    m_pairNameStr = MakeEdit(IDC_PAIR_NAME_STR, bt, 16);
    m_pairNameStr->setMaxLength(kPairNameMaxLength);
    btGrid->addWidget(m_pairName, r, 0);
    btGrid->addWidget(m_pairNameStr, r++, 1);
    m_pairRssi = MakeCheck(IDC_PAIR_RSSI, bt);
    m_pairRssiValue = MakeSpin(IDC_PAIR_RSSI_VALUE, -128, 20, 1, bt);
    btGrid->addWidget(m_pairRssi, r, 0);
    btGrid->addLayout(Row({m_pairRssiValue, MakeStatic(IDC_RSSI_NOTE, bt)}), r++, 1);
    btGrid->setRowStretch(r, 1);
    btGrid->setColumnStretch(1, 1);

    // Right frame: test settings.
    auto* test = new QGroupBox(Caption(IDC_TEST_GROUP), this);
    test->setObjectName(ControlName(IDC_TEST_GROUP));
    auto* tv = new QVBoxLayout(test);
    tv->setSpacing(4);
    m_autoTest = MakeCheck(IDC_AUTO_TEST, test);
    tv->addWidget(m_autoTest);
    m_syncVol = MakeCheck(IDC_SYNC_VOL, test);
    tv->addWidget(m_syncVol);
    m_nameTest = MakeCheck(IDC_NAME_TEST, test);
    m_checkName = MakeEdit(IDC_CHECK_NAME, test, 12);
    m_nameTestMode = MakeList(IDC_NAME_TEST_MODE, test);
    tv->addLayout(Row({m_nameTest, m_checkName, m_nameTestMode}));
    m_hfpDial = MakeCheck(IDC_HFP_DIAL, test);
    tv->addWidget(m_hfpDial);

    auto* limits = new QGridLayout;
    limits->setHorizontalSpacing(6);
    m_rssiUpper = MakeNumberEdit(IDC_RSSI_UPPER, test, 5);
    m_rssiLower = MakeNumberEdit(IDC_RSSI_LOWER, test, 5);
    limits->addWidget(MakeStatic(IDC_RSSI_TEST_LABEL, test), 0, 0);
    limits->addWidget(MakeLabel(IDC_RSSI_UPPER, test), 0, 1);
    limits->addWidget(m_rssiUpper, 0, 2);
    limits->addWidget(MakeLabel(IDC_RSSI_LOWER, test), 0, 3);
    limits->addWidget(m_rssiLower, 0, 4);
    m_batteryUpper = MakeNumberEdit(IDC_BATTERY_UPPER, test, 5);
    m_batteryLower = MakeNumberEdit(IDC_BATTERY_LOWER, test, 5);
    limits->addWidget(MakeStatic(IDC_BATTERY_LABEL, test), 1, 0);
    limits->addWidget(MakeLabel(IDC_BATTERY_UPPER, test), 1, 1);
    limits->addWidget(m_batteryUpper, 1, 2);
    limits->addWidget(MakeLabel(IDC_BATTERY_LOWER, test), 1, 3);
    limits->addWidget(m_batteryLower, 1, 4);
    limits->setColumnStretch(5, 1);
    tv->addLayout(limits);

    tv->addWidget(MakeSection(IDC_A2DP_LISTEN_LABEL, test));
    m_playTimes = MakeNumberEdit(IDC_PLAY_TIMES, test);
    tv->addLayout(Row({MakeLabel(IDC_PLAY_TIMES, test), m_playTimes}));
    m_playFile = MakeEdit(IDC_PLAY_FILE, test, 24);
    m_playFileBrowse = new QToolButton(test);
    m_playFileBrowse->setObjectName(ControlName(IDC_PLAY_FILE_BROWSE));
    m_playFileBrowse->setText(QStringLiteral("..."));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(MakeLabel(IDC_PLAY_FILE, test));
    fileRow->addWidget(m_playFile, 1);
    fileRow->addWidget(m_playFileBrowse);
    tv->addLayout(fileRow);

    tv->addWidget(MakeSection(IDC_HFP_RECORD_LABEL, test));
    m_captureTimes = MakeNumberEdit(IDC_CAPTURE_TIMES, test);
    m_callDelay = MakeNumberEdit(IDC_CALL_DELAY, test);
    m_capLowerLimit = MakeNumberEdit(IDC_CAP_LOWER_LIMIT, test);
    tv->addLayout(
        Row({MakeLabel(IDC_CAPTURE_TIMES, test), m_captureTimes, MakeLabel(IDC_CALL_DELAY, test),
             m_callDelay, MakeLabel(IDC_CAP_LOWER_LIMIT, test), m_capLowerLimit}));

    tv->addWidget(MakeSection(IDC_HFP_PLAYBACK_LABEL, test));
    m_playbackTimes = MakeNumberEdit(IDC_PLAYBACK_TIMES, test);
    tv->addLayout(Row({MakeLabel(IDC_PLAYBACK_TIMES, test), m_playbackTimes}));

    tv->addWidget(MakeSection(IDC_KEY_TEST_LABEL, test));
    m_keyTimesCheck = MakeCheck(IDC_KEY_TIMES_CHECK, test);
    m_keyCheckTimes = MakeNumberEdit(IDC_KEY_CHECK_TIMES, test, 4);
    tv->addLayout(Row({m_keyTimesCheck, m_keyCheckTimes, MakeStatic(IDC_KEY_TIMES_NOTE, test)}));
    m_btMode = MakeCheck(IDC_BT_MODE, test);
    tv->addWidget(m_btMode);

    m_ringTest = MakeCheck(IDC_RING_TEST, test);
    m_ringTimes = MakeSpin(IDC_RING_TIMES, 1, 10, 1, test);
    m_ringInterval = MakeSpin(IDC_RING_INTERVAL, 1, 10, 1, test);
    tv->addLayout(Row({m_ringTest, MakeLabel(IDC_RING_TIMES, test), m_ringTimes,
                       MakeLabel(IDC_RING_INTERVAL, test), m_ringInterval}));
    m_atRingCmd = MakeCheck(IDC_AT_RING_CMD, test);
    m_ringA2dp = MakeCheck(IDC_RING_A2DP, test);
    tv->addLayout(Row({m_atRingCmd, m_ringA2dp}));
    tv->addStretch(1);

    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addWidget(bt, 1);
    top->addWidget(test, 1);

    connect(m_inquiryWithName, &QCheckBox::toggled, this, [this] { UpdateNameMatchEnabled(); });
    connect(m_playFileBrowse, &QToolButton::clicked, this, [this] { BrowsePlayFile(); });
}

void CBTSimpleTestDlg::PutValues(const AudioSettings& v) {
    m_searchPower->SetValue(v.searchPower);
    m_timeOut->SetValue(static_cast<int>(v.timeOut));
    m_inquiryWait->SetValue(v.inquiryWaitTime);
    SetFlag(m_inquiryWithName, v.inquiryWithName);
    SetFlag(m_a2dpConnect, v.a2dpConnect);
    SetFlag(m_hfpConnect, v.hfpConnect);
    SetFlag(m_avrcpConnect, v.avrcpConnect);
    SetFlag(m_pairWhenConnect, v.pairWhenConnect);
    SetIndex(m_sampleRate, v.sampleRate);
    m_passWord->setText(v.passWord);
    SetFlag(m_autoA2dpVol, v.isAutoAdjustA2DPVol);
    m_a2dpVol->SetValue(v.a2dpVol);
    SetFlag(m_autoHfpVol, v.isAutoAdjustHFPVol);
    m_hfpVol->SetValue(v.hfpVol);
    SetFlag(m_answerCall, v.answerCall);
    SetFlag(m_musicMode, v.hasMusicMode);
    SetFlag(m_pairName, v.pairName);
    m_pairNameStr->setText(v.pairNameStr);
    SetFlag(m_pairRssi, v.pairRssi);
    m_pairRssiValue->SetValue(v.pairRssiValue);
    SetFlag(m_autoTest, v.autoTestAfterMacConnected);
    SetFlag(m_syncVol, v.syncVol);
    SetFlag(m_nameTest, v.nameTest);
    m_checkName->setText(v.checkName);
    SetIndex(m_nameTestMode, v.nameTestMode);
    SetFlag(m_hfpDial, v.hfpDial);
    m_rssiUpper->setText(QString::number(v.rssiUpper));
    m_rssiLower->setText(QString::number(v.rssiLower));
    m_batteryUpper->setText(QString::number(v.batteryUpper));
    m_batteryLower->setText(QString::number(v.batteryLower));
    m_playTimes->setText(RealFieldText(v.playTimes));
    m_playFile->setText(v.playFileName);
    m_captureTimes->setText(RealFieldText(v.captureTimes));
    m_callDelay->setText(RealFieldText(v.callDelay));
    m_capLowerLimit->setText(RealFieldText(v.capLowerLimit));
    m_playbackTimes->setText(RealFieldText(v.playRecordPlayTimes));
    SetFlag(m_keyTimesCheck, v.needKeyTimesCheck);
    m_keyCheckTimes->setText(QString::number(v.keyCheckTimes));
    SetFlag(m_btMode, v.btMode);
    SetFlag(m_ringTest, v.ringCheckTest);
    m_ringTimes->SetValue(v.ringTestTimes);
    m_ringInterval->SetValue(v.ringInterval);
    SetFlag(m_atRingCmd, v.atRingCmd);
    SetFlag(m_ringA2dp, v.ringTestA2dp);
    UpdateNameMatchEnabled();
}

void CBTSimpleTestDlg::UpdateNameMatchEnabled() {
    // Matching by name needs the names the search looks up.
    const bool on = m_inquiryWithName->isChecked();
    m_pairName->setEnabled(on);
    m_pairNameStr->setEnabled(on);
}

void CBTSimpleTestDlg::BrowsePlayFile() {
    const QFileInfo current(m_playFile->text());
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), current.absolutePath(),
                                                        QString::fromLatin1(kPlayFileFilter));
    if (!chosen.isEmpty()) {
        m_playFile->setText(chosen);
    }
}

bool CBTSimpleTestDlg::ReadControls(AudioSettings* out) {
    AudioSettings v;
    // Each check reads one field; the first that fails reports and stops the read.
    const auto intField = [this](QWidget* field, const QString& text, int* value) {
        const std::optional<int> n = ParseIntField(text);
        if (!n) {
            FailField(field, IntNumberMessage());
            return false;
        }
        *value = *n;
        return true;
    };
    const auto rangeField = [&](QWidget* field, const QString& text, int lo, int hi, int* value) {
        if (!intField(field, text, value)) {
            return false;
        }
        if (*value < lo || *value > hi) {
            FailField(field, IntRangeMessage(lo, hi));
            return false;
        }
        return true;
    };
    const auto realField = [this](QLineEdit* field, double* value) {
        const std::optional<double> n = ParseRealField(field->text());
        if (!n) {
            FailField(field, RealNumberMessage());
            return false;
        }
        *value = *n;
        return true;
    };

    // Left frame, top to bottom.
    if (!rangeField(m_searchPower, m_searchPower->text(), -18, 6, &v.searchPower)) {
        return false;
    }
    const std::optional<unsigned> timeOut = ParseUIntField(m_timeOut->text());
    if (!timeOut) {
        FailField(m_timeOut, UIntNumberMessage());
        return false;
    }
    if (*timeOut < 5 || *timeOut > 60) {
        FailField(m_timeOut, IntRangeMessage(5, 60));
        return false;
    }
    v.timeOut = *timeOut;
    if (!intField(m_inquiryWait, m_inquiryWait->text(), &v.inquiryWaitTime)) {
        return false;
    }
    v.inquiryWithName = Flag(m_inquiryWithName);
    v.a2dpConnect = Flag(m_a2dpConnect);
    v.hfpConnect = Flag(m_hfpConnect);
    v.avrcpConnect = Flag(m_avrcpConnect);
    v.pairWhenConnect = Flag(m_pairWhenConnect);
    v.sampleRate = qMax(0, m_sampleRate->currentIndex());
    v.passWord = m_passWord->text();  // normalised when written
    v.isAutoAdjustA2DPVol = Flag(m_autoA2dpVol);
    if (!rangeField(m_a2dpVol, m_a2dpVol->text(), 0, 100, &v.a2dpVol)) {
        return false;
    }
    v.isAutoAdjustHFPVol = Flag(m_autoHfpVol);
    if (!rangeField(m_hfpVol, m_hfpVol->text(), 0, 15, &v.hfpVol)) {
        return false;
    }
    v.answerCall = Flag(m_answerCall);
    v.hasMusicMode = Flag(m_musicMode);
    v.pairName = Flag(m_pairName);
    v.pairNameStr = m_pairNameStr->text();
    v.pairRssi = Flag(m_pairRssi);
    if (!rangeField(m_pairRssiValue, m_pairRssiValue->text(), -128, 20, &v.pairRssiValue)) {
        return false;
    }

    // Right frame, top to bottom.
    v.autoTestAfterMacConnected = Flag(m_autoTest);
    v.syncVol = Flag(m_syncVol);
    v.nameTest = Flag(m_nameTest);
    v.checkName = m_checkName->text();
    v.nameTestMode = qMax(0, m_nameTestMode->currentIndex());
    v.hfpDial = Flag(m_hfpDial);
    if (!rangeField(m_rssiUpper, m_rssiUpper->text(), -128, 20, &v.rssiUpper) ||
        !rangeField(m_rssiLower, m_rssiLower->text(), -128, 20, &v.rssiLower) ||
        !rangeField(m_batteryUpper, m_batteryUpper->text(), 0, 100, &v.batteryUpper) ||
        !rangeField(m_batteryLower, m_batteryLower->text(), 0, 100, &v.batteryLower)) {
        return false;
    }
    if (!realField(m_playTimes, &v.playTimes)) {
        return false;
    }
    v.playFileName = m_playFile->text();
    if (!realField(m_captureTimes, &v.captureTimes) || !realField(m_callDelay, &v.callDelay) ||
        !realField(m_capLowerLimit, &v.capLowerLimit) ||
        !realField(m_playbackTimes, &v.playRecordPlayTimes)) {
        return false;
    }
    v.needKeyTimesCheck = Flag(m_keyTimesCheck);
    if (!intField(m_keyCheckTimes, m_keyCheckTimes->text(), &v.keyCheckTimes)) {
        return false;
    }
    v.btMode = Flag(m_btMode);
    v.ringCheckTest = Flag(m_ringTest);
    if (!intField(m_ringTimes, m_ringTimes->text(), &v.ringTestTimes) ||
        !intField(m_ringInterval, m_ringInterval->text(), &v.ringInterval)) {
        return false;
    }
    v.atRingCmd = Flag(m_atRingCmd);
    v.ringTestA2dp = Flag(m_ringA2dp);
    *out = v;
    return true;
}

bool CBTSimpleTestDlg::Store(const AudioSettings& values) {
    return ApplySettingWrites(m_configPath, AudioSettingsWrites(values));
}

void CBTSimpleTestDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // neither OK nor Cancel while this page has the focus
            return;
        default:
            CBaseDlg::keyPressEvent(event);
    }
}

}  // namespace orv
