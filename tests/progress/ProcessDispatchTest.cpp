// Late-bound dispatch of the Process object, in-process.

#include "Process.h"
#include "ProcessServer.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {
class ProcessDispatch : public ::testing::Test
{
protected:
    bool invoke(const QString& member, const QVariantList& arguments = {})
    {
        m_error = QStringLiteral("stale");
        return m_object.Invoke(member, arguments, &m_result, &m_error);
    }
    bool cancelShown() const
    {
        return !m_server.Window()->findChild<QPushButton*>(QStringLiteral("Cmd_Cancel"))->isHidden();
    }

    ProcessServer m_server;
    Process m_object{m_server};
    QVariant m_result;
    QString m_error;
};
} // namespace

TEST_F(ProcessDispatch, BooleanArgumentsAcceptTheUsualSpellings)
{
    const QList<std::pair<QVariant, bool>> cases{{QVariant(false), false},
                                                 {QStringLiteral("TRUE"), true},
                                                 {QStringLiteral(" false "), false},
                                                 {QStringLiteral("0"), false},
                                                 {QStringLiteral("-1"), true},
                                                 {QVariant(0), false},
                                                 {QVariant(2.5), true},
                                                 {QVariant(), false}};
    for (const auto& [value, expected] : cases) {
        ASSERT_TRUE(invoke(QStringLiteral("ShowProcess"), {QStringLiteral("t"), value})) << qPrintable(m_error);
        EXPECT_EQ(m_error, QString());
        EXPECT_EQ(cancelShown(), expected) << qPrintable(value.toString());
    }
    EXPECT_FALSE(invoke(QStringLiteral("ShowProcess"), {QStringLiteral("t"), QStringLiteral("yes")}));
    EXPECT_FALSE(invoke(QStringLiteral("ShowProcess"), {QStringLiteral("t"), QString()}));
}

TEST_F(ProcessDispatch, PropertiesReadWithoutAndWriteWithOneArgument)
{
    ASSERT_TRUE(invoke(QStringLiteral("CancelCaption")));
    EXPECT_EQ(m_result.toString(), QStringLiteral("&Cancel"));
    ASSERT_TRUE(invoke(QStringLiteral("cancelcaption"), {true}));
    EXPECT_FALSE(m_result.isValid());
    EXPECT_EQ(m_object.CancelCaption, QStringLiteral("True"));
    EXPECT_FALSE(invoke(QStringLiteral("CancelCaption"), {1, 2}));

    ASSERT_TRUE(invoke(QStringLiteral("ProcessCanceled")));
    EXPECT_EQ(m_result.typeId(), QMetaType::Bool);
    EXPECT_FALSE(invoke(QStringLiteral("ProcessCanceled"), {true})) << "read-only";
    ASSERT_TRUE(invoke(QStringLiteral("ProcessFormHwnd")));
    EXPECT_EQ(m_result.typeId(), QMetaType::Int);
    EXPECT_NE(m_server.Window(), nullptr);
}

TEST_F(ProcessDispatch, OperationsReturnAnEmptyResult)
{
    for (const auto& [member, arguments] :
         QList<std::pair<QString, QVariantList>>{{QStringLiteral("ShowProcess"), {QStringLiteral("t")}},
                                                 {QStringLiteral("SetProcessing"), {QStringLiteral("s")}},
                                                 {QStringLiteral("EndProcess"), {}},
                                                 {QStringLiteral("Quit"), {}}}) {
        m_result = QVariant(1);
        ASSERT_TRUE(invoke(member, arguments)) << qPrintable(m_error);
        EXPECT_FALSE(m_result.isValid()) << qPrintable(member);
    }
}

TEST_F(ProcessDispatch, TestMembersExistOnlyWhenEnabled)
{
    EXPECT_FALSE(invoke(QStringLiteral("TestPid")));
    EXPECT_TRUE(m_error.contains(QStringLiteral("doesn't support"))) << qPrintable(m_error);
    m_server.SetTestHooksEnabled(true);
    EXPECT_TRUE(invoke(QStringLiteral("TestPid")));
    EXPECT_FALSE(invoke(QStringLiteral("TestWindow"), {QStringLiteral("Caption")})) << "no window loaded";
    EXPECT_TRUE(invoke(QStringLiteral("TestWindow"), {QStringLiteral("Loaded")}));
    EXPECT_EQ(m_result.toBool(), false);
}

TEST(ProcessObject, ReleasingAnObjectClosesTheWindow)
{
    ProcessServer server;
    {
        Process object(server);
        object.ShowProcess(QStringLiteral("Build"));
        ASSERT_NE(server.Window(), nullptr);
    }
    EXPECT_EQ(server.Window(), nullptr);
}
