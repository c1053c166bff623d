#pragma once

#include "TempDir.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

/// A private application folder for one test: the language files, the project template and the
/// sample database of the build's application folder (linked), its own settings file and working
/// folders, and the message window replaced by a recorder.
class UiTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// The sample project, made in this test's project folder; it reads its tables from the sample
    /// database of the build.
    QString SampleProject();
    /// A fresh empty project file (the template copied) named `name` in the project folder.
    QString NewProject(const QString& name);
    /// The recent list as stored in the settings.
    QStringList StoredRecent();

    TempDir m_dir;
    QString m_appPath;
    QStringList m_messages; ///< "type|message|detail" of every message shown
    QByteArray m_oldConfig, m_oldData;
};
