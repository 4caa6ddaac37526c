#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

class ProgressCtrl;

// A progress bar that shows a ProgressCtrl. Changes made on any thread reach
// it as one queued repaint at a time, at most one per frame: the thread that
// moves the bar never waits for it.
class ProgressBarWidget : public QProgressBar {
  public:
    explicit ProgressBarWidget(QWidget* parent);
    ~ProgressBarWidget() override;

    void Bind(ProgressCtrl* control);
    ProgressCtrl* Control() const { return m_control; }

  private:
    void Refresh();

    static constexpr qint64 kFrameMs = 30;

    ProgressCtrl* m_control = nullptr;
    QElapsedTimer m_lastRefresh;
    bool m_refreshDue = false;
};
