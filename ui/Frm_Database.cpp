#include "Frm_Database.h"

#include "Frm_About.h"
#include "Frm_Build.h"
#include "Frm_Open.h"
#include "Frm_Option.h"
#include "Frm_Package.h"
#include "Frm_Show.h"
#include "Frm_TableData.h"
#include "Frm_UML.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNBackgroundWork.h"
#include "QVNBuildCollector.h"
#include "QVNConfig.h"
#include "QVNConnectionString.h"
#include "QVNDatabase.h"
#include "QVNDialogBar.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNModelEditorLauncher.h"
#include "QVNPages.h"
#include "QVNProcess.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNShell.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "TQXRow.h"
#include "TQXRows.h"
#include "ui_Frm_Database.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QString kSection = QStringLiteral("Frm_Database");
const QString kGlobal = QStringLiteral("GLOBAL");
const QString kRecentSection = QStringLiteral("ProjectFile");
constexpr int kRecentCount = 10;
constexpr int kProjectOpen = 4;
constexpr int kNoProject = 5;
/// How long a cancelled connection may take to end before the window goes on without it (a
/// driver still logging in cannot be interrupted; it ends by its own login time-out).
constexpr int kCancelGraceMs = 150;

// Layout lengths in twips, the unit the window's geometry rules are written in.
constexpr int kMinWindow = 5000;
constexpr int kMinPane = 1500;
constexpr int kDefaultLeft = 3000;
// The first size shows the column page with all its columns (at most the screen's free room).
constexpr int kDefaultWidth = 21300;
constexpr int kDefaultHeight = 11400;

// The tree's three group nodes: key, fixed text, and the kind their table list shows.
const QString kGroupPrefix = QStringLiteral("orve470618_id_");
const QString kGroupKeys[3] = {QStringLiteral("orve470618_id_table"), QStringLiteral("orve470618_id_view"),
                               QStringLiteral("orve470618_id_system table")};
const char* const kGroupTexts[3] = {"Tables", "Views", "System Tables"};
constexpr int kKeyRole = Qt::UserRole;

