#include "QVNGenerate.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

TQXColsPtr ModelWithVariables(const std::vector<std::pair<QString, QString>>& vars)
{
    auto list = TQXRows::Create();
    for (const auto& [no, def] : vars) {
        auto cols = TQXCols::Create();
        cols->Add(TQXValue(QStringLiteral(" ") + no + QStringLiteral(" ")), QStringLiteral("MV_NO"));
        cols->Add(TQXValue(def), QStringLiteral("MV_DEFAULT"));
        list->Add(cols);
    }
    auto info = TQXCols::Create();
    info->Add(TQXValue(QStringLiteral("M")), QStringLiteral("MI_NAME"));
    info->Add(TQXValue(list), QStringLiteral("MI_VARIABLE"));
    return info;
}

QStringList Keys(const TQXColsPtr& cols)
{
    QStringList keys;
    for (const TQXColPtr& c : *cols)
        keys.append(c->Key());
    return keys;
}

} // namespace

TEST(GenerateVariables, TheSetFollowsTheDialogsOrderAndDefaultsSeeDatesAndProjectValues)
{
    const TQXColsPtr info = ModelWithVariables({{QStringLiteral("MV_PKG"), QStringLiteral("p_<ORVE>RVG_P_NO</ORVE>")},
                                                {QStringLiteral("MV_DAY"), QStringLiteral(" <ORVE>RVG_DATE</ORVE> ")},
                                                {QStringLiteral("MV_WHERE"), QStringLiteral("<ORVE>RVG_FOLDER</ORVE>")},
                                                {QStringLiteral("MV_NOTE"), QStringLiteral("  first\r\nsecond\r\n ")}});
    TQXColsPtr vars;
    QString error;
    ASSERT_TRUE(QVNGenerate::BuildVariables(info, QStringLiteral("/out"),
                                            {{QStringLiteral("P_NO"), QStringLiteral("7")}}, {}, vars, error));
    EXPECT_EQ(Keys(vars),
              (QStringList{QStringLiteral("RVG_DATE"), QStringLiteral("RVG_DATETIME"), QStringLiteral("RVG_P_NO"),
                           QStringLiteral("RVG_FOLDER"), QStringLiteral("MV_PKG"), QStringLiteral("MV_DAY"),
                           QStringLiteral("MV_WHERE"), QStringLiteral("MV_NOTE")}));
    EXPECT_EQ(vars->Text(QStringLiteral("RVG_FOLDER")), QStringLiteral("/out/"));
    EXPECT_EQ(vars->Text(QStringLiteral("MV_PKG")), QStringLiteral("p_7"));
    EXPECT_EQ(vars->Text(QStringLiteral("MV_DAY")), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    // As in the dialog, defaults see the dialog's variables only; the folder is added afterwards.
    EXPECT_EQ(vars->Text(QStringLiteral("MV_WHERE")), QStringLiteral("<ORVE>RVG_FOLDER</ORVE>"));
    // Only spaces are trimmed: a multi-line default keeps its last line break.
    EXPECT_EQ(vars->Text(QStringLiteral("MV_NOTE")), QStringLiteral("first\r\nsecond\r\n"));
}

TEST(GenerateVariables, OverridesReplaceAnyVariableOrAreAppendedAndNeedAnEqualsSign)
{
    const TQXColsPtr info = ModelWithVariables({{QStringLiteral("MV_A"), QStringLiteral("a")}});
    TQXColsPtr vars;
    QString error;
    ASSERT_TRUE(QVNGenerate::BuildVariables(
        info, QStringLiteral("/o/"), {},
        {QStringLiteral("mv_a=x=1"), QStringLiteral("RVG_DATE=2001-02-03"), QStringLiteral("EXTRA=")}, vars, error));
    EXPECT_EQ(vars->Text(QStringLiteral("MV_A")), QStringLiteral("x=1"));
    EXPECT_EQ(vars->Text(QStringLiteral("RVG_DATE")), QStringLiteral("2001-02-03"));
    EXPECT_EQ(vars->Item(vars->Count())->Key(), QStringLiteral("EXTRA"));
    EXPECT_FALSE(
        QVNGenerate::BuildVariables(info, QStringLiteral("/o/"), {}, {QStringLiteral("novalue")}, vars, error));
    EXPECT_TRUE(error.contains(QStringLiteral("novalue")));
}
