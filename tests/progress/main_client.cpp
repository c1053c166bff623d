#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The servers the tests start inherit this environment: they draw offscreen (also when test
    // discovery runs the binary outside CTest) and answer the test-only members.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DROMALE_TEST_HOOKS", "1");
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
