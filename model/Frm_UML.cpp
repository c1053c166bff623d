#include "Frm_UML.h"

#include "Mdl_Main.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNMessage.h"
#include "QVNUMLConvert.h"
#include "ui_Frm_UML.h"

#include <QApplication>
#include <QFontDatabase>

Frm_UML::Frm_UML(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::Frm_UML>()), m_identifiers(TQXCols::Create())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    QVNFormLocalizer::Localize(this, Mdl_Main::Language());
    m_ui->Txt_File->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_ui->Txt_File->setAccessibleName(windowTitle());
    connect(m_ui->Cmd_OK, &QPushButton::clicked, this, [this] { Convert(); });
    QVNDialogSize::Remember(this);
}

Frm_UML::~Frm_UML() = default;

QString Frm_UML::GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End,
                                 int& pInt_Begin, int& pInt_End)
{
    return QVNUMLConvert::GetBeginEndData(text, pStr_Begin, pStr_End, pInt_Begin, pInt_End);
}

void Frm_UML::Convert()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_ui->Cmd_OK->setEnabled(false);
    const QString result = QVNUMLConvert::Convert(m_ui->Txt_File->toPlainText(), m_identifiers);
    m_ui->Txt_File->setPlainText(result);
    m_ui->Cmd_OK->setEnabled(true);
    QApplication::restoreOverrideCursor();
    QVNMessage::Show(
        QVNFormLocalizer::Text(Mdl_Main::Language(), QStringLiteral("Frm_UML"), QStringLiteral("MESSAGE_CONVERT_OK")),
        2, QString(), false, 0, this);
}
