#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

/**
 * @brief The wire format between a component client and its out-of-process server.
 *
 * Every message is a frame: a 4-byte big-endian payload length, then the payload, a QDataStream
 * (version Qt_6_0) holding
 *   - a request: quint32 sequence, QString member, quint32 count, that many values;
 *   - an answer: quint32 sequence, bool ok, one value (the result), QString error.
 * A value is a quint8 tag and its data: 0 empty, 1 boolean (quint8), 2 integer (qint64), 3 double,
 * 4 text (QString). Only these cross the process boundary: the members take and return texts,
 * booleans and numbers by value, and a closed set keeps a malformed frame from making the reader
 * allocate or construct arbitrary types.
 * The answer repeats the sequence number of its request, so a client that gave up waiting can drop
 * a late answer instead of taking it for the answer of its next call. A frame longer than MaxFrame
 * cannot be resynchronised: the reader closes the connection.
 */
class QVNComProtocol
{
public:
    static constexpr quint32 MaxFrame = 16u * 1024u * 1024u;

    struct Request
    {
        quint32 sequence = 0;
        QString member;
        QVariantList arguments;
    };

    struct Answer
    {
        quint32 sequence = 0;
        bool ok = true;
        QVariant result;
        QString error;
    };

    enum class FrameStatus { Incomplete, Complete, Oversized };

    /// True when the value is one the wire format carries (see above); others are refused.
    static bool IsTransferable(const QVariant& value);
    /// Values that are not transferable must be rejected by the caller before encoding.
    static QByteArray EncodeRequest(const Request& request);
    static QByteArray EncodeAnswer(const Answer& answer);
    /// False when the payload is not a well-formed request (truncated, trailing bytes, bad types).
    static bool DecodeRequest(const QByteArray& payload, Request* request);
    static bool DecodeAnswer(const QByteArray& payload, Answer* answer);
    /// Moves the first complete frame's payload out of `buffer`; leaves the buffer alone otherwise.
    static FrameStatus TakeFrame(QByteArray& buffer, QByteArray* payload);
};
