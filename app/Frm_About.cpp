#include "Frm_About.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNShell.h"
#include "ui_Frm_About.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

Frm_About::Frm_About(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_About>())
{
    m_ui->setupUi(this);
    m_ui->Pict_Logo->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    m_ui->Pict_Logo->setAccessibleName(QStringLiteral("Pellmar Quorvin"));
    m_ui->Lbl_Ver->setText(QStringLiteral("Version: ") + Version());
    m_ui->Lbl_Language->setText(QStringLiteral("OS Language: ") + QVNLanguage::GetOSLanguage());
    m_ui->Lbl_Pellmar->setAccessibleName(QStringLiteral("Web site: ") + WebAddress());
    m_ui->Lbl_Mail->setAccessibleName(QStringLiteral("Mail: ") + MailAddress());
    // The links are followed by our own handler so they go through the one "open a document"
    // routine of the program, with the working folder the mail program expects.
    for (QLabel* link : {m_ui->Lbl_Pellmar, m_ui->Lbl_Mail}) {
        link->setTextInteractionFlags(Qt::NoTextInteraction);
        link->installEventFilter(this);
    }
}

Frm_About::~Frm_About() = default;

bool Frm_About::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_ui->Lbl_Mail) {
            QVNShell::Execute(this, QStringLiteral("Open"), MailAddress(), QString(), Mdl_Main::AppPath, 1);
            return true;
        }
        if (watched == m_ui->Lbl_Pellmar) {
            QVNShell::Execute(this, QStringLiteral("open"), WebAddress(), QString(), QString(), 0);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress && (watched == m_ui->Lbl_Mail || watched == m_ui->Lbl_Pellmar))
        return true; // a press on a link must not close the window before its release opens it
    return QDialog::eventFilter(watched, event);
}

void Frm_About::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    accept();
}

void Frm_About::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    accept();
}