bool isGroupKey(const QString& key)
{
    for (const QString& group : kGroupKeys)
        if (key.compare(group, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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
    toolMenu->addAction(m_ui->Mnu_Tool_ModelEditor);
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
    m_ui->Tv_Left->setUniformRowHeights(true);

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
    connect(m_ui->Mnu_Tool_ModelEditor, &QAction::triggered, this, [this] {
        const QString folder = QVNShell::GetFolder(Mdl_Main::ModelPath, this);
        if (!folder.isEmpty())
            QVNModelEditorLauncher::Open(folder, m_project.get(), this);
    });
    Frm_Show::Register();

    connect(m_ui->Mnu_File_Setup, &QAction::triggered, this, &Frm_Database::ShowOptions);
    connect(m_ui->Mnu_File_New, &QAction::triggered, this, &Frm_Database::FileNew);
    connect(m_ui->Mnu_File_Open, &QAction::triggered, this, &Frm_Database::FileOpen);
    connect(m_ui->Mnu_File_Save, &QAction::triggered, this, &Frm_Database::FileSave);
    connect(m_ui->Mnu_File_Refresh, &QAction::triggered, this, &Frm_Database::FileRefresh);
    connect(m_ui->Mnu_File_Project, &QAction::triggered, this, &Frm_Database::FileProjectSettings);
    connect(m_ui->Mnu_File_Build, &QAction::triggered, this, &Frm_Database::FileBuild);
    connect(m_ui->Tv_Left, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { NodeSelected(current); });
    m_pages = std::make_unique<QVNPages>(m_ui->Fra_TableList, m_ui->Fra_ColumnList);
    connect(m_pages.get(), &QVNPages::Changed, this, [this] {
        if (!m_filling)
            SetPageChanged(true);
    });
    connect(m_pages.get(), &QVNPages::ShowTableData, this, [this](const QString& table) { ShowTableData(table); });
    m_ui->Lbl_Hint->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(m_ui->Lbl_Hint, &QLabel::linkActivated, this, [this] { ShowTableData(m_pageTable); });
    // Enter or a double click on a table shows its data.
    connect(m_ui->Tv_Left, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString key = item ? item->data(0, kKeyRole).toString() : QString();
        if (!key.isEmpty() && !isGroupKey(key))
            ShowTableData(key);
    });
    connect(m_ui->Tv_Left, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { NodeChecked(item); });
    connect(m_ui->Mnu_File_Exit, &QAction::triggered, this, &QWidget::close);
    // The Edit menu works on the grid that has the focus (a cell editor keeps its own keys).
    connect(m_ui->Mnu_Edit_Undo, &QAction::triggered, this, [this] {
        if (Grid* grid = FocusedGrid())
            grid->Undo();
    });
    connect(m_ui->Mnu_Edit_Copy, &QAction::triggered, this, [this] {
        if (Grid* grid = FocusedGrid())
            QApplication::clipboard()->setText(grid->CopyBlock());
    });
    connect(m_ui->Mnu_Edit_Paste, &QAction::triggered, this, [this] {
        if (Grid* grid = FocusedGrid())
            grid->PasteBlock(QApplication::clipboard()->text());
    });
    connect(m_ui->Txt_Filter, &QLineEdit::textChanged, this, [this] { FilterTree(); });
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
        m_ui->Mnu_File_Refresh->setEnabled(true);
        m_ui->Mnu_File_Project->setEnabled(true);
        m_ui->Mnu_File_Build->setEnabled(true);
    } else if (state == kNoProject) {
        m_ui->Mnu_File_Save->setEnabled(false);
        m_ui->Mnu_File_Refresh->setEnabled(false);
        m_ui->Mnu_File_Project->setEnabled(false);
        m_ui->Mnu_File_Build->setEnabled(false);
        m_panel1->clear();
        m_panel2->clear();
        m_project.reset();
        m_tablesRead = false;
        m_ui->Tv_Left->clear();
        m_ui->Fra_TableList->setVisible(false);
        m_ui->Fra_ColumnList->setVisible(false);
        m_ui->Lbl_Hint->setVisible(true);
        if (m_pages)
            m_pages->ClearPage();
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

Frm_Database::Answer Frm_Database::Ask(const QString& text, bool canCancel, Answer preferred)
{
    if (m_question)
        return m_question(text);
    const QString title = QVNFormLocalizer::Text(Mdl_Main::Language(), kGlobal, QStringLiteral("PRODUCT_NAME"));
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (canCancel)
        buttons |= QMessageBox::Cancel;
    const QMessageBox::StandardButton preferredButton = preferred == Answer::Yes  ? QMessageBox::Yes
                                                        : preferred == Answer::No ? QMessageBox::No
                                                                                  : QMessageBox::Cancel;
    // QMessageBox makes Cancel, or No when there is no Cancel, the answer of Escape and of closing the box.
    switch (QMessageBox::question(this, title, text, buttons, preferredButton)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
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

    for (QMenu* menu : {m_ui->Mnu_File, m_ui->Mnu_NewList, m_ui->Mnu_Edit, m_ui->Mnu_Tool, m_ui->Mnu_Help})
        menu->setTitle(Text(menu->objectName()));
    for (QAction* a :
         {m_ui->Mnu_File_Setup,   m_ui->Mnu_File_New,         m_ui->Mnu_File_Open,   m_ui->Mnu_File_Save,
          m_ui->Mnu_File_Refresh, m_ui->Mnu_File_Project,     m_ui->Mnu_File_Build,  m_ui->Mnu_File_Exit,
          m_ui->Mnu_Edit_Undo,    m_ui->Mnu_Edit_Copy,        m_ui->Mnu_Edit_Paste,  m_ui->Mnu_Tool_Package,
          m_ui->Mnu_Tool_UML,     m_ui->Mnu_Tool_ModelEditor, m_ui->Mnu_Tool_MSSQL1, m_ui->Mnu_Tool_MSSQL2,
          m_ui->Mnu_Tool_WEB,     m_ui->Mnu_Help_About,       m_ui->Mnu_Help_Help,   m_ui->Mnu_Help_WEB,
          m_ui->Mnu_Help_Mail}) {
        a->setText(Text(a->objectName()));
        a->setIconText(QVNDialogBar::PlainCaption(a->text()));
    }
    const QString tools = QVNDialogBar::PlainCaption(Text(QStringLiteral("Mnu_Tool")));
    m_toolButton->setText(tools);
    m_toolButton->setAccessibleName(tools);
    m_pictTool->setToolTip(tools);
    m_pictTool->setAccessibleName(tools);
    m_lblChanged->setText(Text(QStringLiteral("Lbl_DataChanged")));
    m_pictChanged->setAccessibleName(m_lblChanged->text());
    m_ui->Tv_Left->setAccessibleName(Text(QStringLiteral("Tv_Left")));
    m_ui->Txt_Filter->setPlaceholderText(Text(QStringLiteral("Txt_Filter")));
    m_ui->Txt_Filter->setAccessibleName(m_ui->Txt_Filter->placeholderText());
    m_panel1->setAccessibleName(Text(QStringLiteral("SB_Project_1")));
    m_panel2->setAccessibleName(Text(QStringLiteral("SB_Project_2")));
    ShowProjectSummary();
    if (m_pages)
        m_pages->ApplyCaptions();
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

bool Frm_Database::CheckSave()
{
    CommitPage();
    if (!m_projectChanged)
        return true;
    switch (Ask(Text(QStringLiteral("MESSAGE_SAVE_CHECK")), true, Answer::Yes)) {
    case Answer::Cancel:
        return false;
    case Answer::No:
        return true;
    case Answer::Yes:
        break;
    }
    if (FileSave())
        return true;
    // The save failed and its error was shown. Going on would lose the edits, so only an explicit
    // yes gives them up; No, Escape and closing the box keep the project open as it is.
    return Ask(Text(QStringLiteral("MESSAGE_CLOSE_UNSAVED")), false, Answer::No) == Answer::Yes;
}

bool Frm_Database::FileNew()
{
    if (m_busy)
        return false;
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
    if (m_busy)
        return false;
    const QString path = QFileDialog::getOpenFileName(this, Text(QStringLiteral("CDG_FILE_OPEN")), m_dialogFolder,
                                                      Text(QStringLiteral("CDG_FILTER")))
                             .trimmed();
    if (path.isEmpty())
        return false;
    m_dialogFolder = QFileInfo(path).absolutePath();
    return OpenProjectFile(path);
}

bool Frm_Database::OpenProjectFile(const QString& path, bool askSettings)
{
    if (m_busy || !CheckSave())
        return false;
    SetProjectState(kNoProject);
    const QString file = QFileInfo(path.trimmed()).absoluteFilePath();
    QVNError errors;
    std::shared_ptr<QVNProject> project = ProjectRead(file, errors);
    if (!project) {
        ShowError(QStringLiteral("ERROR_OPEN_PROJECT"), errors.ToString());
        return false;
    }
    if (!m_open)
        m_open = std::make_unique<Frm_Open>(this);
    Frm_Open& dialog = *m_open;
    dialog.P_NO = project->P_NO;
    dialog.P_NAME = project->P_NAME;
    dialog.P_DATABASE = project->P_DATABASE;
    dialog.P_USERID = project->P_USERID;
    dialog.P_PWD = project->P_PWD;
    dialog.P_PATH = project->P_PATH;
    // An edit made in an attempt that failed to connect still differs from the file when a later
    // attempt connects unchanged, so the edits of every attempt count.
    bool edited = false;
    // A project that has its number, name and database opens on its stored connection; the dialog
    // comes when that fails, and stays one command away (File > Project connection).
    bool direct = !askSettings && project->HasProjectRecord() && !project->P_NO.trimmed().isEmpty() &&
                  !project->P_NAME.trimmed().isEmpty() && !project->P_DATABASE.trimmed().isEmpty();
    for (;;) {
        if (!direct) {
            if (RunConnectDialog() != 1)
                return false;
            edited = edited || dialog.Changed();
            project->P_NO = dialog.P_NO;
            project->P_NAME = dialog.P_NAME;
            project->P_DATABASE = dialog.P_DATABASE;
            project->P_USERID = dialog.P_USERID;
            project->P_PWD = dialog.P_PWD;
            project->P_PATH = dialog.P_PATH;
        }
        direct = false;
        QVNError connectErrors;
        bool canceled = false;
        if (ProjectReadTables(project, connectErrors, canceled))
            break;
        if (canceled) {
            // A worker may still be logging in with this project: the next attempt reads the
            // file again into a project of its own.
            project = ProjectRead(file, errors);
            if (!project) {
                ShowError(QStringLiteral("ERROR_OPEN_PROJECT"), errors.ToString());
                return false;
            }
            continue;
        }
        ShowError(QStringLiteral("ERROR_CONNECT"), connectErrors.ToString());
    }
    m_tablesRead = true;
    m_project = std::move(project);
    m_panel1->setText(m_project->P_NO + QStringLiteral(" ---- ") + m_project->P_NAME);
    m_panel2->setText(m_project->ProjectFile());
    ShowDatabase();
    if (edited)
        SetProjectChanged(true);
    AddRecentProject(file);
    SetProjectState(kProjectOpen);
    return true;
}

int Frm_Database::TreeGroup(const QString& kind)
{
    const QString k = kind.trimmed().toLower();
    return k == QLatin1String("table") ? 0 : k == QLatin1String("view") ? 1 : 2;
}

int Frm_Database::RunConnectDialog()
{
    if (m_connectDialog)
        return m_connectDialog(*m_open);
    return m_open->Execute();
}

bool Frm_Database::ShowDatabase()
{
    QTreeWidget* tree = m_ui->Tv_Left;
    m_filling = true;
    const bool wasBusy = m_busy;
    m_busy = true;
    bool result = true;
    tree->clear();
    ProgressShow(QStringLiteral("MESSAGE_SHOW_DATABASE"), true);
    if (m_project && m_project->TABLES)
        ProgressText(Text(QStringLiteral("MESSAGE_FILL_TREE")).arg(m_project->TABLES->Count()));
    QStyle* s = style();
    const QIcon icons[3] = {s->standardIcon(QStyle::SP_FileIcon), s->standardIcon(QStyle::SP_FileDialogContentsView),
                            s->standardIcon(QStyle::SP_DriveHDIcon)};
    // The nodes are made apart from the tree and handed over in one piece per group: a tree that
    // is told of every node lays itself out again each time.
    QTreeWidgetItem* groups[3];
    QList<QTreeWidgetItem*> children[3];
    for (int i = 0; i < 3; ++i) {
        groups[i] = new QTreeWidgetItem(QStringList(QLatin1String(kGroupTexts[i])));
        groups[i]->setData(0, kKeyRole, kGroupKeys[i]);
        groups[i]->setIcon(0, icons[i]);
        groups[i]->setFlags(groups[i]->flags() | Qt::ItemIsUserCheckable);
        groups[i]->setCheckState(0, Qt::Unchecked);
    }
    if (m_project && m_project->TABLES) {
        for (const TQXRowPtr& row : *m_project->TABLES) {
            const QString name = row->Cols()->Text(QStringLiteral("TABLE_NAME")).trimmed();
            const int group = TreeGroup(row->Cols()->Text(QStringLiteral("TABLE_TYPE")));
            auto* node = new QTreeWidgetItem(QStringList(name));
            node->setData(0, kKeyRole, name);
            node->setIcon(0, icons[group]);
            node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
            node->setCheckState(0, Qt::Unchecked);
            children[group].append(node);
            if (ProgressCanceled()) {
                result = false;
                break;
            }
        }
    }
    for (int i = 0; i < 3; ++i)
        groups[i]->addChildren(children[i]);
    tree->addTopLevelItems({groups[0], groups[1], groups[2]});
    groups[0]->setExpanded(true);
    groups[1]->setExpanded(true);
    FilterTree();
    ProgressEnd();
    m_filling = false;
    m_busy = wasBusy;
    return result;
}

void Frm_Database::NodeSelected(QTreeWidgetItem* item)
{
    if (m_filling || !item)
        return;
    CommitPage();
    m_ui->Fra_TableList->setVisible(false);
    m_ui->Fra_ColumnList->setVisible(false);
    const QString key = item->data(0, kKeyRole).toString();
    if (isGroupKey(key))
        ShowPage(key.toUpper().mid(kGroupPrefix.size()), QString());
    else
        ShowPage(QString(), key.trimmed());
}

void Frm_Database::NodeChecked(QTreeWidgetItem* item)
{
    if (m_filling || !item || item->childCount() == 0)
        return;
    // Ticking a group ticks the tables the filter shows, so a narrowed list can be built at once.
    const Qt::CheckState state = item->checkState(0);
    for (int i = 0; i < item->childCount(); ++i)
        if (!item->child(i)->isHidden())
            item->child(i)->setCheckState(0, state);
}

void Frm_Database::FilterTree()
{
    const QString wanted = m_ui->Txt_Filter->text().trimmed();
    QTreeWidget* tree = m_ui->Tv_Left;
    tree->setUpdatesEnabled(false);
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int i = 0; i < group->childCount(); ++i) {
            QTreeWidgetItem* node = group->child(i);
            node->setHidden(!wanted.isEmpty() && !node->text(0).contains(wanted, Qt::CaseInsensitive));
        }
    }
    tree->setUpdatesEnabled(true);
}

Grid* Frm_Database::FocusedGrid() const
{
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (auto* grid = qobject_cast<Grid*>(w))
            return isAncestorOf(grid) ? grid : nullptr;
    return nullptr;
}

void Frm_Database::ShowPage(const QString& kind, const QString& tableName)
{
    if (!m_project || !m_project->TABLES)
        return;
    // The pages show what the project holds; the summary stays below them as the hint.
    m_filling = true;
    if (tableName.isEmpty()) {
        m_pages->ShowTableList(*m_project, kind);
        m_ui->Fra_TableList->setVisible(true);
    } else if (m_project->TABLES->Item(tableName)) {
        m_pages->ShowColumnList(*m_project, tableName);
        m_ui->Fra_ColumnList->setVisible(true);
        m_pageTable = tableName;
    }
    m_filling = false;
    m_ui->Lbl_Hint->setVisible(m_ui->Fra_TableList->isHidden() && m_ui->Fra_ColumnList->isHidden());
}

void Frm_Database::CommitPage()
{
    // Edits of the page being left go back into the project's description records.
    if (m_pages && m_pageChanged)
        m_pages->CommitPage();
    m_pageChanged = false;
}

void Frm_Database::ShowTableData(const QString& tableName)
{
    if (!m_project || !m_project->TABLES)
        return;
    const TQXRowPtr row = m_project->TABLES->Item(tableName);
    Frm_TableData viewer(this);
    viewer.mObj_QVNDatabase = &m_project->ProjectDatabase();
    viewer.TableName = tableName;
    if (row)
        viewer.TableSchema = row->Cols()->Text(QStringLiteral("TABLE_SCHEMA")).trimmed();
    viewer.SetProcess(m_process);
    viewer.LoadWindow();
    viewer.exec();
}

bool Frm_Database::FileSave()
{
    if (!m_project || m_busy)
        return false;
    CommitPage();
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

void Frm_Database::FileRefresh()
{
    if (!m_project || m_busy || !CheckSave())
        return;
    m_ui->Fra_TableList->setVisible(false);
    m_ui->Fra_ColumnList->setVisible(false);
    m_ui->Lbl_Hint->setVisible(true);
    m_pages->ClearPage();
    m_pageChanged = false;
    // The refresh reads into a project of its own, made from the file with the connection values
    // in use, and takes its place only once it read everything: a failed or cancelled refresh
    // leaves the open project, its tree, annotations and changed indicator exactly as they were.
    QVNError errors;
    bool canceled = false;
    std::shared_ptr<QVNProject> fresh = ProjectRead(m_project->ProjectFile(), errors);
    if (fresh) {
        fresh->P_NO = m_project->P_NO;
        fresh->P_NAME = m_project->P_NAME;
        fresh->P_DATABASE = m_project->P_DATABASE;
        fresh->P_USERID = m_project->P_USERID;
        fresh->P_PWD = m_project->P_PWD;
        fresh->P_PATH = m_project->P_PATH;
    }
    if (fresh && ProjectReadTables(fresh, errors, canceled)) {
        // The annotations were read again from the file: edits the user chose not to save are gone.
        m_project = std::move(fresh);
        SetProjectChanged(false);
        m_tablesRead = true;
        ShowDatabase();
        ShowProjectSummary();
    } else if (canceled) {
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_CANCEL")), 2, QString(), false, 10, this);
    } else {
        ShowError(QStringLiteral("ERROR_CONNECT"), errors.ToString());
    }
}

void Frm_Database::FileProjectSettings()
{
    if (!m_project || m_busy)
        return;
    const QString file = m_project->ProjectFile();
    // Cancelling the dialog is no reason to lose the open project: it opens again as it was stored.
    if (!OpenProjectFile(file, true) && !HasProject())
        OpenProjectFile(file);
}

void Frm_Database::FileBuild()
{
    if (!m_project || m_busy)
        return;
    m_busy = true;
    // Edits of the page on the right that were not yet written back are not part of the build:
    // the collection reads the description records.
    QList<QWidget*> locked = {m_ui->Tb_Tool, m_ui->Tv_Left, m_ui->Fra_TableList, m_ui->Fra_ColumnList};
    for (QWidget* w : locked)
        w->setEnabled(false);
    m_ui->Mnu_File->menuAction()->setEnabled(false);
    ProgressShow(QStringLiteral("MESSAGE_COLLECT_DATA"), true);

    // The ticked tables in tree order; ticked group nodes themselves are no tables.
    QStringList names;
    QTreeWidget* tree = m_ui->Tv_Left;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int i = 0; i < group->childCount(); ++i)
            if (group->child(i)->checkState(0) == Qt::Checked)
                names << group->child(i)->data(0, kKeyRole).toString();
    }
    TQXRowsPtr collected;
    TQXColsPtr variables;
    QString folder;
    bool canceled = false;
    bool ok = true;
    QVNError errors;
    if (!names.isEmpty())
        ok = ProjectCollect(*m_project, names, collected, variables, folder, canceled, errors);
    // A Cancel pressed while the progress window was up counts even when the collection ended
    // before it was polled: it is asked once more before the window goes.
    canceled = canceled || ProgressCanceled();
    ProgressEnd();
    if (canceled)
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_CANCEL")), 2, QString(), false, 10, this);
    else if (!ok)
        ShowError(QStringLiteral("ERROR_COLLECT"), errors.ToString());
    else if (collected && collected->Count() > 0)
        ShowBuildDialog(collected, variables, folder);
    else
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_CHOICE_TABLE")), 0, QString(), false, 10, this);

    for (QWidget* w : locked)
        w->setEnabled(true);
    m_ui->Mnu_File->menuAction()->setEnabled(true);
    m_busy = false;
}

void Frm_Database::ShowBuildDialog(const TQXRowsPtr& tables, const TQXColsPtr& variables, const QString& folder)
{
    if (m_buildHandOver) {
        m_buildHandOver(tables, variables, folder);
        return;
    }
    Frm_Build::ShowBuild(this, m_process, tables, variables, folder);
}

// ---------------------------------------------------------------------------------------------
// The progress server

void Frm_Database::ProgressShow(const QString& key, bool canCancel)
{
    if (m_process)
        m_process->ShowProcess(Text(key), canCancel);
}

void Frm_Database::ProgressText(const QString& text)
{
    if (m_progressWatch)
        m_progressWatch(text);
    if (m_process)
        m_process->SetProcessing(text);
}

void Frm_Database::ProgressEnd()
{
    if (m_process)
        m_process->EndProcess();
}

bool Frm_Database::ProgressCanceled()
{
    QApplication::processEvents();
    return ProgressCancelRequested();
}

bool Frm_Database::ProgressCancelRequested()
{
    if (m_cancelCheck)
        return m_cancelCheck();
    return m_process && m_process->ProcessCanceled();
}

void Frm_Database::closeEvent(QCloseEvent* event)
{
    if (m_busy) {
        // Closing now would free the project under the running step; it is asked again after.
        event->ignore();
        return;
    }
    if (!CheckSave()) {
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
    // The file dialog has asked before an existing file is replaced.
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (lifecycle.Create(path, QVNProjectSettings(), true, project))
        return true;
    errors.AddExceptions(lifecycle.Exceptions);
    return false;
}

std::shared_ptr<QVNProject> Frm_Database::ProjectRead(const QString& path, QVNError& errors)
{
    auto project = std::make_shared<QVNProject>();
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.OpenFile(path, *project)) {
        errors.AddExceptions(lifecycle.Exceptions);
        return nullptr;
    }
    return project;
}

bool Frm_Database::ProjectReadTables(const std::shared_ptr<QVNProject>& project, QVNError& errors, bool& canceled)
{
    canceled = false;
    QVNDatabase& database = project->ProjectDatabase();
    database.ClearCancel();
    ProgressShow(QStringLiteral("MESSAGE_CONNECT"), true);
    ProgressText(Text(QStringLiteral("MESSAGE_CONNECT_BODY")).arg(QVNConnectionString::Describe(project->P_DATABASE)));
    // The worker owns what it reads with: when the user cancels while the driver is still logging
    // in, the window goes on and the worker ends by itself later.
    struct Read
    {
        QVNProjectLifecycle lifecycle;
        bool ok = false;
    };
    auto read = std::make_shared<Read>();
    // No command may replace or close the project while the loop below lets events run.
    const bool wasBusy = m_busy;
    m_busy = true;
    QVNBackgroundWork work;
    work.CancelRequested = [this] { return ProgressCancelRequested(); };
    work.OnCancel = [&database] { database.Cancel(); };
    const auto outcome = work.Run([project, read] { read->ok = read->lifecycle.ReadTables(*project); }, kCancelGraceMs);
    m_busy = wasBusy;
    ProgressEnd();
    canceled = work.Canceled();
    if (outcome == QVNBackgroundWork::Outcome::Abandoned)
        return false;
    database.ClearCancel();
    if (canceled)
        return false;
    if (!read->ok)
        errors.AddExceptions(read->lifecycle.Exceptions);
    return read->ok;
}

bool Frm_Database::ProjectSave(QVNProject& project, QVNError& errors)
{
    QVNProjectLifecycle lifecycle;
    if (lifecycle.Save(project))
        return true;
    errors.AddExceptions(lifecycle.Exceptions);
    return false;
}

bool Frm_Database::ProjectCollect(QVNProject& project, const QStringList& tables, TQXRowsPtr& collected,
                                  TQXColsPtr& variables, QString& folder, bool& canceled, QVNError& errors)
{
    // The collection reads the open project on a worker; the window waits for its end (it cannot go
    // on without the project) but keeps painting, and Cancel closes the connection under a read
    // that waits on the server.
    QVNDatabase& database = project.ProjectDatabase();
    database.ClearCancel();
    QVNBuildCollector collector;
    QVNBackgroundWork work;
    work.CancelRequested = [this] { return ProgressCancelRequested(); };
    work.OnCancel = [&database] { database.Cancel(); };
    work.Show = [this](const QString& message) { ProgressText(message); };
    collector.Progress = work.Listener();
    bool ok = false;
    work.Run([&] { ok = collector.Collect(project, tables, collected, variables, folder); });
    database.ClearCancel();
    canceled = collector.Canceled() || work.Canceled();
    if (!ok && !canceled)
        errors.AddExceptions(collector.Exceptions);
    return ok && !canceled;
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
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        QSize size(kDefaultWidth * logicalDpiX() / 1440, kDefaultHeight * logicalDpiY() / 1440);
        if (const QScreen* s = screen())
            size = size.boundedTo(s->availableSize());
        resize(size);
    }
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
