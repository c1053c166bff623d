#include "QVNComProtocol.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {
QByteArray payloadOf(const QByteArray& frame)
{
    return frame.mid(4);
}

QByteArray framed(const QByteArray& payload)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), out.data());
    return out + payload;
}
} // namespace

TEST(ComProtocol, RequestCarriesEveryTransferableValueUnchanged)
{
    const QVariantList arguments{QVariant(),         QVariant(true),
                                 QVariant(false),    QVariant(qint64(-9007199254740993LL)),
                                 QVariant(2.5),      QVariant(QStringLiteral("生成 \t\r\n")),
                                 QVariant(QString())};
    QVNComProtocol::Request decoded;
    ASSERT_TRUE(QVNComProtocol::DecodeRequest(
        payloadOf(QVNComProtocol::EncodeRequest({77, QStringLiteral("ShowProcess"), arguments})), &decoded));
    EXPECT_EQ(decoded.sequence, 77u);
    EXPECT_EQ(decoded.member, QStringLiteral("ShowProcess"));
    ASSERT_EQ(decoded.arguments.size(), arguments.size());
    EXPECT_FALSE(decoded.arguments.at(0).isValid());
    EXPECT_EQ(decoded.arguments.at(1).typeId(), QMetaType::Bool);
    EXPECT_EQ(decoded.arguments.at(1).toBool(), true);
    EXPECT_EQ(decoded.arguments.at(2).toBool(), false);
    EXPECT_EQ(decoded.arguments.at(3).toLongLong(), -9007199254740993LL);
    EXPECT_EQ(decoded.arguments.at(4).toDouble(), 2.5);
    EXPECT_EQ(decoded.arguments.at(5).toString(), QStringLiteral("生成 \t\r\n"));
    EXPECT_EQ(decoded.arguments.at(6).typeId(), QMetaType::QString);
}

TEST(ComProtocol, AnswerCarriesResultAndError)
{
    QVNComProtocol::Answer decoded;
    ASSERT_TRUE(QVNComProtocol::DecodeAnswer(
        payloadOf(QVNComProtocol::EncodeAnswer({5, false, QVariant(), QStringLiteral("no such member")})), &decoded));
    EXPECT_EQ(decoded.sequence, 5u);
    EXPECT_FALSE(decoded.ok);
    EXPECT_EQ(decoded.error, QStringLiteral("no such member"));

    ASSERT_TRUE(
        QVNComProtocol::DecodeAnswer(payloadOf(QVNComProtocol::EncodeAnswer({6, true, QVariant(true), {}})), &decoded));
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.result.toBool(), true);
}

TEST(ComProtocol, FramesAreTakenWholeFromSplitAndJoinedReads)
{
    const QByteArray first = QVNComProtocol::EncodeRequest({1, QStringLiteral("A"), {}});
    const QByteArray second = QVNComProtocol::EncodeRequest({2, QStringLiteral("B"), {QStringLiteral("x")}});
    QByteArray buffer = first.left(3);
    QByteArray payload;
    EXPECT_EQ(QVNComProtocol::TakeFrame(buffer, &payload), QVNComProtocol::FrameStatus::Incomplete);
    buffer += first.mid(3, 5);
    EXPECT_EQ(QVNComProtocol::TakeFrame(buffer, &payload), QVNComProtocol::FrameStatus::Incomplete);
    buffer += first.mid(8) + second;

    QVNComProtocol::Request request;
    ASSERT_EQ(QVNComProtocol::TakeFrame(buffer, &payload), QVNComProtocol::FrameStatus::Complete);
    ASSERT_TRUE(QVNComProtocol::DecodeRequest(payload, &request));
    EXPECT_EQ(request.member, QStringLiteral("A"));
    ASSERT_EQ(QVNComProtocol::TakeFrame(buffer, &payload), QVNComProtocol::FrameStatus::Complete);
    ASSERT_TRUE(QVNComProtocol::DecodeRequest(payload, &request));
    EXPECT_EQ(request.member, QStringLiteral("B"));
    EXPECT_TRUE(buffer.isEmpty());
}

TEST(ComProtocol, OversizedLengthIsReportedBeforeAnyDataArrives)
{
    QByteArray buffer(4, Qt::Uninitialized);
    qToBigEndian<quint32>(QVNComProtocol::MaxFrame + 1, buffer.data());
    QByteArray payload;
    EXPECT_EQ(QVNComProtocol::TakeFrame(buffer, &payload), QVNComProtocol::FrameStatus::Oversized);
}

TEST(ComProtocol, MalformedPayloadsAreRejected)
{
    const QByteArray good = payloadOf(QVNComProtocol::EncodeRequest({3, QStringLiteral("M"), {QVariant(true)}}));
    QVNComProtocol::Request request;
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(good.left(good.size() - 1), &request)) << "truncated";
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(good + "x", &request)) << "trailing bytes";

    QByteArray badBool = good;
    badBool[badBool.size() - 1] = 2;
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(badBool, &request)) << "boolean other than 0 or 1";
    QByteArray badTag = good;
    badTag[badTag.size() - 2] = 9;
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(badTag, &request)) << "unknown value tag";

    // A count of four billion values in a tiny payload must fail fast, not allocate for them.
    QByteArray lying;
    QDataStream stream(&lying, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << quint32(1) << QStringLiteral("M") << quint32(0xFFFFFFFFu);
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(lying, &request));
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(QByteArray(), &request));
    EXPECT_FALSE(QVNComProtocol::DecodeRequest(framed("abc"), &request));
}

TEST(ComProtocol, OnlyScalarValuesAreTransferable)
{
    EXPECT_TRUE(QVNComProtocol::IsTransferable(QVariant()));
    EXPECT_TRUE(QVNComProtocol::IsTransferable(QVariant(42)));
    EXPECT_TRUE(QVNComProtocol::IsTransferable(QVariant(QStringLiteral("x"))));
    EXPECT_FALSE(QVNComProtocol::IsTransferable(QVariant(QVariantList{1, 2})));
    EXPECT_FALSE(QVNComProtocol::IsTransferable(QVariant(QDateTime::currentDateTime())));
    EXPECT_FALSE(QVNComProtocol::IsTransferable(QVariant(QByteArray("raw"))));
}
