// The region tags become plain markers as the engine's last step, with variables in their names;
// anything that is not a complete tag on one line stays as written.
#include "QVNKeepTags.h"
#include "QVNParser.h"
#include "TQXCols.h"

#include <gtest/gtest.h>

TEST(KeepTags, TagsBecomeMarkersAfterEveryOtherStepAndBrokenOnesStay)
{
    QVNParser parser;
    auto vars = TQXCols::Create();
    vars->Add(TQXValue(QStringLiteral("users")), QStringLiteral("TL_NAME"));
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("# <ORVE_KEEPBEGIN><ORVE>TL_NAME</ORVE> extra</ORVE_KEEPBEGIN>\r\n"
                                                "body\r\n"
                                                "# <ORVE_KEEPEND> <ORVE>TL_NAME</ORVE> extra </ORVE_KEEPEND>\r\n"),
                                 vars),
              QStringLiteral("# quorvin-keep-begin: users_extra\r\nbody\r\n# quorvin-keep-end: users_extra\r\n"));
    const QStringList untouched = {
        QStringLiteral("<ORVE_KEEPBEGIN>a\n</ORVE_KEEPBEGIN>"), // cut by a line break
        QStringLiteral("<ORVE_KEEPBEGIN>a</ORVE_KEEPEND>"),     // mismatched pair
        QStringLiteral("no tags at all <ORVE_KEEP"),            // a start that never closes
    };
    for (const QString& text : untouched)
        EXPECT_EQ(QVNKeepTags::Apply(text), text) << qPrintable(text);
}
