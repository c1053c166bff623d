#pragma once

#include "QVNConnectionString.h"

#include <QDialog>

#include <memory>

class QTimer;

namespace Ui {
class Frm_Connection;
}

/**
 * @brief The connection-string editor: a driver or a data source from the driver manager's lists,
 * the fields that driver takes, and a test connection.
 *
 * The string it starts on is parsed into the fields; keys the editor has no field for stay in
 * "other options" and come back in their places. User and password go into the built string only
 * when Chk_SavePassword is ticked (it starts ticked when the string already held them); otherwise
 * the caller keeps them apart. The test runs on a worker thread with its own connection, so the
 * window stays usable until the driver answers or its login time-out ends.
 */
class Frm_Connection : public QDialog
{
public:
    explicit Frm_Connection(QWidget* parent = nullptr);
    ~Frm_Connection() override;

    /// Fills the fields from `connectionString` (a string that cannot be read starts a new
    /// connection and says why) and the credentials the caller holds.
    void Start(const QString& connectionString, const QString& user, const QString& password);
    /// The string the fields make now.
    QString ConnectionString() const;
    QString User() const;
    QString Password() const;
    bool PasswordInString() const;

    /// Starts the test connection; its result appears in Lbl_TestResult. False while one runs.
    bool StartTest();
    bool Testing() const { return m_testing; }
    bool LastTestSucceeded() const { return m_testOk; }
    QString TestMessage() const;

    /// Opens the editor on `connectionString`; the built string, or empty when cancelled.
    static QString ShowOLEDB(QWidget* owner, const QString& connectionString);

    int LoginTimeout = 5;

private:
    struct TestState;
    void FillLists();
    void ShowFieldsForKind();
    void UpdateResult();
    void PickFile();
    void PollTest();
    bool ServerKind() const;

    std::unique_ptr<Ui::Frm_Connection> m_ui;
    QVNConnectionString m_base; ///< the string started on: places and spellings of its keys
    QStringList m_knownOthers;  ///< keys of m_base shown in "other options"
    std::shared_ptr<TestState> m_test;
    QTimer* m_poll = nullptr;
    bool m_testing = false;
    bool m_testOk = false;
    bool m_loading = false;
};
