#include "Frm_Package.h"

#include "Mdl_Main.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNError.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNModel.h"
#include "QVNZIP.h"
#include "ui_Frm_Package.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_Package");
} // namespace

Frm_Package::Frm_Package(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Package>())
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok =
        QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_DialogSaveButton, QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCloseButton, QKeySequence(Qt::Key_Escape));
    QVNDialogBar::PlaceTopRight(m_ui->Lay_Main, m_toolBar);

    // One root on this file system: the drive list is "/" and the tree reaches every folder.
    m_ui->Dri_1->addItem(QStringLiteral("/"));
    m_tree = new QFileSystemModel(this);
    m_tree->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_tree->setRootPath(QStringLiteral("/"));
    m_ui->Dir_1->setModel(m_tree);
    m_ui->Dir_1->setRootIndex(m_tree->index(QStringLiteral("/")));
    for (int c = 1; c < m_tree->columnCount(); ++c)
        m_ui->Dir_1->setColumnHidden(c, true);
    m_ui->Txt_Pwd->setText(QVNModel::ModelPassword());

    QVNFormLocalizer::Localize(this, Mdl_Main::Language());
    QVNDialogBar::SetCaption(m_ok,
                             QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("TB_TOOL_OK")));
    QVNDialogBar::SetCaption(m_exit,
                             QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("TB_TOOL_EXIT")));
    auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
    m_ui->Txt_ExtName->setAccessibleName(plain(m_ui->Lbl_ExtName->text()));
    m_ui->Txt_Pwd->setAccessibleName(plain(m_ui->Lbl_Pwd->text()));
    m_ui->Dri_1->setAccessibleName(QStringLiteral("Dri_1"));
    m_ui->Dir_1->setAccessibleName(QStringLiteral("Dir_1"));
    m_ui->LB_Folder->setAccessibleName(QStringLiteral("LB_Folder"));

    connect(m_ui->Dir_1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && m_tree->filePath(current) != m_folder) {
                    m_folder = m_tree->filePath(current);
                    FillList();
                }
            });
    connect(m_ui->Dri_1, &QComboBox::currentTextChanged, this, [this](const QString& root) { SetFolder(root); });
    connect(m_ok, &QAction::triggered, this, [this] { Package(); });
    connect(m_exit, &QAction::triggered, this, &QDialog::reject);

    SetFolder(Mdl_Main::ModelPath);
    QVNDialogSize::Remember(this);
}

Frm_Package::~Frm_Package() = default;

void Frm_Package::SetFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QFileInfo(path).isDir())
        return; // the tree stays where it was
    m_folder = path;
    const QModelIndex index = m_tree->index(path);
    m_ui->Dir_1->setCurrentIndex(index);
    m_ui->Dir_1->scrollTo(index);
    m_ui->Dir_1->expand(index);
    FillList();
}

void Frm_Package::FillList()
{
    m_ui->LB_Folder->clear();
    // In the order the file system lists them.
    const QStringList names =
        QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    m_ui->LB_Folder->addItems(names);
}

void Frm_Package::SelectFolders(const QStringList& names)
{
    for (int i = 0; i < m_ui->LB_Folder->count(); ++i) {
        QListWidgetItem* item = m_ui->LB_Folder->item(i);
        item->setSelected(names.contains(item->text()));
    }
}

bool Frm_Package::Package()
{
    const QString section = kSection;
    QVNLanguage& language = Mdl_Main::Language();
    const QList<QListWidgetItem*> selected = m_ui->LB_Folder->selectedItems();
    if (selected.isEmpty()) {
        QVNMessage::Show(QVNFormLocalizer::Text(language, section, QStringLiteral("MESSAGE_NO_FOLDER")), 0, QString(),
                         false, 0, this);
        return false;
    }
    m_ui->Fra_Main->setEnabled(false);
    m_toolBar->setEnabled(false);

    QString extension = m_ui->Txt_ExtName->text().trimmed();
    while (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    const QString parent = Mdl_Main::Function().AddFolderMark(m_folder);
    QVNError failures;
    // In list order, which is the order the folders are shown in.
    for (int i = 0; i < m_ui->LB_Folder->count(); ++i) {
        QListWidgetItem* item = m_ui->LB_Folder->item(i);
        if (!item->isSelected())
            continue;
        const QString name = item->text();
        if (extension.contains(QLatin1Char('/')) || extension.contains(QLatin1Char('\\'))) {
            failures.Add(
                QStringLiteral("%1: the extension \"%2\" would leave the folder %3").arg(name, extension, parent));
            continue;
        }
        QVNZIP zip;
        if (!zip.PackageFolder(parent + name + QLatin1Char('.') + extension, m_ui->Txt_Pwd->text(), parent + name)) {
            failures.Add(name);
            failures.AddExceptions(zip.Exceptions);
        }
    }
    const bool ok = failures.IsEmpty();
    if (ok)
        QVNMessage::Show(QVNFormLocalizer::Text(language, section, QStringLiteral("MESSAGE_PACKAGE_OK")), 2, QString(),
                         false, 10, this);
    else
        QVNMessage::Show(QVNFormLocalizer::Text(language, section, QStringLiteral("MESSAGE_PACKAGE_ERROR")), 0,
                         failures.ToString(), true, 10, this);
    m_ui->Fra_Main->setEnabled(true);
    m_toolBar->setEnabled(true);
    return ok;
}
