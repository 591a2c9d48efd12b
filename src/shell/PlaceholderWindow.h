#pragma once

#include <QMainWindow>

// The main window until the station's own window takes its place: it frames the run in the log
// with the START OF PROGRAM line (first shown) and the END OF PROGRAM line (destroyed).
namespace orv {

class CPlaceholderWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit CPlaceholderWindow(QWidget* parent = nullptr);
    ~CPlaceholderWindow() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_started = false;
};

}  // namespace orv
