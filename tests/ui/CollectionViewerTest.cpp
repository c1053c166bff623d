// The collection viewer as TQXRows::Show and TQXCols::Show open it, nested viewers included.

#include "Frm_Show.h"
#include "TQXShow.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
/// What a viewer showed when it was the topmost modal window.
struct Seen
{
    QString caption;
    bool rowsShown = false;
    int rows = -1;
    int cols = -1;
    QStringList values;
};

Seen look(Frm_Show* viewer)
{
    Seen s;
    s.caption = viewer->windowTitle();
    auto* rows = viewer->findChild<QTableView*>(QStringLiteral("Spd_Rows"));
    auto* cols = viewer->findChild<QTableView*>(QStringLiteral("Spd_Cols"));
    s.rowsShown = !rows->isHidden();
    s.rows = rows->model()->rowCount();
    s.cols = cols->model()->rowCount();
    for (int r = 0; r < s.cols; ++r)
        s.values << cols->model()->index(r, 3).data().toString();
    return s;
}

/// Runs `inspect` on the modal viewer once it is up, then closes it.
void whenShown(const std::function<void(Frm_Show*)>& inspect)
{
    QTimer::singleShot(0, [inspect] {
        auto* viewer = dynamic_cast<Frm_Show*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr);
        inspect(viewer);
        viewer->reject();
    });
}

class ObjectValue : public TQXObject
{
};

class CollectionViewer : public ::testing::Test
{
protected:
    void SetUp() override { Frm_Show::Register(); }
    void TearDown() override { TQXShow::SetViewer({}); }
};
} // namespace

TEST_F(CollectionViewer, ColumnSetShowsOnlyTheColumnsGridWithItsTagInTheCaption)
{
    auto cols = TQXCols::Create();
    cols->SetTag(QStringLiteral("ORDER"));
    cols->Add(TQXValue(QStringLiteral(" 12 ")), QStringLiteral("ID"), QStringLiteral(" Order id "));
    cols->Add(TQXValue(2.5), QStringLiteral("AMOUNT"));
    cols->Add(TQXValue(std::shared_ptr<TQXObject>(std::make_shared<ObjectValue>())), QStringLiteral("HANDLE"));
    Seen seen;
    whenShown([&](Frm_Show* v) { seen = look(v); });
    EXPECT_TRUE(cols->Show());
    EXPECT_EQ(seen.caption, QStringLiteral("Stavelin Show  ORDER"));
    EXPECT_FALSE(seen.rowsShown);
    EXPECT_EQ(seen.cols, 3);
    EXPECT_EQ(seen.values, (QStringList{QStringLiteral(" 12 "), QStringLiteral("2.5"), QStringLiteral("ObjectValue")}));
    EXPECT_EQ(cols->Count(), 3) << "the viewer only reads";

    auto empty = TQXRows::Create();
    whenShown([&](Frm_Show* v) { seen = look(v); });
    EXPECT_TRUE(empty->Show());
    EXPECT_EQ(seen.caption, QStringLiteral("Stavelin Show  "));
    EXPECT_FALSE(seen.rowsShown);
    EXPECT_EQ(seen.cols, 0);

    TQXShow::SetViewer({});
    EXPECT_FALSE(cols->Show()) << "without a window library nothing opens";
}

TEST_F(CollectionViewer, NestedSetsOpenFurtherViewersFromTheirButtons)
{
    auto inner = TQXRows::Create();
    inner->SetTag(QStringLiteral("COLUMNS"));
    for (const char* name : {"ID", "NAME", "PRICE"}) {
        auto c = TQXCols::Create();
        c->Add(TQXValue(QLatin1String(name)), QStringLiteral("CL_NAME"));
        inner->Add(c, QLatin1String(name));
    }
    auto leaf = TQXCols::Create();
    leaf->SetTag(QStringLiteral("LEAF"));
    leaf->Add(TQXValue(QStringLiteral("v")), QStringLiteral("K"));
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    auto first = TQXCols::Create();
    first->Add(TQXValue(QStringLiteral("orders")), QStringLiteral("TL_NAME"));
    first->Add(TQXValue(inner), QStringLiteral("COLUMNS"));
    tables->Add(first, QStringLiteral("orders"), QStringLiteral(" Orders "));
    auto second = TQXCols::Create();
    second->Add(TQXValue(leaf), QStringLiteral("EXTRA"));
    tables->Add(second, QStringLiteral("items"));

    Frm_Show viewer;
    viewer.SetRows_Show(tables);
    viewer.Load();
    Seen top = look(&viewer);
    EXPECT_EQ(top.caption, QStringLiteral("Stavelin Show  TABLES"));
    EXPECT_TRUE(top.rowsShown);
    EXPECT_EQ(top.rows, 2);
    EXPECT_EQ(top.cols, 2) << "row 1's columns are shown";
    auto* button = viewer.findChild<QPushButton*>(QStringLiteral("Cmd_Nested_2"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("TQXRows"));

    Seen nested;
    whenShown([&](Frm_Show* v) { nested = look(v); });
    button->click();
    EXPECT_EQ(nested.caption, QStringLiteral("Stavelin Show  COLUMNS"));
    EXPECT_EQ(nested.rows, 3);

    // Moving to row 2 shows its columns; its button opens the nested column set.
    auto* rows = viewer.findChild<QTableView*>(QStringLiteral("Spd_Rows"));
    rows->setCurrentIndex(rows->model()->index(1, 0));
    EXPECT_EQ(look(&viewer).cols, 1);
    whenShown([&](Frm_Show* v) { nested = look(v); });
    viewer.OpenNested(1);
    EXPECT_EQ(nested.caption, QStringLiteral("Stavelin Show  LEAF"));
    EXPECT_FALSE(nested.rowsShown);
    EXPECT_EQ(nested.values, QStringList{QStringLiteral("v")});

    // From the keyboard: Enter on the line opens it as well.
    auto* cols = viewer.findChild<QTableView*>(QStringLiteral("Spd_Cols"));
    nested = Seen();
    whenShown([&](Frm_Show* v) { nested = look(v); });
    emit cols->activated(cols->model()->index(0, 0));
    EXPECT_EQ(nested.caption, QStringLiteral("Stavelin Show  LEAF"));
}
