// dromale-ctl: a line-oriented client of a component server, for scripts and tests.
//
//   dromale-ctl [--class CLASSID] [--folder ACTIVATION_FOLDER] [--timeout MS]
//
// Creates one object of CLASSID (default "Dromale.Process") and reads calls from standard input,
// one per line: the member name, then its arguments, separated by tabs. Each answer is printed on
// one line: the result as text (booleans as True/False, nothing for an empty result; tabs and line
// breaks inside a text as \t, \r, \n), or "ERROR", a tab and the reason. Empty lines are skipped.
// At end of input the object is released. Exit code: 0 when every call succeeded, 1 when a call
// failed, 2 when the object could not be created or the command line is wrong.

#include "QVNComObject.h"
#include "QVNMainGuard.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

namespace {
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

QString answerText(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return oneLine(value.toString());
}

int usage()
{
    std::fputs("usage: dromale-ctl [--class CLASSID] [--folder ACTIVATION_FOLDER] [--timeout MS]\n", stderr);
    return 2;
}
} // namespace

int main(int argc, char* argv[])
{
    return QVNMainGuard("dromale-ctl", [&]() -> int {
        QCoreApplication application(argc, argv);

        QString classId = QStringLiteral("Dromale.Process");
        QString folder;
        int timeout = 0;
        const QStringList arguments = QCoreApplication::arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            const QString& option = arguments.at(i);
            if (i + 1 >= arguments.size())
                return usage();
            const QString value = arguments.at(++i);
            if (option == QLatin1String("--class")) {
                classId = value;
            } else if (option == QLatin1String("--folder")) {
                folder = value;
            } else if (option == QLatin1String("--timeout")) {
                bool ok = false;
                timeout = value.toInt(&ok);
                if (!ok || timeout <= 0)
                    return usage();
            } else {
                return usage();
            }
        }

        QVNComObject object;
        if (timeout > 0)
            object.SetCallTimeout(timeout);
        if (!object.Create(classId, folder)) {
            std::fprintf(stderr, "dromale-ctl: %s\n", qPrintable(object.LastError()));
            return 2;
        }

        int exitCode = 0;
        std::string line;
        while (std::getline(std::cin, line)) {
            QString text = QString::fromStdString(line);
            if (text.endsWith(QLatin1Char('\r')))
                text.chop(1);
            if (text.trimmed().isEmpty())
                continue;
            QStringList fields = text.split(QLatin1Char('\t'));
            const QString member = fields.takeFirst().trimmed();
            QVariantList callArguments;
            for (const QString& field : fields)
                callArguments.append(field);

            const QVariant result = object.Call(member, callArguments);
            const QString answer =
                object.Failed() ? QStringLiteral("ERROR\t") + oneLine(object.LastError()) : answerText(result);
            if (object.Failed())
                exitCode = 1;
            std::cout << answer.toStdString() << std::endl;
        }
        object.Release();
        return exitCode;
    });
}
