#pragma once

#include <QDialog>

#include <memory>

class QAction;
class QToolBar;

namespace Ui {
class Frm_Option;
}

/**
 * @brief Edits the three working folders kept in the settings store.
 *
 * "ok" checks that no folder is empty, stores the three texts as typed and reloads the folder
 * settings so the new folders apply at once; "exit" closes without storing anything.
 */
class Frm_Option : public QDialog
{
public:
    explicit Frm_Option(QWidget* parent = nullptr);
    ~Frm_Option() override;

    /// Checks and stores the folders; false (with a message shown) when a folder is empty.
    bool Save();

private:
    void PickFolder(class QLineEdit* field);

    std::unique_ptr<Ui::Frm_Option> m_ui;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
};
