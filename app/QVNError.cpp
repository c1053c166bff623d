#include "QVNError.h"

namespace {

int depthOf(const TQXCol& entry)
{
    // The depth is read as the number "0" + Tag, so an empty tag counts as 0.
    return (QStringLiteral("0") + entry.Tag()).toInt();
}

} // namespace

bool QVNError::Add(const QString& pStr_Mess)
{
    Messages->Add(TQXValue(pStr_Mess), QString(), QString(), QString(), QStringLiteral("0"));
    return true;
}

bool QVNError::AddExceptions(const QVNError& pCols_Exception)
{
    if (pCols_Exception.Messages == Messages) {
        // Taking over one's own lines: work from a snapshot so the loop ends.
        QVNError snapshot;
        snapshot.Messages->Copy(Messages);
        return AddExceptions(snapshot);
    }
    for (const TQXColPtr& entry : *pCols_Exception.Messages)
        Messages->Add(entry->Value(), QString(), QString(), QString(), QString::number(depthOf(*entry) + 1));
    return true;
}

bool QVNError::Clear()
{
    Messages = TQXCols::Create();
    return true;
}

QString QVNError::ToString() const
{
    QString out;
    for (const TQXColPtr& entry : *Messages) {
        out += QStringLiteral("\r\n");
        out += QString(5 * depthOf(*entry), QLatin1Char(' '));
        out += entry->Value().ToText().trimmed();
    }
    return out.mid(2);
}
