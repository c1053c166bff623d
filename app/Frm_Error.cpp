#include "Frm_Error.h"

#include "Mdl_Main.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "ui_Frm_Error.h"

#include <QStyle>
#include <QTimer>

namespace {
int twipsToPixels(const QWidget* w, int twips)
{
    return twips * w->logicalDpiY() / 1440;
}
} // namespace

Frm_Error::Frm_Error(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Error>())
{
    m_ui->setupUi(this);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning,
                                            QStyle::SP_MessageBoxInformation};
    QLabel* pictures[] = {m_ui->Pict_Icon_0, m_ui->Pict_Icon_1, m_ui->Pict_Icon_2};
    for (int i = 0; i < 3; ++i) {
        pictures[i]->setPixmap(style()->standardIcon(icons[i], nullptr, this).pixmap(32, 32));
        pictures[i]->setVisible(false);
    }
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer_Close"));
    m_timer->setInterval(1000);

    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    m_detailText = m_ui->Cmd_Detail->text();
    m_ui->Cmd_Detail->setText(m_detailText + QStringLiteral(" <<"));
    m_ui->Txt_Second->setAccessibleName(m_ui->Lbl_Second->text());
    // The detail is often a long path or a driver's message: it wraps and can be selected and copied.
    m_ui->Txt_Detail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setMinimumWidth(twipsToPixels(this, 6600));
    ApplyHeight();

    connect(m_ui->Cmd_Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Cmd_Detail, &QPushButton::clicked, this, &Frm_Error::ShowDetail);
    connect(m_ui->Cmd_Stop, &QPushButton::clicked, m_timer, &QTimer::stop);
    connect(m_timer, &QTimer::timeout, this, &Frm_Error::CountDown);
}

Frm_Error::~Frm_Error() = default;

int Frm_Error::ExpandedHeight() const
{
    return twipsToPixels(this, 3500);
}

int Frm_Error::CollapsedHeight() const
{
    return twipsToPixels(this, 1800);
}

void Frm_Error::Setup(const QString& pStr_Message, int pInt_Type, const QString& pStr_Detail, bool pBol_ShowDetail,
                      int pInt_AutoCloseTime)
{
    m_ui->Lbl_Message->setText(pStr_Message);
    m_ui->Txt_Second->setText(QString::number(pInt_AutoCloseTime));
    m_ui->Txt_Detail->setPlainText(pStr_Detail);
    QLabel* pictures[] = {m_ui->Pict_Icon_0, m_ui->Pict_Icon_1, m_ui->Pict_Icon_2};
    for (int i = 0; i < 3; ++i)
        pictures[i]->setVisible(i == pInt_Type);
    // Screen readers announce the icon through the window's role; the message is the label.
    setAccessibleDescription(pStr_Message);

    bool wanted = pBol_ShowDetail;
    if (pStr_Detail.isEmpty()) {
        m_ui->Cmd_Detail->setVisible(false);
        wanted = false;
    }
    if (wanted != m_expanded)
        ShowDetail();
    // Only a notice may close by itself: a failure or a warning stays until it has been read.
    if (pInt_AutoCloseTime != 0 && pInt_Type == 2) {
        m_ui->Fra_Second->setVisible(true);
        m_timer->start();
    } else {
        m_ui->Fra_Second->setVisible(false);
        m_timer->stop();
    }
}

void Frm_Error::ShowDetail()
{
    m_expanded = !m_expanded;
    m_ui->Cmd_Detail->setText(m_detailText + (m_expanded ? QStringLiteral(" <<") : QStringLiteral(" >>")));
    ApplyHeight();
}

void Frm_Error::ApplyHeight()
{
    m_ui->Txt_Detail->setVisible(m_expanded);
    setFixedHeight(m_expanded ? ExpandedHeight() : CollapsedHeight());
}

bool Frm_Error::CountingDown() const
{
    return m_timer->isActive();
}

void Frm_Error::CountDown()
{
    const int left = m_ui->Txt_Second->text().trimmed().toInt() - 1;
    m_ui->Txt_Second->setText(QString::number(left));
    if (left < 1) {
        m_timer->stop();
        accept();
    }
}
