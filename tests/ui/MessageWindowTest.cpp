#include "Frm_Error.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

namespace {

class MessageWindowTest : public UiTest
{
protected:
    template <typename T> T* Find(Frm_Error& w, const char* name) { return w.findChild<T*>(QLatin1String(name)); }
};

TEST_F(MessageWindowTest, EmptyDetailHidesTheButtonAndCollapsesEvenWhenDetailIsAskedFor)
{
    Frm_Error window;
    window.Setup(QStringLiteral("Saved."), 2, QString(), true, 10);
    window.show();
    EXPECT_FALSE(window.DetailShown());
    EXPECT_EQ(window.height(), window.CollapsedHeight());
    EXPECT_FALSE(Find<QPushButton>(window, "Cmd_Detail")->isVisible());
    EXPECT_FALSE(Find<QPlainTextEdit>(window, "Txt_Detail")->isVisible());
    EXPECT_TRUE(Find<QLabel>(window, "Pict_Icon_2")->isVisible());
    EXPECT_FALSE(Find<QLabel>(window, "Pict_Icon_0")->isVisible());
    EXPECT_EQ(Find<QLabel>(window, "Lbl_Message")->text(), QStringLiteral("Saved."));
}

TEST_F(MessageWindowTest, DetailToggleSwitchesHeightAndArrow)
{
    Frm_Error window;
    window.Setup(QStringLiteral("Cannot save"), 0, QStringLiteral("line one\nline two"), true, 0);
    window.show();
    auto* detail = Find<QPushButton>(window, "Cmd_Detail");
    EXPECT_TRUE(window.DetailShown());
    EXPECT_EQ(window.height(), window.ExpandedHeight());
    EXPECT_TRUE(detail->text().endsWith(QStringLiteral(" <<")));
    EXPECT_TRUE(Find<QLabel>(window, "Pict_Icon_0")->isVisible());

    detail->click();
    EXPECT_FALSE(window.DetailShown());
    EXPECT_EQ(window.height(), window.CollapsedHeight());
    EXPECT_TRUE(detail->text().endsWith(QStringLiteral(" >>")));
    detail->click();
    EXPECT_EQ(window.height(), window.ExpandedHeight());

    // Detail present but not wanted: loaded collapsed, the button still offers it.
    Frm_Error collapsed;
    collapsed.Setup(QStringLiteral("x"), 0, QStringLiteral("detail"), false, 0);
    collapsed.show();
    EXPECT_FALSE(collapsed.DetailShown());
    EXPECT_TRUE(collapsed.findChild<QPushButton*>(QStringLiteral("Cmd_Detail"))->isVisible());
}

TEST_F(MessageWindowTest, CountdownClosesUnlessStoppedOrDisabled)
{
    Frm_Error counting;
    counting.Setup(QStringLiteral("x"), 2, QString(), false, 2);
    counting.show();
    EXPECT_TRUE(counting.CountingDown());
    EXPECT_TRUE(Find<QWidget>(counting, "Fra_Second")->isVisible());
    counting.CountDown();
    EXPECT_EQ(Find<QLineEdit>(counting, "Txt_Second")->text(), QStringLiteral("1"));
    EXPECT_TRUE(counting.isVisible());
    counting.CountDown();
    EXPECT_FALSE(counting.isVisible());
    EXPECT_FALSE(counting.CountingDown());

    Frm_Error stopped;
    stopped.Setup(QStringLiteral("x"), 2, QString(), false, 10);
    stopped.show();
    Find<QPushButton>(stopped, "Cmd_Stop")->click();
    EXPECT_FALSE(stopped.CountingDown());
    EXPECT_TRUE(stopped.isVisible());
    Find<QPushButton>(stopped, "Cmd_Ok")->click();
    EXPECT_FALSE(stopped.isVisible());

    Frm_Error noTimer;
    noTimer.Setup(QStringLiteral("x"), 0, QString(), false, 0);
    noTimer.show();
    EXPECT_FALSE(noTimer.CountingDown());
    EXPECT_FALSE(Find<QWidget>(noTimer, "Fra_Second")->isVisible());
}

TEST_F(MessageWindowTest, FailureNeverClosesByItselfAndItsDetailWrapsAndCanBeCopied)
{
    // Failures and warnings ignore a countdown asked for; notices keep theirs (above).
    for (int type : {0, 1}) {
        Frm_Error window;
        window.Setup(QStringLiteral("Cannot connect to the database."), type, QStringLiteral("x"), true, 10);
        window.show();
        EXPECT_FALSE(window.CountingDown()) << type;
        EXPECT_FALSE(Find<QWidget>(window, "Fra_Second")->isVisible()) << type;
    }

    const QString cause = QStringLiteral("[unixODBC][SQLite]unable to open database file /home/someone/projects/") +
                          QString(120, QLatin1Char('d')) + QStringLiteral("/sample.db");
    Frm_Error window;
    window.Setup(QStringLiteral("Cannot connect to the database."), 0, cause, true, 10);
    window.show();
    QApplication::processEvents();
    auto* detail = Find<QPlainTextEdit>(window, "Txt_Detail");
    // The whole cause is on the screen: the one long line is broken into several.
    EXPECT_EQ(detail->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(detail->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_TRUE(detail->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    detail->selectAll();
    detail->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), cause);
}

TEST_F(MessageWindowTest, CaptionsComeFromTheLanguageWithTheArrowAdded)
{
    Frm_Error window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Message"));
    EXPECT_EQ(Find<QPushButton>(window, "Cmd_Ok")->text(), QStringLiteral("&OK"));
    EXPECT_EQ(Find<QPushButton>(window, "Cmd_Detail")->text(), QStringLiteral("&Detail <<"));
}

} // namespace
