#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class Frm_Package;
}
class QAction;
class QFileSystemModel;
class QToolBar;

/**
 * @brief The packaging window: every selected subfolder N of the folder P shown in the tree becomes
 * the password-protected package P/N.<extension> (QVNZIP::PackageFolder).
 *
 * The file system has one root, so the drive list holds "/" only; the tree reaches any folder.
 */
class Frm_Package : public QDialog
{
public:
    explicit Frm_Package(QWidget* parent = nullptr);
    ~Frm_Package() override;

    /// Shows `folder` in the tree and lists its direct subfolders.
    void SetFolder(const QString& folder);
    /// The folder shown in the tree.
    const QString& Folder() const { return m_folder; }
    /// Selects the listed subfolders with these names (others are deselected).
    void SelectFolders(const QStringList& names);
    /// Packs every selected subfolder and reports the outcome (the tool bar's "ok"). False when
    /// nothing was selected or any folder failed; every failure is in the message's detail.
    bool Package();

private:
    void FillList();

    std::unique_ptr<Ui::Frm_Package> m_ui;
    QFileSystemModel* m_tree = nullptr;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
    QString m_folder;
};
