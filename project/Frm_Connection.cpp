#include "Frm_Connection.h"

#include "Mdl_Main.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "QVNOdbcSources.h"
#include "ui_Frm_Connection.h"

#include <QFileDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {
const QString kSection = QStringLiteral("Frm_Connection");

const QStringList kDsn = {QStringLiteral("DSN")};
const QStringList kDriver = {QStringLiteral("DRIVER")};
const QStringList kFile = {QStringLiteral("Database"), QStringLiteral("DBQ")};
const QStringList kServer = {QStringLiteral("Server"), QStringLiteral("Servername"), QStringLiteral("Host")};
const QStringList kPort = {QStringLiteral("Port")};
const QStringList kSocket = {QStringLiteral("Socket")};
const QStringList kUser = {QStringLiteral("UID"), QStringLiteral("User"), QStringLiteral("Username"),
                           QStringLiteral("User ID")};
const QStringList kPassword = {QStringLiteral("PWD"), QStringLiteral("Password")};

bool IsKnown(const QString& key)
{
    for (const QStringList* group : {&kDsn, &kDriver, &kFile, &kServer, &kPort, &kSocket, &kUser, &kPassword})
        for (const QString& k : *group)
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

QString FirstOf(const QVNConnectionString& s, const QStringList& aliases)
{
    for (const QString& key : aliases)
        if (s.Contains(key))
            return s.Value(key);
    return QString();
}

/// Sets the field under the first alias the string already uses (its place and spelling kept),
/// else under the first alias; an empty value removes every alias.
void SetAlias(QVNConnectionString& s, const QStringList& aliases, const QString& value)
{
    if (value.isEmpty()) {
        for (const QString& key : aliases)
            s.Remove(key);
        return;
    }
    for (const QString& key : aliases) {
        if (s.Contains(key)) {
            for (const QString& other : aliases)
                if (other.compare(key, Qt::CaseInsensitive) != 0)
                    s.Remove(other);
            s.SetValue(key, value);
            return;
        }
    }
    s.SetValue(aliases.first(), value);
}
/// MariaDB's and MySQL's drivers reach a server on this machine through its socket file as well.
bool TakesSocket(const QString& driver)
{
    return driver.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive) ||
           driver.contains(QLatin1String("MySQL"), Qt::CaseInsensitive);
}
} // namespace

struct Frm_Connection::TestState
{
    std::atomic<bool> done{false};
    bool ok = false;
    QString message;
};

