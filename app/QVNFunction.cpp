#include "QVNFunction.h"

#include "EastAsianWidth.h"
#include "TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& s)
{
    return fs::path(s.toStdString());
}

QString describe(const std::error_code& ec, const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(ec.message().c_str()));
}

// Makes everything below `p` writable so a forced delete also removes read-only content.
void makeWritable(const fs::path& p)
{
    std::error_code ec;
    fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
    if (!fs::is_directory(p, ec) || fs::is_symlink(p, ec))
        return;
    // Advanced by hand: the range form throws on the first folder it cannot read.
    fs::recursive_directory_iterator it(p, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_symlink(ec2))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec2);
    }
}

} // namespace

QString QVNFunction::AddFolderMark(const QString& folder)
{
    QString s = TrimSpaces(folder).toString();
    if (!s.isEmpty() && !s.endsWith(QLatin1Char('/')))
        s += QLatin1Char('/');
    return s;
}

QString QVNFunction::DeleteFolderMark(const QString& folder) const
{
    QString s = TrimSpaces(folder).toString();
    if (!s.isEmpty() && s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return s;
}

bool QVNFunction::CopyFile(const QString& pStr_FromFile, const QString& pStr_ToFile)
{
    Exceptions.Clear();
    std::error_code ec;
    fs::copy_file(toPath(pStr_FromFile), toPath(pStr_ToFile), fs::copy_options::overwrite_existing, ec);
    if (ec) {
        Exceptions.Add(describe(ec, QStringLiteral("Cannot copy \"%1\" to \"%2\"").arg(pStr_FromFile, pStr_ToFile)));
        return false;
    }
    return true;
}

bool QVNFunction::CopyFolder(const QString& pStr_FromFolder, const QString& pStr_ToFolder)
{
    Exceptions.Clear();
    const fs::path from = toPath(DeleteFolderMark(pStr_FromFolder));
    const fs::path to = toPath(DeleteFolderMark(pStr_ToFolder));
    std::error_code ec;
    if (!fs::is_directory(from, ec)) {
        Exceptions.Add(QStringLiteral("Cannot copy folder \"%1\": the folder does not exist").arg(pStr_FromFolder));
        return false;
    }
    fs::create_directories(to, ec);
    if (!ec)
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        Exceptions.Add(
            describe(ec, QStringLiteral("Cannot copy folder \"%1\" to \"%2\"").arg(pStr_FromFolder, pStr_ToFolder)));
        return false;
    }
    return true;
}

bool QVNFunction::CreateFolder(const QString& pStr_FolderName)
{
    Exceptions.Clear();
    const QString folder = pStr_FolderName.trimmed();
    if (folder.isEmpty()) {
        Exceptions.Add(QStringLiteral("Cannot create a folder with an empty name"));
        return false;
    }
    // Walk the parts from the top down so the folders that exist stay and the missing ones are
    // created in order; work done before a failure stays.
    const QStringList parts = folder.split(QLatin1Char('/'));
    QString sofar;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        sofar += parts[i];
        if (i + 1 < parts.size() || !parts[i].isEmpty())
            sofar += QLatin1Char('/');
        if (parts[i].isEmpty())
            continue; // the root, or a doubled or trailing separator: names an existing folder
        std::error_code probe;
        const fs::path p = toPath(sofar);
        if (fs::is_directory(p, probe))
            continue;
        std::error_code ec;
        if (fs::create_directory(p, ec))
            continue;
        // Another process may have made it meanwhile; any other failure (a name too long, a link
        // loop, a folder that cannot be entered) is reported with the system's reason. A link loop
        // "exists" to mkdir, so the reason the look-up gave comes first.
        std::error_code again;
        if (fs::is_directory(p, again))
            continue;
        if (probe && probe != std::errc::no_such_file_or_directory)
            ec = probe;
        if (!ec)
            ec = std::make_error_code(std::errc::file_exists);
        Exceptions.Add(describe(ec, QStringLiteral("Cannot create folder \"%1\"").arg(sofar)));
        return false;
    }
    return true;
}

bool QVNFunction::CreateParentFolder(const QString& filePath)
{
    const QString path = filePath.trimmed();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0) {
        Exceptions.Clear();
        return true; // relative file in the current folder, or directly below the root
    }
    return CreateFolder(path.left(slash + 1));
}

