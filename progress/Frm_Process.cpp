#include "Frm_Process.h"

#include "ui_Frm_Process.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QTimer>

namespace {
constexpr int TimerIntervalMs = 50;
constexpr int BarStep = 5;

qint64 monotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}
} // namespace

Frm_Process::Frm_Process(Clock clock, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::Frm_Process>()), m_clock(clock ? std::move(clock) : Clock(monotonicMs))
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window | Qt::WindowStaysOnTopHint);
    m_ui->Txt_Title->setVisible(false);
    m_ui->PB_Process->setValue(m_ui->PB_Process->minimum());

    m_startTime = m_clock();
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer_1"));
    m_timer->setInterval(TimerIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &Frm_Process::Tick);
    connect(m_ui->Cmd_Cancel, &QPushButton::clicked, this, &Frm_Process::cancelClicked);
    m_timer->start();
}

Frm_Process::~Frm_Process() = default;

void Frm_Process::SetTitle(const QString& pStr_Title)
{
    setWindowTitle(pStr_Title);
    m_ui->Txt_Title->setText(pStr_Title);
}

void Frm_Process::SetProcessing(const QString& pStr_Processing)
{
    m_ui->Lbl_Processing->setText(pStr_Processing);
}

void Frm_Process::SetCancelButton(const QString& pStr_Caption, bool pBol_Visible)
{
    m_ui->Cmd_Cancel->setText(pStr_Caption);
    m_ui->Cmd_Cancel->setVisible(pBol_Visible);
}

void Frm_Process::Tick()
{
    m_timer->stop();
    const qint64 seconds = qMax<qint64>(0, m_clock() - m_startTime) / 1000;
    setWindowTitle(m_ui->Txt_Title->text() + QStringLiteral("    [ ") + QString::number(seconds) +
                   QStringLiteral("s ]"));
    QProgressBar* bar = m_ui->PB_Process;
    const int next = bar->value() + BarStep;
    bar->setValue(next > bar->maximum() ? bar->minimum() : next);
    m_timer->start();
}

void Frm_Process::closeEvent(QCloseEvent* event)
{
    // Hidden, not destroyed: the owner unloads the window once control is back in the event loop.
    event->accept();
    emit closedByUser();
}