Frm_Connection::Frm_Connection(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Connection>())
{
    m_ui->setupUi(this);
    QVNFormLocalizer::Localize(this, Mdl_Main::Language());
    m_ui->Cmd_File->setText(QStringLiteral("..."));
    m_ui->Cmd_File->setMaximumWidth(m_ui->Cmd_File->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
    m_ui->Cmd_File->setAccessibleName(m_ui->Lbl_File->text().remove(QLatin1Char('&')));
    m_ui->Cbo_Driver->setAccessibleName(m_ui->RB_Driver->text().remove(QLatin1Char('&')));
    m_ui->Cbo_DSN->setAccessibleName(m_ui->RB_DSN->text().remove(QLatin1Char('&')));
    m_ui->Lbl_TestResult->setAccessibleName(m_ui->Cmd_Test->text().remove(QLatin1Char('&')));
    m_poll = new QTimer(this);
    m_poll->setInterval(50);
    FillLists();

    auto changed = [this] {
        if (!m_loading)
            UpdateResult();
    };
    for (QLineEdit* box : {m_ui->Txt_File, m_ui->Txt_Server, m_ui->Txt_Port, m_ui->Txt_Socket, m_ui->Txt_Database,
                           m_ui->Txt_Options, m_ui->Txt_User, m_ui->Txt_Password})
        connect(box, &QLineEdit::textChanged, this, changed);
    connect(m_ui->Cbo_Driver, &QComboBox::currentTextChanged, this, [this, changed] {
        ShowFieldsForKind();
        changed();
    });
    connect(m_ui->Cbo_DSN, &QComboBox::currentTextChanged, this, changed);
    connect(m_ui->RB_Driver, &QRadioButton::toggled, this, [this, changed] {
        ShowFieldsForKind();
        changed();
    });
    connect(m_ui->Chk_SavePassword, &QCheckBox::toggled, this, changed);
    connect(m_ui->Cmd_File, &QPushButton::clicked, this, &Frm_Connection::PickFile);
    connect(m_ui->Cmd_Test, &QPushButton::clicked, this, &Frm_Connection::StartTest);
    connect(m_ui->Cmd_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Cmd_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_poll, &QTimer::timeout, this, &Frm_Connection::PollTest);
    Start(QString(), QString(), QString());
    resize(600 * logicalDpiX() / 96, sizeHint().height());
    QVNDialogSize::Remember(this);
}

Frm_Connection::~Frm_Connection() = default;

void Frm_Connection::FillLists()
{
    m_ui->Cbo_Driver->clear();
    m_ui->Cbo_Driver->addItems(QVNOdbcSources::Drivers());
    m_ui->Cbo_DSN->clear();
    for (const QVNOdbcSources::DataSource& source : QVNOdbcSources::DataSources())
        m_ui->Cbo_DSN->addItem(source.name + QStringLiteral("  (") + source.driver + QLatin1Char(')'), source.name);
}

void Frm_Connection::Start(const QString& connectionString, const QString& user, const QString& password)
{
    m_loading = true;
    m_base = QVNConnectionString();
    QString problem;
    if (!connectionString.trimmed().isEmpty() && !m_base.Parse(connectionString)) {
        // A string that cannot be read: start on a new connection and say why.
        problem = m_base.Error();
        m_base = QVNConnectionString();
    }
    const QString dsn = FirstOf(m_base, kDsn);
    m_ui->RB_DSN->setChecked(!dsn.isEmpty());
    m_ui->RB_Driver->setChecked(dsn.isEmpty());
    const QString driver = FirstOf(m_base, kDriver);
    if (!driver.isEmpty()) {
        int i = m_ui->Cbo_Driver->findText(driver, Qt::MatchFixedString);
        if (i < 0) {
            m_ui->Cbo_Driver->addItem(driver); // not installed here: kept as written
            i = m_ui->Cbo_Driver->count() - 1;
        }
        m_ui->Cbo_Driver->setCurrentIndex(i);
    }
    if (!dsn.isEmpty()) {
        int i = m_ui->Cbo_DSN->findData(dsn, Qt::UserRole, Qt::MatchFixedString);
        if (i < 0) {
            m_ui->Cbo_DSN->addItem(dsn, dsn);
            i = m_ui->Cbo_DSN->count() - 1;
        }
        m_ui->Cbo_DSN->setCurrentIndex(i);
    }
    const QString database = FirstOf(m_base, kFile);
    m_ui->Txt_File->setText(database);
    m_ui->Txt_Database->setText(database);
    m_ui->Txt_Server->setText(FirstOf(m_base, kServer));
    m_ui->Txt_Port->setText(FirstOf(m_base, kPort));
    m_ui->Txt_Socket->setText(FirstOf(m_base, kSocket));
    QVNConnectionString others;
    m_knownOthers.clear();
    for (const QVNConnectionString::Entry& entry : m_base.Entries()) {
        if (IsKnown(entry.key))
            continue;
        others.SetValue(entry.key, entry.value);
        m_knownOthers << entry.key;
    }
    m_ui->Txt_Options->setText(others.Build());
    const QString inUser = FirstOf(m_base, kUser);
    const QString inPassword = FirstOf(m_base, kPassword);
    m_ui->Chk_SavePassword->setChecked(!inPassword.isEmpty());
    m_ui->Txt_User->setText(inUser.isEmpty() ? user : inUser);
    m_ui->Txt_Password->setText(inPassword.isEmpty() ? password : inPassword);
    m_ui->Lbl_TestResult->setText(problem);
    m_loading = false;
    ShowFieldsForKind();
    UpdateResult();
}

bool Frm_Connection::ServerKind() const
{
    return QVNOdbcSources::KindOf(m_ui->Cbo_Driver->currentText()) == QVNOdbcSources::DriverKind::Server;
}

void Frm_Connection::ShowFieldsForKind()
{
    const bool byDriver = m_ui->RB_Driver->isChecked();
    const bool server = byDriver && ServerKind();
    const bool file = byDriver && !server;
    m_ui->Cbo_Driver->setEnabled(byDriver);
    m_ui->Cbo_DSN->setEnabled(!byDriver);
    for (QWidget* w : {static_cast<QWidget*>(m_ui->Lbl_File), static_cast<QWidget*>(m_ui->Txt_File),
                       static_cast<QWidget*>(m_ui->Cmd_File)})
        w->setVisible(file);
    for (QWidget* w : {static_cast<QWidget*>(m_ui->Lbl_Server), static_cast<QWidget*>(m_ui->Txt_Server),
                       static_cast<QWidget*>(m_ui->Lbl_Port), static_cast<QWidget*>(m_ui->Txt_Port),
                       static_cast<QWidget*>(m_ui->Lbl_Database), static_cast<QWidget*>(m_ui->Txt_Database)})
        w->setVisible(server);
    const bool socket = server && TakesSocket(m_ui->Cbo_Driver->currentText());
    m_ui->Lbl_Socket->setVisible(socket);
    m_ui->Txt_Socket->setVisible(socket);
}

QString Frm_Connection::ConnectionString() const
{
    QVNConnectionString s = m_base;
    if (m_ui->RB_DSN->isChecked()) {
        const QString dsn = m_ui->Cbo_DSN->currentData().toString().isEmpty() ? m_ui->Cbo_DSN->currentText().trimmed()
                                                                              : m_ui->Cbo_DSN->currentData().toString();
        SetAlias(s, kDriver, QString());
        SetAlias(s, kDsn, dsn);
        for (const QStringList* group : {&kFile, &kServer, &kPort, &kSocket})
            SetAlias(s, *group, QString());
    } else {
        SetAlias(s, kDsn, QString());
        SetAlias(s, kDriver, m_ui->Cbo_Driver->currentText().trimmed());
        if (ServerKind()) {
            SetAlias(s, kServer, m_ui->Txt_Server->text().trimmed());
            SetAlias(s, kPort, m_ui->Txt_Port->text().trimmed());
            SetAlias(s, kSocket,
                     TakesSocket(m_ui->Cbo_Driver->currentText()) ? m_ui->Txt_Socket->text().trimmed() : QString());
            SetAlias(s, kFile, m_ui->Txt_Database->text().trimmed());
        } else {
            SetAlias(s, kServer, QString());
            SetAlias(s, kPort, QString());
            SetAlias(s, kSocket, QString());
            SetAlias(s, kFile, m_ui->Txt_File->text().trimmed());
        }
    }
    // Other options: keys dropped from the box leave the string, the rest keep their places.
    QVNConnectionString options;
    options.Parse(m_ui->Txt_Options->text());
    for (const QString& key : m_knownOthers)
        if (!options.Contains(key))
            s.Remove(key);
    for (const QVNConnectionString::Entry& entry : options.Entries())
        if (!IsKnown(entry.key))
            s.SetValue(entry.key, entry.value);
    if (PasswordInString()) {
        SetAlias(s, kUser, User());
        SetAlias(s, kPassword, Password());
    } else {
        SetAlias(s, kUser, QString());
        SetAlias(s, kPassword, QString());
    }
    return s.Build();
}

QString Frm_Connection::User() const
{
    return m_ui->Txt_User->text().trimmed();
}

QString Frm_Connection::Password() const
{
    return m_ui->Txt_Password->text();
}

bool Frm_Connection::PasswordInString() const
{
    return m_ui->Chk_SavePassword->isChecked();
}

void Frm_Connection::UpdateResult()
{
    // The shown string never carries the password in clear.
    QString shown = ConnectionString();
    if (PasswordInString() && !Password().isEmpty()) {
        QVNConnectionString masked;
        masked.Parse(shown);
        SetAlias(masked, kPassword, QStringLiteral("*****"));
        shown = masked.Build();
    }
    m_ui->Txt_Result->setText(shown);
}

void Frm_Connection::PickFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, m_ui->Lbl_File->text().remove(QLatin1Char('&')), m_ui->Txt_File->text());
    if (!file.isEmpty())
        m_ui->Txt_File->setText(file);
}