bool QVNFunction::DeleteFolder(const QString& folder)
{
    Exceptions.Clear();
    const fs::path p = toPath(DeleteFolderMark(folder));
    std::error_code ec;
    if (!fs::is_directory(p, ec)) {
        Exceptions.Add(QStringLiteral("Cannot delete folder \"%1\": the folder does not exist").arg(folder));
        return false;
    }
    makeWritable(p);
    fs::remove_all(p, ec);
    if (ec) {
        Exceptions.Add(describe(ec, QStringLiteral("Cannot delete folder \"%1\"").arg(folder)));
        return false;
    }
    return true;
}

bool QVNFunction::DeleteFile(const QString& filePath)
{
    Exceptions.Clear();
    const fs::path p = toPath(filePath);
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(p, ec)) && !fs::is_symlink(p, ec)) {
        Exceptions.Add(QStringLiteral("Cannot delete file \"%1\": the file does not exist").arg(filePath));
        return false;
    }
    fs::permissions(p, fs::perms::owner_write, fs::perm_options::add | fs::perm_options::nofollow, ec);
    ec.clear();
    if (!fs::remove(p, ec)) {
        Exceptions.Add(describe(ec, QStringLiteral("Cannot delete file \"%1\"").arg(filePath)));
        return false;
    }
    return true;
}

QString QVNFunction::GetTempFolder(const QString& tempFolder) const
{
    const QString base = AddFolderMark(tempFolder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString hex = QString::number(QRandomGenerator::global()->bounded(0x100000), 16).toUpper();
        const QString name = QStringLiteral("rad%1.tmp").arg(hex.rightJustified(5, QLatin1Char('0')));
        if (!QFileInfo::exists(base + name))
            return base + name;
    }
    return base;
}

QString QVNFunction::ReadFile(const QString& pStr_FileName, TextEncoding* encoding) const
{
    QFile f(pStr_FileName);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return QString();
    TextEncoding found = TextEncoding::Utf8;
    QString text = TextCodec::Decode(bytes, &found);
    if (encoding)
        *encoding = found;
    if (text.contains(QLatin1Char('\t')))
        text.replace(QLatin1Char('\t'), QStringLiteral("    "));
    return text;
}

bool QVNFunction::WriteFile(const QString& pStr_FileName, const QString& pStr_Data, TextEncoding encoding)
{
    QVNError saved = Exceptions; // WriteFile reports only through its result
    const bool parentOk = CreateParentFolder(pStr_FileName);
    Exceptions = saved;
    if (!parentOk)
        return false;
    bool ok = false;
    const QByteArray bytes = TextCodec::Encode(pStr_Data, encoding, &ok);
    if (!ok)
        return false;
    QFile f(pStr_FileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (f.write(bytes) != bytes.size())
        return false;
    return f.flush();
}

QString QVNFunction::ConvertSQL(const QString& pStr_SQL) const
{
    QString s = pStr_SQL;
    return s.replace(QLatin1Char('\''), QStringLiteral("''"));
}

int QVNFunction::Length(const QString& text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += EastAsianWidth::Width(c);
    return width;
}

QString QVNFunction::StrFixLength(QStringView pStr_Data, int pInt_Length, const QString& pStr_Pad, bool pBol_PadRight)
{
    const QStringView data = TrimSpaces(pStr_Data);
    int width = 0;
    qsizetype i = 0;
    while (i < data.size()) {
        const qsizetype start = i;
        char32_t c = data.at(i).unicode();
        if (data.at(i).isHighSurrogate() && i + 1 < data.size() && data.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(data.at(i), data.at(i + 1));
            ++i;
        }
        ++i;
        width += EastAsianWidth::Width(c);
        if (width == pInt_Length)
            return data.left(i).toString();
        if (width > pInt_Length) {
            // A wide character would straddle the limit: keep what fits and put the pad beside it.
            const QString kept = data.left(start).toString();
            return pBol_PadRight ? kept + pStr_Pad : pStr_Pad + kept;
        }
    }
    if (pInt_Length > width && !pStr_Pad.isEmpty()) {
        const QString fill(pInt_Length - width, pStr_Pad.at(0));
        return pBol_PadRight ? data.toString() + fill : fill + data.toString();
    }
    return data.toString();
}

QStringView QVNFunction::TrimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

double QVNFunction::ToNumeric(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    qsizetype end = i;
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            ++j;
        qsizetype expDigits = 0;
        while (j < n && text.at(j).isDigit() && text.at(j).unicode() < 128) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            end = j;
    }
    bool ok = false;
    const double v = text.mid(start, end - start).toDouble(&ok);
    return ok ? v : 0.0;
}
