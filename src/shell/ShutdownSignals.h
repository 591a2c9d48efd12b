#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT turned into an ordinary event: the handler only writes the signal number
// into a pipe; the event loop reads it and emits requested(), so the program shuts down in order
// on its own thread (windows closed, END OF PROGRAM written) instead of dying inside a handler.
namespace orv {

class CShutdownSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance per process. Restores the previous handlers when
    // destroyed.
    explicit CShutdownSignals(QObject* parent = nullptr);
    ~CShutdownSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void requested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace orv
