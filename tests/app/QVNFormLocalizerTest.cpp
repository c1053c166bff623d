#include "QVNFormLocalizer.h"

#include "QVNLanguage.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(QVNFormLocalizer, WalksTheWidgetTreeByObjectName)
{
    TempDir tmp;
    writeBytes(tmp.file(QStringLiteral("ORVE_GLOBAL.2052")),
               "[GLOBAL]\nLANGUAGE=简体中文\nFONT=MS Sans Serif\nCHARSET=134\n"
               "[Frm_Test]\nCAPTION=测试窗口\nCmd_Ok=确定\nLbl_Name=名称\nFra_Box=框\nMnu_File=文件\n"
               "Spd_List_0_2=第二列\n");
    QVNLanguage language;
    language.SetLanguagePath(tmp.path());
    language.SetLanguage(QStringLiteral("2052"));

    QWidget window;
    window.setObjectName(QStringLiteral("Frm_Test"));
    auto* layout = new QVBoxLayout(&window);
    auto* ok = new QPushButton(QStringLiteral("designer text"));
    ok->setObjectName(QStringLiteral("Cmd_Ok"));
    auto* missing = new QPushButton(QStringLiteral("designer text"));
    missing->setObjectName(QStringLiteral("Cmd_Missing"));
    auto* label = new QLabel();
    label->setObjectName(QStringLiteral("Lbl_Name"));
    auto* box = new QGroupBox();
    box->setObjectName(QStringLiteral("Fra_Box"));
    auto* grid = new QTableWidget(0, 2);
    grid->setObjectName(QStringLiteral("Spd_List"));
    grid->setHorizontalHeaderLabels({QStringLiteral("one"), QStringLiteral("two")});
    auto* action = new QAction(&window);
    action->setObjectName(QStringLiteral("Mnu_File"));
    for (QWidget* w : {static_cast<QWidget*>(ok), static_cast<QWidget*>(missing), static_cast<QWidget*>(label),
                       static_cast<QWidget*>(box), static_cast<QWidget*>(grid)})
        layout->addWidget(w);

    QVNFormLocalizer::Localize(&window, language);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("测试窗口"));
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_EQ(missing->text(), missing->objectName()); // a missing text shows its key, not a blank
    EXPECT_EQ(label->text(), QStringLiteral("名称"));
    EXPECT_EQ(box->title(), QStringLiteral("框"));
    EXPECT_EQ(action->text(), QStringLiteral("文件"));
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), QStringLiteral("one"));
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), QStringLiteral("第二列"));
    // "MS Sans Serif" keeps the desktop's default UI font.
    EXPECT_EQ(ok->font().family(), QApplication::font().family());
}

TEST(QVNFormLocalizer, UnknownFontsKeepTheDesktopDefault)
{
    const QFont desktop = QApplication::font();
    EXPECT_EQ(QVNFormLocalizer::ResolveFont(QString(), desktop), desktop);
    EXPECT_EQ(QVNFormLocalizer::ResolveFont(QStringLiteral("No Such Font 123"), desktop), desktop);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
