#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class QTimer;

namespace Ui {
class Frm_Process;
}

/**
 * @brief The progress window: title, status line, an animated bar, the elapsed seconds in the
 * caption and an optional Cancel button. Always on top of ordinary windows.
 *
 * Constructing the window is loading it: the start time is taken and the 50 ms timer `Timer_1`
 * starts, shown or not. Each tick rebuilds the caption from `Txt_Title` and the whole seconds since
 * the start time and moves the bar on by 5, wrapping to its minimum after its maximum; the bar only
 * shows that the server is alive, not how far the work has got.
 *
 * The window does not decide its own lifetime: Cancel and a close by the user are reported through
 * the signals, and the owner unloads (deletes) the window.
 */
class Frm_Process : public QWidget
{
    Q_OBJECT

public:
    /// Milliseconds on a monotonic clock; tests substitute their own.
    using Clock = std::function<qint64()>;

    explicit Frm_Process(Clock clock = Clock(), QWidget* parent = nullptr);
    ~Frm_Process() override;

    /// Window caption and `Txt_Title` become the title; the next tick adds the elapsed seconds.
    void SetTitle(const QString& pStr_Title);
    void SetProcessing(const QString& pStr_Processing);
    void SetCancelButton(const QString& pStr_Caption, bool pBol_Visible);

    /// The clock reading when the window was loaded.
    qint64 StartTime() const { return m_startTime; }
    /// One timer step (the timer calls it every 50 ms).
    void Tick();

signals:
    void cancelClicked();
    /// The user closed the window through the window manager.
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::Frm_Process> m_ui;
    QTimer* m_timer = nullptr;
    Clock m_clock;
    qint64 m_startTime = 0;
};
