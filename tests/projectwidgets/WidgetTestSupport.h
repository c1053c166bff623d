#pragma once

#include "TempDir.h"

#include <QStringList>
#include <gtest/gtest.h>

/// English texts of the built application folder, the output folder in a temporary folder, and
/// every message the dialogs show recorded as "type|message|detail" instead of shown.
class WidgetTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// The sample database of the build.
    static QString SampleDatabase();
    static QString SampleConnection();

    TempDir m_dir;
    QStringList m_messages;
};
