#include "Frm_Database.h"

#include "Frm_About.h"
#include "Frm_Option.h"
#include "Frm_Package.h"
#include "Frm_Show.h"
#include "Frm_UML.h"
#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNProcess.h"
#include "QVNProject.h"
#include "QVNShell.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "TQXRow.h"
#include "TQXRows.h"
#include "ui_Frm_Database.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {

const QString kSection = QStringLiteral("Frm_Database");
const QString kGlobal = QStringLiteral("GLOBAL");
const QString kRecentSection = QStringLiteral("ProjectFile");
constexpr int kRecentCount = 10;
constexpr int kProjectOpen = 4;
constexpr int kNoProject = 5;

// Layout lengths in twips, the unit the window's geometry rules are written in.
constexpr int kMinWindow = 5000;
constexpr int kMinPane = 1500;
constexpr int kDefaultLeft = 3000;

/// A menu caption without its mnemonic, for tool-bar buttons and accessible names: "&Open" and
/// the Chinese form "打开(&O)" both become the bare word.
QString plainCaption(QString text)
{
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&(?=.)"));
    text.remove(mnemonic);
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text.trimmed();
}

} // namespace

Frm_Database::Frm_Database(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::Frm_Database>())
{
    m_ui->setupUi(this);
    QStyle* s = style();
    m_ui->Mnu_File_New->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    m_ui->Mnu_File_Open->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    m_ui->Mnu_File_Save->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    m_ui->Mnu_File_Refresh->setIcon(s->standardIcon(QStyle::SP_BrowserReload));
    m_ui->Mnu_File_Build->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    m_ui->Mnu_Help_About->setIcon(s->standardIcon(QStyle::SP_MessageBoxInformation));
    m_ui->Mnu_Help_Help->setIcon(s->standardIcon(QStyle::SP_DialogHelpButton));
    m_ui->Mnu_File_Exit->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));

    // Separators carry their names too, so the one above the recent list can be hidden with it.
    const char* const fileSeparators[] = {"Mnu_File_3", "Mnu_File_1", "Mnu_File_2", "Mnu_File_4"};
    int sep = 0;
    for (QAction* a : m_ui->Mnu_File->actions())
        if (a->isSeparator() && sep < 4)
            a->setObjectName(QLatin1String(fileSeparators[sep++]));
    m_recentSeparator = m_ui->Mnu_File->findChild<QAction*>(QStringLiteral("Mnu_File_2"));
    for (QAction* a : m_ui->Mnu_Tool->actions())
        if (a->isSeparator())
            a->setObjectName(QStringLiteral("Mnu_Tool_1"));
    const char* const helpSeparators[] = {"Mnu_Help_2", "Mnu_Help_1"};
    sep = 0;
    for (QAction* a : m_ui->Mnu_Help->actions())
        if (a->isSeparator() && sep < 2)
            a->setObjectName(QLatin1String(helpSeparators[sep++]));

    for (int i = 0; i < kRecentCount; ++i) {
        QAction* entry = m_ui->Mnu_NewList->addAction(QString());
        entry->setObjectName(QStringLiteral("Mnu_List_%1").arg(i));
        entry->setVisible(false);
        connect(entry, &QAction::triggered, this, [this, entry] { OpenProjectFile(entry->data().toString()); });
        m_recent.append(entry);
    }

    // Tool bar: the menu commands themselves, so a command is enabled in both places at once.
    QToolBar* bar = m_ui->Tb_Tool;
    bar->addAction(m_ui->Mnu_File_New);
    bar->addAction(m_ui->Mnu_File_Open);
    bar->addAction(m_ui->Mnu_File_Save);
    bar->addSeparator();
    bar->addAction(m_ui->Mnu_File_Refresh);
    bar->addAction(m_ui->Mnu_File_Build);
    m_toolButton = new QToolButton(bar);
    m_toolButton->setObjectName(QStringLiteral("tool"));
    m_toolButton->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
    m_toolButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolButton->setPopupMode(QToolButton::InstantPopup);
    auto* toolMenu = new QMenu(m_toolButton);
    toolMenu->setObjectName(QStringLiteral("Mnu_ToolDropDown"));
    toolMenu->addAction(m_ui->Mnu_Tool_Package);
    toolMenu->addAction(m_ui->Mnu_Tool_MSSQL1);
    toolMenu->addAction(m_ui->Mnu_Tool_MSSQL2);
    toolMenu->addAction(m_ui->Mnu_Tool_WEB);
    m_toolButton->setMenu(toolMenu);
    bar->addWidget(m_toolButton);
    bar->addSeparator();
    bar->addAction(m_ui->Mnu_Help_About);
    bar->addAction(m_ui->Mnu_Help_Help);
    bar->addAction(m_ui->Mnu_File_Exit);

    // The changed indicator sits just right of the last button; Pict_Tool at the row's right end.
    auto* changed = new QWidget(bar);
    auto* changedLayout = new QHBoxLayout(changed);
    changedLayout->setContentsMargins(100 * logicalDpiX() / 1440, 0, 0, 0);
    m_pictChanged = new QLabel(changed);
    m_pictChanged->setObjectName(QStringLiteral("Pict_Changed"));
    m_pictChanged->setPixmap(s->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
    m_lblChanged = new QLabel(changed);
    m_lblChanged->setObjectName(QStringLiteral("Lbl_DataChanged"));
    changedLayout->addWidget(m_pictChanged);
    changedLayout->addWidget(m_lblChanged);
    m_changedAction = bar->addWidget(changed);
    m_changedAction->setVisible(false);
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_pictTool = new QToolButton(bar);
    m_pictTool->setObjectName(QStringLiteral("Pict_Tool"));
    m_pictTool->setAutoRaise(true);
    m_pictTool->setIcon(s->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
    // Tool-bar buttons take no focus; the shortcut makes the Tools menu reachable by keyboard.
    m_pictTool->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    bar->addWidget(m_pictTool);

    m_panel1 = new QLabel(this);
    m_panel1->setObjectName(QStringLiteral("SB_Project_1"));
    m_panel2 = new QLabel(this);
    m_panel2->setObjectName(QStringLiteral("SB_Project_2"));
    m_panel2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_ui->SB_Project->addWidget(m_panel1, 1);
    m_ui->SB_Project->addPermanentWidget(m_panel2, 2);

    // The Tools menu appears only after a click on Pict_Tool; the drop-down is always there.
    m_ui->Mnu_Tool->menuAction()->setVisible(false);

    // Layout: the splitter's bar is Pict_Line; a drag shows a shadow and moves the panes on release.
    QSplitter* split = m_ui->Pict_Split;
    split->handle(1)->setObjectName(QStringLiteral("Pict_Line"));
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    const int twip = logicalDpiX();
    setMinimumSize(kMinWindow * twip / 1440, kMinWindow * logicalDpiY() / 1440);
    m_ui->Pict_Left->setMinimumWidth(kMinPane * twip / 1440);
    m_ui->Pict_Right->setMinimumWidth(kMinPane * twip / 1440);
    m_ui->Tv_Left->setAccessibleName(QStringLiteral("Tv_Left"));

    // The three SQL Server and web entries have never had an action: they stay disabled rather
    // than pretend to work.
    for (QAction* a : {m_ui->Mnu_Tool_MSSQL1, m_ui->Mnu_Tool_MSSQL2, m_ui->Mnu_Tool_WEB})
        a->setEnabled(false);
    connect(m_ui->Mnu_Tool_Package, &QAction::triggered, this, [this] {
        Frm_Package window(this);
        window.exec();
    });
    connect(m_ui->Mnu_Tool_UML, &QAction::triggered, this, [this] {
        Frm_UML window(this);
        window.exec();
    });
    Frm_Show::Register();

    connect(m_ui->Mnu_File_Setup, &QAction::triggered, this, &Frm_Database::ShowOptions);
    connect(m_ui->Mnu_File_New, &QAction::triggered, this, &Frm_Database::FileNew);
    connect(m_ui->Mnu_File_Open, &QAction::triggered, this, &Frm_Database::FileOpen);
    connect(m_ui->Mnu_File_Save, &QAction::triggered, this, &Frm_Database::FileSave);
    connect(m_ui->Mnu_File_Exit, &QAction::triggered, this, &QWidget::close);
    connect(m_ui->Mnu_Help_About, &QAction::triggered, this, &Frm_Database::ShowAbout);
    connect(m_ui->Mnu_Help_Help, &QAction::triggered, this, &Frm_Database::ShowHelp);
    connect(m_ui->Mnu_Help_WEB, &QAction::triggered, this, [this] {
        QVNShell::Execute(this, QStringLiteral("open"), Frm_About::WebAddress(), QString(), QString(), 1);
    });
    connect(m_ui->Mnu_Help_Mail, &QAction::triggered, this, [this] {
        QVNShell::Execute(this, QStringLiteral("Open"), Frm_About::MailAddress(), QString(), Mdl_Main::AppPath, 1);
    });
    connect(m_pictTool, &QToolButton::clicked, this, [this] { m_ui->Mnu_Tool->menuAction()->setVisible(true); });

    InitWindow();
    ShowRecentProjects();
    BuildLanguageMenu();
    ApplyCaptions();
    SetProjectState(kNoProject);
    RestoreLayout();
}

Frm_Database::~Frm_Database() = default;

// ---------------------------------------------------------------------------------------------
// Flags and state

void Frm_Database::SetPageChanged(bool value)
{
    m_pageChanged = value;
    if (value)
        SetProjectChanged(true);
}

void Frm_Database::SetProjectChanged(bool value)
{
    m_projectChanged = value;
    m_changedAction->setVisible(value);
}

void Frm_Database::InitWindow()
{
    m_filling = false;
    m_ui->Fra_TableList->setVisible(false);
    m_ui->Fra_ColumnList->setVisible(false);
    m_dialogFolder = Mdl_Main::ProjectPath;
}

void Frm_Database::SetProjectState(int state)
{
    if (state == kProjectOpen) {
        // Saving writes the table list back; it is offered only once that list has been read,
        // so a save can never replace the stored annotations by an empty list.
        m_ui->Mnu_File_Save->setEnabled(m_tablesRead);
        // Refresh and build act on the database tree and the build window, which come later.
        m_ui->Mnu_File_Refresh->setEnabled(false);
        m_ui->Mnu_File_Build->setEnabled(false);
    } else if (state == kNoProject) {
        m_ui->Mnu_File_Save->setEnabled(false);
        m_ui->Mnu_File_Refresh->setEnabled(false);
        m_ui->Mnu_File_Build->setEnabled(false);
        m_panel1->clear();
        m_panel2->clear();
        m_project.reset();
        m_tablesRead = false;
        m_ui->Tv_Left->clear();
        m_ui->Fra_TableList->setVisible(false);
        m_ui->Fra_ColumnList->setVisible(false);
        SetPageChanged(false);
        SetProjectChanged(false);
    }
    ShowProjectSummary();
}

void Frm_Database::ShowProjectSummary()
{
    if (!m_project) {
        m_ui->Lbl_Hint->setText(Text(QStringLiteral("MESSAGE_NO_PROJECT")));
        return;
    }
    // A password typed into the connection string is not put on the screen.
    static const QRegularExpression password(QStringLiteral("((?:pwd|password)\\s*=)[^;]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QString connection = QString(m_project->P_DATABASE).replace(password, QStringLiteral("\\1*****"));
    QString text =
        QStringLiteral("<p><b>%1 ---- %2</b></p><p>%3</p>")
            .arg(m_project->P_NO.toHtmlEscaped(), m_project->P_NAME.toHtmlEscaped(), connection.toHtmlEscaped());
    if (m_tablesRead)
        text += QStringLiteral("<p>%1 %2 &nbsp; %3 %4</p>")
                    .arg(Text(QStringLiteral("MESSAGE_TABLE_COUNT")))
                    .arg(ProjectTableCount(*m_project, QStringLiteral("table")))
                    .arg(Text(QStringLiteral("MESSAGE_VIEW_COUNT")))
                    .arg(ProjectTableCount(*m_project, QStringLiteral("view")));
    else
        text += QStringLiteral("<p>%1</p>").arg(Text(QStringLiteral("MESSAGE_NOT_CONNECTED")).toHtmlEscaped());
    m_ui->Lbl_Hint->setText(text);
}

// ---------------------------------------------------------------------------------------------
// Texts and questions

QString Frm_Database::Text(const QString& key) const
{
    return QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key);
}

bool Frm_Database::Ask(const QString& text)
{
    if (m_question)
        return m_question(text);
    const QString title = QVNFormLocalizer::Text(Mdl_Main::Language(), kGlobal, QStringLiteral("PRODUCT_NAME"));
    return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void Frm_Database::ShowError(const QString& key, const QString& detail)
{
    QVNMessage::Show(Text(key), 0, detail, true, 10, this);
}

// ---------------------------------------------------------------------------------------------
// Captions and language

void Frm_Database::ApplyCaptions()
{
    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::ApplyFormFont(this, language.GetLocalizeMessage(kGlobal, QStringLiteral("FONT")),
                                    language.GetLocalizeMessage(kGlobal, QStringLiteral("CHARSET")));
    QString title = QVNFormLocalizer::Text(language, kGlobal, QStringLiteral("PRODUCT_NAME")) +
                    QStringLiteral("   Ver ") + Frm_About::Version();
    if (s_buildTime.isValid())
        title += QStringLiteral("   [") + s_buildTime.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                 QStringLiteral("]");
    setWindowTitle(title);

    for (QMenu* menu : {m_ui->Mnu_File, m_ui->Mnu_NewList, m_ui->Mnu_Tool, m_ui->Mnu_Help})
        menu->setTitle(Text(menu->objectName()));
    for (QAction* a : {m_ui->Mnu_File_Setup, m_ui->Mnu_File_New, m_ui->Mnu_File_Open, m_ui->Mnu_File_Save,
                       m_ui->Mnu_File_Refresh, m_ui->Mnu_File_Build, m_ui->Mnu_File_Exit, m_ui->Mnu_Tool_Package,
                       m_ui->Mnu_Tool_UML, m_ui->Mnu_Tool_MSSQL1, m_ui->Mnu_Tool_MSSQL2, m_ui->Mnu_Tool_WEB,
                       m_ui->Mnu_Help_About, m_ui->Mnu_Help_Help, m_ui->Mnu_Help_WEB, m_ui->Mnu_Help_Mail}) {
        a->setText(Text(a->objectName()));
        a->setIconText(plainCaption(a->text()));
    }
    const QString tools = plainCaption(Text(QStringLiteral("Mnu_Tool")));
    m_toolButton->setText(tools);
    m_toolButton->setAccessibleName(tools);
    m_pictTool->setToolTip(tools);
    m_pictTool->setAccessibleName(tools);
    m_lblChanged->setText(Text(QStringLiteral("Lbl_DataChanged")));
    m_pictChanged->setAccessibleName(m_lblChanged->text());
    m_ui->Tv_Left->setAccessibleName(Text(QStringLiteral("Tv_Left")));
    m_panel1->setAccessibleName(Text(QStringLiteral("SB_Project_1")));
    m_panel2->setAccessibleName(Text(QStringLiteral("SB_Project_2")));
    ShowProjectSummary();
}

void Frm_Database::BuildLanguageMenu()
{
    m_ui->Mnu_Languages->clear();
    auto* group = new QActionGroup(m_ui->Mnu_Languages);
    QVNLanguage& language = Mdl_Main::Language();
    const QString current = language.Language();
    const TQXColsPtr languages = language.GetLanguages();
    for (const TQXColPtr& col : *languages) {
        QAction* entry = m_ui->Mnu_Languages->addAction(col->Value().ToText());
        entry->setObjectName(QStringLiteral("Mnu_Language_1"));
        entry->setData(col->Key());
        entry->setCheckable(true);
        entry->setChecked(col->Key().compare(current, Qt::CaseInsensitive) == 0);
        group->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, entry] { SwitchLanguage(entry->data().toString()); });
    }
}

void Frm_Database::SwitchLanguage(const QString& number)
{
    for (QAction* entry : m_ui->Mnu_Languages->actions())
        entry->setChecked(entry->data().toString().compare(number, Qt::CaseInsensitive) == 0);
    Mdl_Main::Language().SetLanguage(number);
    Mdl_Main::Config().SaveRegSetting(Mdl_Main::ProductName, QStringLiteral("Setup"), QStringLiteral("Language"),
                                      number);
    ApplyCaptions();
}

// ---------------------------------------------------------------------------------------------
// Recent projects

void Frm_Database::AddRecentProject(const QString& path)
{
    QVNConfig& config = Mdl_Main::Config();
    const QString wanted = path.trimmed();
    const TQXColsPtr stored = config.GetNewSetting(Mdl_Main::ProductName, kRecentSection, kRecentCount);
    const TQXColsPtr list = TQXCols::Create();
    for (const TQXColPtr& col : *stored) {
        const QString text = col->Value().ToText().trimmed();
        if (text.toLower() != wanted.toLower())
            list->Add(text);
    }
    list->Add(wanted);
    while (list->Count() > kRecentCount)
        list->Remove(1);
    config.SetNewSetting(Mdl_Main::ProductName, kRecentSection, list);
    ShowRecentProjects();
}

void Frm_Database::ShowRecentProjects()
{
    for (QAction* entry : m_recent) {
        entry->setVisible(false);
        entry->setText(QString());
        entry->setData(QString());
    }
    const TQXColsPtr list = Mdl_Main::Config().GetNewSetting(Mdl_Main::ProductName, kRecentSection, kRecentCount);
    int shown = 0;
    for (int i = list->Count(); i >= 1 && shown < kRecentCount; --i) {
        const QString path = list->Item(i)->Value().ToText().trimmed();
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue; // a missing file is not offered, but it stays in the stored list
        QAction* entry = m_recent[shown];
        const QString number = shown < 9 ? QStringLiteral("&%1").arg(shown + 1) : QStringLiteral("1&0");
        entry->setText(number + QStringLiteral("  ") + QString(path).replace(QLatin1Char('&'), QStringLiteral("&&")));
        entry->setData(path);
        entry->setVisible(true);
        ++shown;
    }
    m_ui->Mnu_NewList->menuAction()->setVisible(shown > 0);
    if (m_recentSeparator)
        m_recentSeparator->setVisible(shown > 0);
}

// ---------------------------------------------------------------------------------------------
// Project life cycle

bool Frm_Database::CheckSave(bool closing)
{
    // The grid pages write their edits back here once they exist; nothing is pending before that.
    m_pageChanged = false;
    if (!m_projectChanged)
        return true;
    if (!Ask(Text(QStringLiteral("MESSAGE_SAVE_CHECK"))))
        return true;
    if (FileSave())
        return true;
    // The save failed and its error was shown. Closing now would lose the edits silently, so the
    // user decides once more; only a yes closes without saving.
    if (!closing)
        return true;
    return Ask(Text(QStringLiteral("MESSAGE_CLOSE_UNSAVED")));
}

bool Frm_Database::FileNew()
{
    QString path = QFileDialog::getSaveFileName(this, Text(QStringLiteral("CDG_FILE_NEW")), m_dialogFolder,
                                                Text(QStringLiteral("CDG_FILTER")))
                       .trimmed();
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".qvn");
    QVNError errors;
    if (!ProjectCreate(path, errors)) {
        ShowError(QStringLiteral("ERROR_NEW_PROJECT"), errors.ToString());
        return false;
    }
    m_dialogFolder = QFileInfo(path).absolutePath();
    return OpenProjectFile(path);
}

