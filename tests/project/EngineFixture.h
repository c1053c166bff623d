#pragma once

#include "ProjectTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

enum class Engine { Sqlite, Postgres };

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::Sqlite ? "Sqlite" : "Postgres";
}

/// A test that runs once against the SQLite ODBC driver and once against PostgreSQL.
class EngineTest : public ::testing::TestWithParam<Engine>
{
protected:
    /// A fresh database holding the script's objects; fails the test when it cannot be made.
    QString MakeDatabase(const QString& script)
    {
        if (GetParam() == Engine::Sqlite) {
            const QString path = m_dir.file(QStringLiteral("db%1.sqlite").arg(++m_count));
            const QString error = CreateSqliteFile(path, script);
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            return SqliteConnection(path);
        }
        QString error;
        const QString cs = Pg::CreateDatabase(script, error);
        EXPECT_FALSE(cs.isEmpty()) << error.toStdString();
        return cs;
    }
    bool IsPostgres() const { return GetParam() == Engine::Postgres; }

    TempDir m_dir;
    int m_count = 0;
};

inline void PrintTo(Engine e, std::ostream* os)
{
    *os << (e == Engine::Sqlite ? "SQLite" : "PostgreSQL");
}
