// The build dialog lists the shipped models, and shows their variables, in the program's language.
#include "Frm_Build.h"
#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "UiTestSupport.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTableView>

namespace {

class BuildDialogLanguage : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        const QString shipped = QStringLiteral(QUORVIN_APP_DIR "/models/");
        for (const QString& name : QDir(shipped).entryList({QStringLiteral("*.qvnm")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(shipped + name, Mdl_Main::ModelPath + name)) << qPrintable(name);
    }

    /// The dialog's model names, and the description (tool tip) and the caption of the title variable
    /// of the data dictionary.
    static void Read(QStringList& names, QString& description, QString& caption)
    {
        Frm_Build dialog;
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
        ASSERT_NE(list, nullptr);
        names.clear();
        int dictionary = -1;
        for (int i = 0; i < list->count(); ++i) {
            names << list->itemText(i);
            if (list->itemData(i).toString().contains(QStringLiteral("(HTML)")))
                dictionary = i;
        }
        ASSERT_GE(dictionary, 0) << qPrintable(names.join(QLatin1Char('|')));
        description = list->itemData(dictionary, Qt::ToolTipRole).toString();
        list->setCurrentIndex(dictionary);
        const QAbstractItemModel* grid = dialog.findChild<QTableView*>(QStringLiteral("Spd_Data"))->model();
        for (int r = 0; r < grid->rowCount(); ++r) {
            if (grid->index(r, 2).data().toString() == QLatin1String("MV_TITLE"))
                caption = grid->index(r, 0).data().toString();
        }
    }
};

} // namespace

TEST_F(BuildDialogLanguage, ShippedModelsSpeakEnglishUnder1033AndChineseUnder2052)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    QStringList names;
    QString caption;
    QString description;
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    ASSERT_NO_FATAL_FAILURE(Read(names, description, caption));
    ASSERT_GE(names.size(), 4);
    EXPECT_FALSE(names.join(QLatin1Char('|')).contains(han)) << qPrintable(names.join(QLatin1Char('|')));
    EXPECT_TRUE(names.contains(QStringLiteral("Data dictionary (HTML)    (Version: 1.0)")))
        << qPrintable(names.join(QLatin1Char('|')));
    EXPECT_EQ(caption, QStringLiteral("Title"));
    EXPECT_TRUE(description.startsWith(QStringLiteral("One HTML page"))) << qPrintable(description);

    Mdl_Main::Language().SetLanguage(QStringLiteral("2052"));
    ASSERT_NO_FATAL_FAILURE(Read(names, description, caption));
    EXPECT_TRUE(names.contains(QStringLiteral("数据字典 (HTML)    (版本: 1.0)")))
        << qPrintable(names.join(QLatin1Char('|')));
    EXPECT_EQ(caption, QStringLiteral("标题"));
    EXPECT_TRUE(description.startsWith(QStringLiteral("一个 HTML 页面"))) << qPrintable(description);
}