bool Frm_Database::FileOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, Text(QStringLiteral("CDG_FILE_OPEN")), m_dialogFolder,
                                                      Text(QStringLiteral("CDG_FILTER")))
                             .trimmed();
    if (path.isEmpty())
        return false;
    m_dialogFolder = QFileInfo(path).absolutePath();
    return OpenProjectFile(path);
}

bool Frm_Database::OpenProjectFile(const QString& path)
{
    CheckSave();
    SetProjectState(kNoProject);
    const QString file = QFileInfo(path.trimmed()).absoluteFilePath();
    QVNError errors;
    std::unique_ptr<QVNProject> project = ProjectRead(file, errors);
    if (!project) {
        ShowError(QStringLiteral("ERROR_OPEN_PROJECT"), errors.ToString());
        return false;
    }
    QVNError connectErrors;
    m_tablesRead = ProjectReadTables(*project, connectErrors);
    m_project = std::move(project);
    m_panel1->setText(m_project->P_NO + QStringLiteral(" ---- ") + m_project->P_NAME);
    m_panel2->setText(m_project->ProjectFile());
    AddRecentProject(file);
    SetProjectState(kProjectOpen);
    if (!m_tablesRead)
        ShowError(QStringLiteral("ERROR_CONNECT"), connectErrors.ToString());
    return true;
}

