#include "results/TestResults.h"

#include "config/Settings.h"

namespace orv {

CTestResults::CTestResults(const ResultTexts& texts, const QString& configPath,
                           const QString& journalPath, int timeoutSeconds, QObject* parent)
    : QObject(parent),
      m_texts(texts),
      m_configPath(configPath),
      m_saver(journalPath, timeoutSeconds) {
    // Queued: the report is made on the saver thread and shown on this object's thread.
    connect(&m_saver, &CResultSaveWorker::saveFinished, this, &CTestResults::saveFinished,
            Qt::QueuedConnection);
    RebuildItemRows();
}

CTestResults::~CTestResults() = default;

void CTestResults::RebuildItemRows() {
    m_record.RebuildItemRows(ItemSwitches::Read(m_configPath), m_texts);
}

void CTestResults::StartRun() {
    RebuildItemRows();
    m_record.StartRun();
}

void CTestResults::Finish(bool pass, int failedStep, const HeadsetValues& headset) {
    QString filePath;
    ResultRow row;
    if (CResultSaver::BuildFromConfig(m_configPath, m_texts, headset, pass, failedStep,
                                      m_record.HfpMaxLevel(), &filePath, &row)) {
        m_saver.Submit(filePath, row);
    }
    RebuildItemRows();
    m_statistics.Count(pass);
    m_lastResult.store(pass ? 1 : 0);
    emit testFinished(pass, pass ? kStepNone : failedStep);
}

void CTestResults::RetryJournal() {
    if (GetAutoSaveIsSave(m_configPath) == 0) {
        return;
    }
    const QString filePath =
        CResultSaver::ResolveFilePath(m_configPath, GetAutoSaveFilePath(m_configPath));
    if (!filePath.isEmpty()) {
        m_saver.SubmitDrain(filePath);
    }
}

}  // namespace orv
