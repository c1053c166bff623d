#include "QVNComProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace {
constexpr int HeaderSize = 4;
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_6_0;

enum Tag : quint8 { TagEmpty = 0, TagBool = 1, TagInteger = 2, TagDouble = 3, TagText = 4 };

QByteArray frame(const QByteArray& payload)
{
    QByteArray out(HeaderSize, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), out.data());
    out.append(payload);
    return out;
}

void writeValue(QDataStream& stream, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        stream << quint8(TagBool) << quint8(value.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        stream << quint8(TagInteger) << qint64(value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        stream << quint8(TagDouble) << value.toDouble();
        return;
    case QMetaType::QString:
        stream << quint8(TagText) << value.toString();
        return;
    default:
        stream << quint8(TagEmpty);
        return;
    }
}

bool readValue(QDataStream& stream, QVariant* value)
{
    quint8 tag = 0;
    stream >> tag;
    switch (tag) {
    case TagEmpty:
        *value = QVariant();
        break;
    case TagBool: {
        quint8 flag = 0;
        stream >> flag;
        if (flag > 1)
            return false;
        *value = QVariant(flag == 1);
        break;
    }
    case TagInteger: {
        qint64 number = 0;
        stream >> number;
        *value = QVariant(number);
        break;
    }
    case TagDouble: {
        double number = 0;
        stream >> number;
        *value = QVariant(number);
        break;
    }
    case TagText: {
        QString text;
        stream >> text;
        *value = QVariant(text);
        break;
    }
    default:
        return false;
    }
    return stream.status() == QDataStream::Ok;
}

// A payload is accepted only when it was read completely and nothing follows it.
bool readCleanly(const QDataStream& stream)
{
    return stream.status() == QDataStream::Ok && stream.atEnd();
}
} // namespace

bool QVNComProtocol::IsTransferable(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::QString:
        return true;
    default:
        return false;
    }
}

QByteArray QVNComProtocol::EncodeRequest(const Request& request)
{
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(StreamVersion);
    stream << request.sequence << request.member << quint32(request.arguments.size());
    for (const QVariant& argument : request.arguments)
        writeValue(stream, argument);
    return frame(payload);
}

QByteArray QVNComProtocol::EncodeAnswer(const Answer& answer)
{
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(StreamVersion);
    stream << answer.sequence << answer.ok;
    writeValue(stream, answer.result);
    stream << answer.error;
    return frame(payload);
}

bool QVNComProtocol::DecodeRequest(const QByteArray& payload, Request* request)
{
    QDataStream stream(payload);
    stream.setVersion(StreamVersion);
    Request decoded;
    quint32 count = 0;
    stream >> decoded.sequence >> decoded.member >> count;
    // Every value takes at least its tag byte: a count beyond the bytes left is a lie, and trusting
    // it would only make us reserve memory for values that are not there.
    if (stream.status() != QDataStream::Ok || count > static_cast<quint64>(payload.size()))
        return false;
    decoded.arguments.reserve(static_cast<qsizetype>(count));
    for (quint32 i = 0; i < count; ++i) {
        QVariant value;
        if (!readValue(stream, &value))
            return false;
        decoded.arguments.append(value);
    }
    if (!readCleanly(stream))
        return false;
    *request = std::move(decoded);
    return true;
}

bool QVNComProtocol::DecodeAnswer(const QByteArray& payload, Answer* answer)
{
    QDataStream stream(payload);
    stream.setVersion(StreamVersion);
    Answer decoded;
    stream >> decoded.sequence >> decoded.ok;
    if (stream.status() != QDataStream::Ok || !readValue(stream, &decoded.result))
        return false;
    stream >> decoded.error;
    if (!readCleanly(stream))
        return false;
    *answer = std::move(decoded);
    return true;
}

QVNComProtocol::FrameStatus QVNComProtocol::TakeFrame(QByteArray& buffer, QByteArray* payload)
{
    if (buffer.size() < HeaderSize)
        return FrameStatus::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > MaxFrame)
        return FrameStatus::Oversized;
    if (static_cast<quint64>(buffer.size()) < HeaderSize + static_cast<quint64>(length))
        return FrameStatus::Incomplete;
    *payload = buffer.mid(HeaderSize, static_cast<qsizetype>(length));
    buffer.remove(0, HeaderSize + static_cast<qsizetype>(length));
    return FrameStatus::Complete;
}