bool Frm_Database::FileSave()
{
    if (!m_project)
        return false;
    m_pageChanged = false;
    QVNError errors;
    bool ok = false;
    if (!m_tablesRead) {
        errors.Add(Text(QStringLiteral("ERROR_TABLES_NOT_READ")));
    } else {
        if (m_process)
            m_process->ShowProcess(Text(QStringLiteral("MESSAGE_SAVING")), false);
        ok = ProjectSave(*m_project, errors);
        if (m_process)
            m_process->EndProcess();
    }
    if (ok) {
        SetProjectChanged(false);
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_SAVE")), 2, QString(), false, 10, this);
    } else {
        // The changes are still only in memory: the indicator stays so they are offered again.
        ShowError(QStringLiteral("ERROR_SAVE_PROJECT"), errors.ToString());
    }
    return ok;
}

void Frm_Database::closeEvent(QCloseEvent* event)
{
    if (!CheckSave(true)) {
        event->ignore();
        return;
    }
    if (m_process)
        m_process->EndProcess();
    SaveLayout();
    Mdl_Main::Function().DeleteFolder(Mdl_Main::WritableBase() + QStringLiteral("temp"));
    event->accept();
}

// The project layer. Everything the window asks of a project goes through these functions.

bool Frm_Database::ProjectCreate(const QString& path, QVNError& errors)
{
    QVNProject project;
    if (project.NewProject(path))
        return true;
    errors.AddExceptions(project.Exceptions);
    return false;
}