bool Frm_Connection::StartTest()
{
    if (m_testing)
        return false;
    m_testing = true;
    m_testOk = false;
    m_ui->Cmd_Test->setEnabled(false);
    m_ui->Lbl_TestResult->setText(
        QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("MESSAGE_TESTING")));
    const QString text = ConnectionString();
    const QString user = PasswordInString() ? QString() : User();
    const QString password = PasswordInString() ? QString() : Password();
    const int timeout = LoginTimeout;
    // The worker holds only copies and the shared state: closing the dialog meanwhile is safe, the
    // late answer is dropped.
    auto state = std::make_shared<TestState>();
    m_test = state;
    std::thread([state, text, user, password, timeout] {
        QString message;
        const bool ok = QVNOdbcSources::TestConnect(text, user, password, timeout, message);
        state->ok = ok;
        state->message = message;
        state->done.store(true, std::memory_order_release);
    }).detach();
    m_poll->start();
    return true;
}

void Frm_Connection::PollTest()
{
    if (!m_test || !m_test->done.load(std::memory_order_acquire))
        return;
    m_poll->stop();
    m_testing = false;
    m_testOk = m_test->ok;
    const QString key = m_testOk ? QStringLiteral("MESSAGE_TEST_OK") : QStringLiteral("ERROR_TEST");
    m_ui->Lbl_TestResult->setText(QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key) + QLatin1Char(' ') +
                                  m_test->message);
    m_ui->Cmd_Test->setEnabled(true);
}

QString Frm_Connection::TestMessage() const
{
    return m_ui->Lbl_TestResult->text();
}

QString Frm_Connection::ShowOLEDB(QWidget* owner, const QString& connectionString)
{
    Frm_Connection editor(owner);
    editor.Start(connectionString, QString(), QString());
    if (editor.exec() != QDialog::Accepted)
        return QString();
    return editor.ConnectionString();
}
