// The preview of a build: every staged file listed with its class and action, the selected file's
// coloured diff, and a choice of action per file that publishing then follows.
#include "Frm_BuildPreview.h"
#include "QVNBuildOutput.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <gtest/gtest.h>

TEST(BuildPreview, ListsEveryFileShowsItsDiffAndPublishesTheChosenActions)
{
    TempDir dir;
    const QString out = dir.file(QStringLiteral("out/"));
    ASSERT_TRUE(writeBytes(out + QStringLiteral("a.txt"), "one\ntwo\nmine\n")); // not from a build
    ASSERT_TRUE(writeBytes(out + QStringLiteral("c.txt"), "same\n"));
    QVNBuildOutput output;
    ASSERT_TRUE(output.Begin(out));
    ASSERT_TRUE(writeBytes(output.StageFolder() + QStringLiteral("a.txt"), "one\ntwo\nthree\n"));
    ASSERT_TRUE(writeBytes(output.StageFolder() + QStringLiteral("b/b.txt"), "new\n"));
    ASSERT_TRUE(writeBytes(output.StageFolder() + QStringLiteral("c.txt"), "same\n"));
    ASSERT_TRUE(output.Classify());

    Frm_BuildPreview dialog(output);
    dialog.show();
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("Lst_Files"));
    auto* action = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Action"));
    auto* diff = dialog.findChild<QTextBrowser*>(QStringLiteral("Txt_Diff"));
    ASSERT_TRUE(list && action && diff);
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("conflict"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("write .new")); // never over the user's text
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("new"));
    EXPECT_EQ(list->topLevelItem(2)->text(1), QStringLiteral("unchanged"));

    // The conflict is shown first, its diff coloured line by line.
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    EXPECT_TRUE(diff->toPlainText().contains(QStringLiteral("-mine"))) << qPrintable(diff->toPlainText());
    EXPECT_TRUE(diff->toPlainText().contains(QStringLiteral("+three")));
    EXPECT_TRUE(diff->toHtml().contains(QStringLiteral("#c8f0c8"))) << qPrintable(diff->toHtml());

    // The user decides to overwrite the conflict and publishes.
    const int write = action->findText(QStringLiteral("write"));
    ASSERT_GE(write, 0);
    action->setCurrentIndex(write);
    emit action->activated(write);
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("write"));
    EXPECT_EQ(output.Files().at(0).action, QVNBuildOutput::Action::Write);
    dialog.findChild<QPushButton*>(QStringLiteral("Cmd_Publish"))->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(output.Publish(QStringLiteral("M"), QStringLiteral("1")));
    EXPECT_EQ(readBytes(out + QStringLiteral("a.txt")), QByteArray("one\ntwo\nthree\n"));
    EXPECT_EQ(readBytes(out + QStringLiteral("b/b.txt")), QByteArray("new\n"));
}
