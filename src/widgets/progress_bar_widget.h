#pragma once

#include <QProgressBar>

class ProgressCtrl;

// A progress bar that shows a ProgressCtrl. Changes made on any thread reach
// it as one queued repaint at a time: the thread that moves the bar never
// waits for it.
class ProgressBarWidget : public QProgressBar {
  public:
    explicit ProgressBarWidget(QWidget* parent);
    ~ProgressBarWidget() override;

    void Bind(ProgressCtrl* control);
    ProgressCtrl* Control() const { return m_control; }

  private:
    void Refresh();

    ProgressCtrl* m_control = nullptr;
};
