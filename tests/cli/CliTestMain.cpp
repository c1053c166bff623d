#include <QCoreApplication>
#include <gtest/gtest.h>

// QProcess wants an application object; the tests need no window system.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
