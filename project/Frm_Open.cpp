#include "Frm_Open.h"

#include "Frm_Connection.h"
#include "Mdl_Main.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNShell.h"
#include "ui_Frm_Open.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_Open");

} // namespace

Frm_Open::Frm_Open(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Open>())
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok = QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_DialogOkButton, QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCancelButton, QKeySequence(Qt::Key_Escape));
    m_ui->Lay_Main->insertWidget(0, m_toolBar);

    for (QLineEdit* box : {m_ui->Txt_P_NO, m_ui->Txt_P_NAME, m_ui->Txt_P_DATABASE, m_ui->Txt_P_USERID, m_ui->Txt_P_PWD,
                           m_ui->Txt_P_PATH})
        connect(box, &QLineEdit::textChanged, this, [this] { m_changed = true; });
    // Enter in a box confirms the dialog rather than pressing one of the two browse buttons.
    m_ui->Cmd_OleDB->setAutoDefault(false);
    m_ui->Cmd_Folder->setAutoDefault(false);
    connect(m_ui->Cmd_OleDB, &QPushButton::clicked, this, &Frm_Open::EditConnection);
    connect(m_ui->Cmd_Folder, &QPushButton::clicked, this, &Frm_Open::PickFolder);
    connect(m_ok, &QAction::triggered, this, &Frm_Open::Confirm);
    connect(m_exit, &QAction::triggered, this, [this] {
        m_dialogResult = 0;
        reject();
    });
    resize(560 * logicalDpiX() / 96, sizeHint().height());
    QVNDialogSize::Remember(this);
}

Frm_Open::~Frm_Open() = default;

QString Frm_Open::Text(const QString& key) const
{
    return QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key);
}

void Frm_Open::LoadFields()
{
    m_ui->Txt_P_NO->setText(P_NO);
    m_ui->Txt_P_NAME->setText(P_NAME);
    m_ui->Txt_P_DATABASE->setText(P_DATABASE);
    m_ui->Txt_P_USERID->setText(P_USERID);
    m_ui->Txt_P_PWD->setText(P_PWD);
    m_ui->Txt_P_PATH->setText(P_PATH);
    if (m_ui->Txt_P_PATH->text().isEmpty())
        m_ui->Txt_P_PATH->setText(Mdl_Main::OutPath);
    m_changed = false;
    m_dialogResult = 0;
    m_problems.clear();

    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_ok, Text(QStringLiteral("TB_TOOL_OK")));
    QVNDialogBar::SetCaption(m_exit, Text(QStringLiteral("TB_TOOL_EXIT")));
    // The two browse buttons show "..." only; screen readers get the field's label with them.
    m_ui->Cmd_OleDB->setText(QStringLiteral("..."));
    m_ui->Cmd_Folder->setText(QStringLiteral("..."));
    for (QPushButton* button : {m_ui->Cmd_OleDB, m_ui->Cmd_Folder})
        button->setMaximumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
    m_ui->Cmd_OleDB->setAccessibleName(QVNDialogBar::PlainCaption(Text(QStringLiteral("Cmd_OleDB"))));
    m_ui->Cmd_OleDB->setToolTip(QVNDialogBar::PlainCaption(Text(QStringLiteral("Cmd_OleDB"))));
    m_ui->Cmd_Folder->setAccessibleName(QVNDialogBar::PlainCaption(m_ui->Lbl_P_PATH->text()));
    m_ui->Txt_P_NO->setFocus();
}

int Frm_Open::Execute()
{
    LoadFields();
    exec();
    return m_dialogResult;
}

bool Frm_Open::Confirm()
{
    const QString values[6] = {m_ui->Txt_P_NO->text().trimmed(),       m_ui->Txt_P_NAME->text().trimmed(),
                               m_ui->Txt_P_DATABASE->text().trimmed(), m_ui->Txt_P_USERID->text().trimmed(),
                               m_ui->Txt_P_PWD->text().trimmed(),      m_ui->Txt_P_PATH->text().trimmed()};
    const QLabel* labels[3] = {m_ui->Lbl_P_NO, m_ui->Lbl_P_NAME, m_ui->Lbl_P_DATABASE};
    m_problems.clear();
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        if (!values[i].isEmpty())
            continue;
        ++count;
        m_problems += QString::number(count) + QStringLiteral(") [") + QVNDialogBar::PlainCaption(labels[i]->text()) +
                      QStringLiteral("] ") + Text(QStringLiteral("ERROR_MUST_INPUT")) + QStringLiteral("\r\n");
    }
    if (count > 0) {
        QVNMessage::Show(Text(QStringLiteral("ERROR_EDIT")), 0, m_problems, true, 10, this);
        return false;
    }
    P_NO = values[0];
    P_NAME = values[1];
    P_DATABASE = values[2];
    P_USERID = values[3];
    P_PWD = values[4];
    P_PATH = values[5];
    m_dialogResult = 1;
    accept();
    return true;
}

void Frm_Open::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
        qobject_cast<QLineEdit*>(focusWidget())) {
        Confirm();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Frm_Open::EditConnection()
{
    const QString current = m_ui->Txt_P_DATABASE->text();
    QString built;
    if (m_editor) {
        built = m_editor(this, current);
    } else {
        Frm_Connection editor(this);
        editor.Start(current, m_ui->Txt_P_USERID->text(), m_ui->Txt_P_PWD->text());
        if (editor.exec() == QDialog::Accepted) {
            built = editor.ConnectionString();
            // Credentials the user typed only in the editor come back to their own boxes.
            if (!editor.PasswordInString()) {
                if (!editor.User().isEmpty())
                    m_ui->Txt_P_USERID->setText(editor.User());
                if (!editor.Password().isEmpty())
                    m_ui->Txt_P_PWD->setText(editor.Password());
            }
        }
    }
    if (!built.isEmpty())
        m_ui->Txt_P_DATABASE->setText(built);
}

void Frm_Open::PickFolder()
{
    const QString folder = QVNShell::GetFolder(m_ui->Txt_P_PATH->text(), this);
    if (!folder.isEmpty())
        m_ui->Txt_P_PATH->setText(folder);
}
