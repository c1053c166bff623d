#include "Frm_Option.h"

#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "QVNDialogBar.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNShell.h"
#include "ui_Frm_Option.h"

#include <QRegularExpression>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_Option");

} // namespace

Frm_Option::Frm_Option(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Option>())
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok = QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_DialogSaveButton);
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCloseButton, QKeySequence(Qt::Key_Escape));
    // The tool bar sits at the top right, above the folder rows.
    QVNDialogBar::PlaceTopRight(m_ui->Lay_Main, m_toolBar);

    m_ui->Txt_ProjectPath->setText(Mdl_Main::ProjectPath);
    m_ui->Txt_ModelPath->setText(Mdl_Main::ModelPath);
    m_ui->Txt_OutPath->setText(Mdl_Main::OutPath);

    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_ok, QVNFormLocalizer::Text(language, kSection, QStringLiteral("TB_TOOL_OK")));
    QVNDialogBar::SetCaption(m_exit, QVNFormLocalizer::Text(language, kSection, QStringLiteral("TB_TOOL_EXIT")));
    m_ok->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    // The three browse buttons show "..." only; screen readers get the field's label.
    m_ui->Cmd_ProjectPath->setText(QStringLiteral("..."));
    m_ui->Cmd_ModelPath->setText(QStringLiteral("..."));
    m_ui->Cmd_OutPath->setText(QStringLiteral("..."));
    m_ui->Cmd_ProjectPath->setAccessibleName(m_ui->Lbl_ProjectPath->text());
    m_ui->Cmd_ModelPath->setAccessibleName(m_ui->Lbl_ModelPath->text());
    m_ui->Cmd_OutPath->setAccessibleName(m_ui->Lbl_OutPath->text());
    resize(width() * logicalDpiX() / 96, sizeHint().height());

    connect(m_ui->Cmd_ProjectPath, &QPushButton::clicked, this, [this] { PickFolder(m_ui->Txt_ProjectPath); });
    connect(m_ui->Cmd_ModelPath, &QPushButton::clicked, this, [this] { PickFolder(m_ui->Txt_ModelPath); });
    connect(m_ui->Cmd_OutPath, &QPushButton::clicked, this, [this] { PickFolder(m_ui->Txt_OutPath); });
    connect(m_ok, &QAction::triggered, this, [this] {
        if (Save())
            accept();
    });
    connect(m_exit, &QAction::triggered, this, &QDialog::reject);
}

Frm_Option::~Frm_Option() = default;

void Frm_Option::PickFolder(QLineEdit* field)
{
    const QString folder = QVNShell::GetFolder(field->text(), this);
    if (!folder.isEmpty())
        field->setText(folder);
}

bool Frm_Option::Save()
{
    const QString project = m_ui->Txt_ProjectPath->text().trimmed();
    const QString model = m_ui->Txt_ModelPath->text().trimmed();
    const QString out = m_ui->Txt_OutPath->text().trimmed();
    QVNLanguage& language = Mdl_Main::Language();
    const QString mustInput = QVNFormLocalizer::Text(language, kSection, QStringLiteral("ERROR_MUST_INPUT"));
    QString problems;
    int count = 0;
    const std::pair<const QString*, const QLabel*> fields[] = {
        {&project, m_ui->Lbl_ProjectPath}, {&model, m_ui->Lbl_ModelPath}, {&out, m_ui->Lbl_OutPath}};
    for (const auto& [value, label] : fields) {
        if (value->isEmpty())
            problems += QStringLiteral("%1) [%2] %3\r\n")
                            .arg(++count)
                            .arg(QVNDialogBar::PlainCaption(label->text()), mustInput);
    }
    if (count > 0) {
        QVNMessage::Show(QVNFormLocalizer::Text(language, kSection, QStringLiteral("ERROR_EDIT")), 0, problems, true,
                         10, this);
        return false;
    }
    // A settings file that cannot be written must not look like a saved choice: the failure is
    // shown and the window stays open with the texts as typed.
    QVNConfig& config = Mdl_Main::Config();
    QVNError failures;
    const std::pair<const char*, const QString*> values[] = {
        {"ProjectPath", &project}, {"ModelPath", &model}, {"OutPath", &out}};
    for (const auto& [name, value] : values) {
        if (!config.SaveRegSetting(Mdl_Main::ProductName, QStringLiteral("Setup"), QLatin1String(name), *value))
            failures.AddExceptions(config.Exceptions);
    }
    Mdl_Main::LoadFolderSettings();
    if (!failures.IsEmpty()) {
        QVNMessage::Show(QVNFormLocalizer::Text(language, kSection, QStringLiteral("ERROR_SAVE")), 0,
                         failures.ToString(), true, 10, this);
        return false;
    }
    return true;
}
