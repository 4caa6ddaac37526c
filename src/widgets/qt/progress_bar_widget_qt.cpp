#include "widgets/qt/progress_bar_widget.h"

#include <QMetaObject>
#include <QTimer>

#include "framework/progress_ctrl.h"

ProgressBarWidget::ProgressBarWidget(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setRange(0, 100);
    setValue(0);
}

ProgressBarWidget::~ProgressBarWidget() {
    Bind(nullptr);
}

void ProgressBarWidget::Bind(ProgressCtrl* control) {
    if (m_control != nullptr) {
        // Returns only once no notification is running any more.
        m_control->SetObserver(nullptr);
    }
    m_control = control;
    if (m_control != nullptr) {
        m_control->SetObserver([this] {
            QMetaObject::invokeMethod(
                this, [this] { Refresh(); }, Qt::QueuedConnection);
        });
    }
}

void ProgressBarWidget::Refresh() {
    if (m_control == nullptr || m_refreshDue) {
        return;
    }
    // At most one repaint per frame: a fast download would otherwise keep
    // the user-interface thread busy painting what nobody can see.
    const qint64 sinceLast = m_lastRefresh.isValid() ? m_lastRefresh.elapsed() : kFrameMs;
    if (sinceLast < kFrameMs) {
        m_refreshDue = true;
        QTimer::singleShot(static_cast<int>(kFrameMs - sinceLast), this, [this] {
            m_refreshDue = false;
            Refresh();
        });
        return;
    }
    m_lastRefresh.start();
    const ProgressCtrl::Snapshot snapshot = m_control->TakeSnapshot();
    if (snapshot.upper <= snapshot.lower) {
        // QProgressBar shows an empty range as a busy animation.
        setRange(0, 1);
        setValue(0);
        return;
    }
    setRange(snapshot.lower, snapshot.upper);
    setValue(snapshot.pos);
}