std::unique_ptr<QVNProject> Frm_Database::ProjectRead(const QString& path, QVNError& errors)
{
    auto project = std::make_unique<QVNProject>();
    project->SetProjectFile(path);
    if (!QFileInfo(path).isFile()) {
        errors.Add(path);
        return nullptr;
    }
    if (!project->GetProjectInfo()) {
        errors.AddExceptions(project->Exceptions);
        return nullptr;
    }
    return project;
}

bool Frm_Database::ProjectReadTables(QVNProject& project, QVNError& errors)
{
    if (m_process)
        m_process->ShowProcess(Text(QStringLiteral("MESSAGE_CONNECT")), false);
    const bool ok = project.GetTables();
    if (m_process)
        m_process->EndProcess();
    if (!ok)
        errors.AddExceptions(project.Exceptions);
    return ok;
}

bool Frm_Database::ProjectSave(QVNProject& project, QVNError& errors)
{
    if (project.SaveProject(project.P_NO, project.P_NAME, project.P_DATABASE, project.P_USERID, project.P_PWD,
                            project.P_PATH, project.TABLES))
        return true;
    errors.AddExceptions(project.Exceptions);
    return false;
}

int Frm_Database::ProjectTableCount(const QVNProject& project, const QString& kind) const
{
    int count = 0;
    if (!project.TABLES)
        return 0;
    for (const TQXRowPtr& row : *project.TABLES)
        if (row->Cols()->Text(QStringLiteral("TABLE_TYPE")).trimmed().compare(kind, Qt::CaseInsensitive) == 0)
            ++count;
    return count;
}

