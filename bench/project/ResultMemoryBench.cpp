// The memory a large result costs the table data viewer's model: 2 000 000 rows read as far as
// the model lets a view scroll, the peak and what is kept once the result is dropped, and how
// long Cancel takes to stop a statement the server is still executing. Starts its own throw-away
// server with the test fixture script. Run: <build>/quorvin/bench_result_memory [--rows N]
#include "QVNResultModel.h"
#include "QVNStatementRunner.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

namespace {
void Say(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

double ResidentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? double(parts[1].toLongLong() * sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

QHash<QString, QString> ReadEnv(const QString& path)
{
    QHash<QString, QString> values;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
        }
    }
    return values;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 2000000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rows"))
            rows = args.at(i + 1).toInt();
    }
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/quorvin-bench-XXXXXX"));
    const QString envFile = work.filePath(QStringLiteral("pg.env"));
    const QString fixture = QStringLiteral(QUORVIN_PG_FIXTURE);
    if (QProcess::execute(fixture, {QStringLiteral("start"), envFile}) != 0) {
        Say(QStringLiteral("cannot start the PostgreSQL server"));
        return 1;
    }
    const auto env = ReadEnv(envFile);
    const QString cs = QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Username=%3;CommLog=0;"
                                      "Database=postgres;")
                           .arg(env.value("PG_SOCKET_DIR"), env.value("PG_PORT"), env.value("PG_USER"));
    const QString sql = QStringLiteral("select g as id, 'customer ' || g as name, g * 1.25 as amount, "
                                       "now() as stamp from generate_series(1, %1) g")
                            .arg(rows);
    const double before = ResidentMb();
    double peak = before;
    int held = 0;
    {
        QVNResultModel model;
        QElapsedTimer clock;
        clock.start();
        model.Run(cs, sql);
        while (model.Busy())
            model.WaitAndTake(100);
        model.WaitAndTake(0);
        const qint64 firstRows = clock.elapsed();
        while (model.canFetchMore(QModelIndex())) {
            model.fetchMore(QModelIndex());
            model.WaitAndTake(60000);
            peak = std::max(peak, ResidentMb());
        }
        held = model.rowCount();
        Say(QStringLiteral("%1 rows: first rows after %2 ms; %3 rows held (limit %4) after %5 ms")
                .arg(rows)
                .arg(firstRows)
                .arg(held)
                .arg(model.LimitReached() ? QStringLiteral("reached") : QStringLiteral("not reached"))
                .arg(clock.elapsed()));
        clock.restart();
        model.sort(0, Qt::DescendingOrder);
        while (model.Busy())
            model.WaitAndTake(100);
        model.WaitAndTake(0);
        Say(QStringLiteral("sorted by the database (first id %1) in %2 ms").arg(model.Cell(0, 0)).arg(clock.elapsed()));
    }
    const double after = ResidentMb();
    Say(QStringLiteral("resident memory: %1 MB before, peak %2 MB (+%3 MB), %4 MB after the result was dropped "
                       "(+%5 MB kept)")
            .arg(before, 0, 'f', 1)
            .arg(peak, 0, 'f', 1)
            .arg(peak - before, 0, 'f', 1)
            .arg(after, 0, 'f', 1)
            .arg(after - before, 0, 'f', 1));

    QVNStatementRunner runner;
    runner.Start(cs, QStringLiteral("select pg_sleep(12)"));
    while (runner.CurrentStatus().phase != QVNStatementRunner::Phase::Executing)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    QElapsedTimer clock;
    clock.start();
    runner.Cancel();
    runner.WaitIdle(15000);
    Say(QStringLiteral("cancel of select pg_sleep(12) after 0.5 s: stopped in %1 ms").arg(clock.elapsed()));
    QProcess::execute(fixture, {QStringLiteral("stop"), envFile});
    return 0;
}
