#include "TextCodec.h"

#include <iconv.h>

#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <memory>

namespace {

struct IconvCloser
{
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(cd);
}

bool convert(const char* to, const char* from, const QByteArray& in, QByteArray& out)
{
    IconvHandle cd = openIconv(to, from);
    if (!cd)
        return false;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    while (srcLeft > 0) {
        const size_t r = iconv(static_cast<iconv_t>(cd.get()), &src, &srcLeft, &dst, &dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = static_cast<size_t>(out.size() - used);
                continue;
            }
            return false; // an invalid or incomplete sequence
        }
    }
    out.resize(dst - out.data());
    return true;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(bytes).operator QString();
    return !decoder.hasError();
}

} // namespace

namespace TextCodec {

QString Decode(const QByteArray& bytes, TextEncoding* found)
{
    auto report = [found](TextEncoding e) {
        if (found)
            *found = e;
    };
    if (bytes.startsWith("\xEF\xBB\xBF") && isValidUtf8(bytes.mid(3))) {
        report(TextEncoding::Utf8Bom);
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    }
    if (bytes.startsWith("\xFF\xFE")) {
        report(TextEncoding::Utf16LE);
        QStringDecoder d(QStringDecoder::Utf16LE);
        return d.decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        report(TextEncoding::Utf16BE);
        QStringDecoder d(QStringDecoder::Utf16BE);
        return d.decode(bytes.mid(2));
    }
    if (isValidUtf8(bytes)) {
        report(TextEncoding::Utf8);
        return QString::fromUtf8(bytes);
    }
    report(TextEncoding::GB18030);
    QByteArray utf8;
    if (convert("UTF-8", "GB18030", bytes, utf8))
        return QString::fromUtf8(utf8);
    // Not even GB18030 (a truncated sequence): keep what can be read rather than nothing.
    return QString::fromUtf8(bytes);
}

QByteArray Encode(const QString& text, TextEncoding encoding, bool* ok)
{
    if (ok)
        *ok = true;
    switch (encoding) {
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LE: {
        QStringEncoder e(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        return e.encode(text);
    }
    case TextEncoding::Utf16BE: {
        QStringEncoder e(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom);
        return e.encode(text);
    }
    case TextEncoding::GB18030: {
        QByteArray out;
        if (!convert("GB18030", "UTF-8", text.toUtf8(), out)) {
            if (ok)
                *ok = false;
            return QByteArray();
        }
        return out;
    }
    }
    return text.toUtf8();
}

} // namespace TextCodec