// ---------------------------------------------------------------------------------------------
// Other windows and help

void Frm_Database::ShowOptions()
{
    Frm_Option options(this);
    options.exec();
    m_dialogFolder = Mdl_Main::ProjectPath;
}

void Frm_Database::ShowAbout()
{
    Frm_About about(this);
    about.exec();
}

void Frm_Database::ShowHelp()
{
    // The manual is HTML in the application folder, one folder per language; Chinese languages
    // get the Chinese pages, every other language the English ones.
    const QString number = Mdl_Main::Language().Language();
    const bool chinese = number == QLatin1String("2052") || number == QLatin1String("1028") ||
                         number == QLatin1String("3076") || number == QLatin1String("4100");
    const QString file = Mdl_Main::AppPath + QStringLiteral("help/") +
                         (chinese ? QStringLiteral("zh") : QStringLiteral("en")) + QStringLiteral("/index.html");
    if (!QFileInfo(file).isFile() ||
        !QVNShell::Execute(this, QStringLiteral("Open"), file, QString(), Mdl_Main::AppPath, 1))
        ShowError(QStringLiteral("ERROR_HELP"), file);
}

// ---------------------------------------------------------------------------------------------
// Layout

void Frm_Database::ResizeControls(int x)
{
    if (isMinimized())
        return;
    const int minPane = kMinPane * logicalDpiX() / 1440;
    const int inner = m_ui->Pict_Split->width() - m_ui->Pict_Split->handleWidth();
    if (x < minPane)
        x = minPane;
    if (x > inner - minPane)
        x = inner - minPane;
    m_ui->Pict_Split->setSizes({x, std::max(0, inner - x)});
}

void Frm_Database::RestoreLayout()
{
    QVNConfig& config = Mdl_Main::Config();
    const QByteArray geometry = QByteArray::fromBase64(
        config.LoadRegSetting(Mdl_Main::ProductName, kSection, QStringLiteral("Geometry"), QString()).toLatin1());
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(13500 * logicalDpiX() / 1440, 9000 * logicalDpiY() / 1440);
    bool ok = false;
    int left = config.LoadRegSetting(Mdl_Main::ProductName, kSection, QStringLiteral("Splitter"), QString()).toInt(&ok);
    if (!ok)
        left = kDefaultLeft * logicalDpiX() / 1440;
    m_ui->Pict_Split->setSizes({left, std::max(1, width() - left)});
}

void Frm_Database::SaveLayout()
{
    QVNConfig& config = Mdl_Main::Config();
    config.SaveRegSetting(Mdl_Main::ProductName, kSection, QStringLiteral("Geometry"),
                          QString::fromLatin1(saveGeometry().toBase64()));
    config.SaveRegSetting(Mdl_Main::ProductName, kSection, QStringLiteral("Splitter"),
                          QString::number(m_ui->Pict_Left->width()));
}
