#pragma once

#include "QVNBuildOutput.h"

#include <QDialog>

#include <memory>

namespace Ui {
class Frm_BuildPreview;
}

/**
 * @brief What a build is about to change, shown after it was generated into its staging folder and
 * before anything is published: every file with its class and proposed action, the coloured diff
 * of the selected file against the output folder, and a choice of action per file.
 *
 * OK keeps the chosen actions in the build output for publishing; Cancel publishes nothing. The
 * proposed actions never overwrite a user's edit (see QVNBuildOutput::ApplyPolicy); "unchanged"
 * files are listed too, so the list is the whole build.
 */
class Frm_BuildPreview : public QDialog
{
public:
    Frm_BuildPreview(QVNBuildOutput& output, QWidget* parent = nullptr);
    ~Frm_BuildPreview() override;

    /// Shows the dialog modally; true when the user chose to publish.
    static bool Review(QVNBuildOutput& output, QWidget* parent);

private:
    void ShowFile(int row);
    void SetAction(int choice);
    void UpdateSummary();

    std::unique_ptr<Ui::Frm_BuildPreview> m_ui;
    QVNBuildOutput& m_output;
};
