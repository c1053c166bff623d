#include "QVNZIP.h"

#include "QVNFunction.h"
#include "QVNModelPath.h"
#include "TextCodec.h"

#include <zip.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct ZipDiscard
{
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose
{
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

QString openError(int code)
{
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&err));
    zip_error_fini(&err);
    return text;
}

struct Entry
{
    zip_uint64_t index = 0;
    QString name; // normalized and cleaned, relative to the destination
    bool folder = false;
    zip_uint64_t size = 0;
    bool sizeKnown = false;
    // WinZip AES entries in the AE-2 format store no CRC (0); libzip 1.7 still compares the CRC of
    // deflated AE-2 data with that 0 and reports a CRC error at the very end. The data itself is
    // complete then, so such a late "CRC error" is not taken as a failure for these entries.
    bool noCrc = false;
};

// Opens the archive for reading with the password as the default for every encrypted entry.
ZipPtr openForReading(const QString& file, const QString& password, QVNError& errors)
{
    int code = 0;
    ZipPtr za(zip_open(QFile::encodeName(file).constData(), ZIP_RDONLY, &code));
    if (!za) {
        errors.Add(QStringLiteral("Cannot open the archive \"%1\": %2").arg(file, openError(code)));
        return nullptr;
    }
    if (!password.isEmpty())
        zip_set_default_password(za.get(), password.toUtf8().constData());
    return za;
}

// The entry's name. Names flagged as UTF-8 (or carrying Info-ZIP's Unicode path field) and names
// that are valid UTF-8 are taken as they are; any other name was written in the code page of the
// machine that made the archive, which for our authors is the Chinese one, so it is read as GB18030
// (libzip would read it as CP437 and garble every Chinese file name).
QString entryName(zip_t* za, zip_uint64_t index, const char* guessed)
{
    const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
    if (!raw)
        return QString::fromUtf8(guessed);
    if (qstrcmp(raw, guessed) == 0)
        return QString::fromUtf8(guessed); // flagged as UTF-8, or plain ASCII / valid UTF-8
    // Info-ZIP's Unicode path field: version 1, the CRC-32 of the raw name, the name in UTF-8.
    zip_uint16_t length = 0;
    const zip_uint8_t* field = zip_file_extra_field_get_by_id(za, index, 0x7075, 0, &length, ZIP_FL_CENTRAL);
    if (field && length > 5 && field[0] == 1)
        return QString::fromUtf8(reinterpret_cast<const char*>(field) + 5, length - 5);
    return TextCodec::Decode(QByteArray(raw));
}

// Extract fails on a name the file system cannot hold and on an entry that is both a file and a
// folder ("a" and "a/b"); finding these in the directory refuses the archive before anything is
// written, and lets ReadEntries judge an archive exactly as Extract would.
bool checkLayout(const std::vector<Entry>& entries, const QString& file, QVNError& errors)
{
    QSet<QString> files;
    QSet<QString> folders;
    for (const Entry& e : entries) {
        const QStringList parts = e.name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString prefix;
        for (qsizetype p = 0; p < parts.size(); ++p) {
            if (QFile::encodeName(parts[p]).size() > 255) {
                errors.Add(QStringLiteral("The archive \"%1\" is refused: the entry \"%2\" has a name too long "
                                          "for the file system")
                               .arg(file, e.name));
                return false;
            }
            prefix += parts[p];
            if (p + 1 < parts.size() || e.folder)
                folders.insert(prefix);
            else
                files.insert(prefix);
            prefix += QLatin1Char('/');
        }
    }
    for (const QString& f : std::as_const(files)) {
        if (folders.contains(f)) {
            errors.Add(
                QStringLiteral("The archive \"%1\" is refused: \"%2\" is both a file and a folder in it").arg(file, f));
            return false;
        }
    }
    return true;
}

// The central-directory checks shared by Extract and ReadEntries: safe names, supported methods,
// entry count and declared total size within the limits.
bool listEntries(zip_t* za, const QString& file, qint64 maxBytes, qint64 maxEntries, std::vector<Entry>& entries,
                 QVNError& errors)
{
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count < 0) {
        errors.Add(QStringLiteral("Cannot read the archive \"%1\"").arg(file));
        return false;
    }
    if (count > maxEntries) {
        errors.Add(QStringLiteral("The archive \"%1\" holds %2 entries, more than the %3 allowed")
                       .arg(file)
                       .arg(count)
                       .arg(maxEntries));
        return false;
    }
    qint64 total = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            errors.Add(QStringLiteral("Cannot read entry %1 of the archive \"%2\": %3")
                           .arg(i + 1)
                           .arg(file, QString::fromUtf8(zip_strerror(za))));
            return false;
        }
        const QString raw = entryName(za, i, st.name);
        const QString name = QVNModelPath::Clean(raw);
        if (!QVNModelPath::StaysInside(raw)) {
            errors.Add(QStringLiteral("The archive \"%1\" is refused: its entry \"%2\" would be written outside "
                                      "the destination folder")
                           .arg(file, raw));
            return false;
        }
        if (name.isEmpty())
            continue; // "./" and the like name the destination itself
        if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0)) {
            errors.Add(QStringLiteral("The entry \"%1\" of the archive \"%2\" uses an unsupported compression "
                                      "method (%3)")
                           .arg(raw, file)
                           .arg(st.comp_method));
            return false;
        }
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE &&
            !zip_encryption_method_supported(st.encryption_method, 0)) {
            errors.Add(QStringLiteral("The entry \"%1\" of the archive \"%2\" uses an unsupported encryption "
                                      "method (%3)")
                           .arg(raw, file)
                           .arg(st.encryption_method));
            return false;
        }
        Entry e;
        e.index = i;
        e.name = name;
        e.folder = QVNModelPath::Normalize(raw).endsWith(QLatin1Char('/'));
        e.sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
        e.size = e.sizeKnown ? st.size : 0;
        e.noCrc = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && (st.valid & ZIP_STAT_CRC) && st.crc == 0 &&
                  (st.encryption_method == ZIP_EM_AES_128 || st.encryption_method == ZIP_EM_AES_192 ||
                   st.encryption_method == ZIP_EM_AES_256);
        total += static_cast<qint64>(std::min<zip_uint64_t>(e.size, zip_uint64_t(maxBytes) + 1));
        if (total > maxBytes) {
            errors.Add(QStringLiteral("The archive \"%1\" would unpack to more than %2 bytes; it is refused")
                           .arg(file)
                           .arg(maxBytes));
            return false;
        }
        entries.push_back(e);
    }
    return checkLayout(entries, file, errors);
}

// Opens the archive for reading and lists its entries after the directory checks; null when
// either fails (the reason is in `errors`).
ZipPtr openChecked(const QString& file, const QString& password, qint64 maxBytes, qint64 maxEntries,
                   std::vector<Entry>& entries, QVNError& errors)
{
    ZipPtr za = openForReading(file, password, errors);
    if (za && !listEntries(za.get(), file, maxBytes, maxEntries, entries, errors))
        za.reset();
    return za;
}

ZipFilePtr openEntry(zip_t* za, const Entry& e, const QString& file, QVNError& errors)
{
    ZipFilePtr zf(zip_fopen_index(za, e.index, 0));
    if (!zf)
        errors.Add(QStringLiteral("Cannot unpack \"%1\" from the archive \"%2\": %3")
                       .arg(e.name, file, QString::fromUtf8(zip_strerror(za))));
    return zf;
}

// Streams one opened entry to `sink` through `buffer`, stopping when the running total passes the
// limit or the entry yields a single byte more than its directory record claims (a deflated entry
// can unpack to far more than it says; nothing past the claim is ever unpacked).
template <typename Sink>
bool pumpEntry(zip_file_t* zf, const Entry& e, const QString& file, qint64 maxBytes, qint64& total,
               std::vector<char>& buffer, Sink&& sink, QVNError& errors)
{
    zip_uint64_t done = 0;
    for (;;) {
        zip_uint64_t want = buffer.size();
        if (e.sizeKnown)
            want = std::min<zip_uint64_t>(want, e.size - done + 1);
        const zip_int64_t n = zip_fread(zf, buffer.data(), want);
        if (n < 0 && e.noCrc && done == e.size && zip_error_code_zip(zip_file_get_error(zf)) == ZIP_ER_CRC)
            break;
        if (n < 0) {
            errors.Add(QStringLiteral("Cannot unpack \"%1\" from the archive \"%2\": %3")
                           .arg(e.name, file, QString::fromUtf8(zip_file_strerror(zf))));
            return false;
        }
        if (n == 0)
            break;
        done += static_cast<zip_uint64_t>(n);
        if (e.sizeKnown && done > e.size) {
            errors.Add(QStringLiteral("The entry \"%1\" of the archive \"%2\" holds more than the %3 bytes its "
                                      "directory record claims; unpacking stopped")
                           .arg(e.name, file)
                           .arg(e.size));
            return false;
        }
        total += n;
        if (total > maxBytes) {
            errors.Add(QStringLiteral("The archive \"%1\" unpacks to more than %2 bytes; unpacking stopped")
                           .arg(file)
                           .arg(maxBytes));
            return false;
        }
        if (!sink(buffer.data(), n)) {
            errors.Add(QStringLiteral("Cannot write \"%1\" while unpacking the archive \"%2\"").arg(e.name, file));
            return false;
        }
    }
    return true;
}

// True when `path` (which exists) resolves to a place inside the canonical folder `root`, so that
// a symbolic link already present in the destination cannot redirect what is unpacked.
bool resolvesInside(const QString& path, const QString& root)
{
    const QString p = QFileInfo(path).canonicalFilePath();
    if (p.isEmpty() || root.isEmpty())
        return false;
    return p == root || p.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

constexpr std::size_t BufferSize = 256 * 1024;

} // namespace

bool QVNZIP::Extract(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QString& folder)
{
    Exceptions.Clear();
    QVNFunction fn;
    const QString dest = fn.AddFolderMark(folder);
    if (dest.isEmpty() || !fn.CreateFolder(dest)) {
        Exceptions.AddExceptions(fn.Exceptions);
        if (dest.isEmpty())
            Exceptions.Add(QStringLiteral("No destination folder given for \"%1\"").arg(pStr_ZIPFile));
        return false;
    }
    std::vector<Entry> entries;
    const ZipPtr za = openChecked(pStr_ZIPFile, pStr_Pass, m_maxBytes, m_maxEntries, entries, Exceptions);
    if (!za)
        return false;

    // The work per entry stays constant: one buffer for all, the destination resolved once, and each
    // folder created and checked only the first time an entry lies in it.
    const QString root = QFileInfo(dest).canonicalFilePath();
    std::vector<char> buffer(BufferSize);
    QSet<QString> checkedFolders;
    qint64 total = 0;
    for (const Entry& e : entries) {
        const QString target = dest + e.name;
        const QString parent = e.folder ? target : target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
        if (checkedFolders.contains(parent)) {
            // made and checked for an earlier entry
        } else if (!QDir().mkpath(parent)) {
            Exceptions.Add(QStringLiteral("Cannot create the folder \"%1\"").arg(parent));
            return false;
        } else if (resolvesInside(parent, root)) {
            checkedFolders.insert(parent);
        } else {
            Exceptions.Add(QStringLiteral("The entry \"%1\" of the archive \"%2\" leads outside the destination "
                                          "folder through a link; unpacking stopped")
                               .arg(e.name, pStr_ZIPFile));
            return false;
        }
        if (e.folder)
            continue;
        const QFileInfo existing(target);
        if (existing.isSymLink() || existing.isDir()) {
            // Never write through a link; a folder in the way cannot be replaced by a file.
            if (existing.isDir() && !existing.isSymLink()) {
                Exceptions.Add(QStringLiteral("Cannot unpack \"%1\": a folder of that name exists").arg(target));
                return false;
            }
            QFile::remove(target);
        }
        // Open the entry first, so a wrong password leaves no empty file behind.
        ZipFilePtr zf = openEntry(za.get(), e, pStr_ZIPFile, Exceptions);
        if (!zf)
            return false;
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            Exceptions.Add(QStringLiteral("Cannot write \"%1\": %2").arg(target, out.errorString()));
            return false;
        }
        auto sink = [&out](const char* data, qint64 n) { return out.write(data, n) == n; };
        if (!pumpEntry(zf.get(), e, pStr_ZIPFile, m_maxBytes, total, buffer, sink, Exceptions)) {
            out.close();
            out.remove(); // a half-written file is not an unpacked file
            return false;
        }
        if (!out.flush()) {
            Exceptions.Add(QStringLiteral("Cannot write \"%1\": %2").arg(target, out.errorString()));
            return false;
        }
    }
    return true;
}

bool QVNZIP::ReadEntries(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QStringList& names,
                         QHash<QString, QByteArray>& entries)
{
    Exceptions.Clear();
    entries.clear();
    std::vector<Entry> all;
    const ZipPtr za = openChecked(pStr_ZIPFile, pStr_Pass, m_maxBytes, m_maxEntries, all, Exceptions);
    if (!za)
        return false;
    // Every entry is decrypted and unpacked (into memory, and kept only when asked for), so an
    // archive with a wrong password or damaged data anywhere fails here just as Extract fails.
    // Windows authors do not mind letter case, so neither does the lookup; the result is keyed by
    // the name asked for (the first of several that differ only in case).
    QHash<QString, qsizetype> wanted;
    for (qsizetype i = names.size() - 1; i >= 0; --i)
        wanted.insert(names.at(i).toCaseFolded(), i);
    std::vector<char> buffer(BufferSize);
    qint64 total = 0;
    for (const Entry& e : all) {
        if (e.folder)
            continue;
        qsizetype asked = wanted.value(e.name.toCaseFolded(), -1);
        if (asked >= 0 && entries.contains(names.at(asked)))
            asked = -1;
        QByteArray data;
        auto sink = [&data, asked](const char* p, qint64 n) {
            if (asked >= 0)
                data.append(p, n);
            return true;
        };
        ZipFilePtr zf = openEntry(za.get(), e, pStr_ZIPFile, Exceptions);
        if (!zf || !pumpEntry(zf.get(), e, pStr_ZIPFile, m_maxBytes, total, buffer, sink, Exceptions))
            return false;
        if (asked >= 0)
            entries.insert(names.at(asked), data);
    }
    return true;
}

bool QVNZIP::PackageFolder(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QString& folder)
{
    Exceptions.Clear();
    QVNFunction fn;
    if (!fn.CreateParentFolder(pStr_ZIPFile)) {
        Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }
    const QString base = fn.DeleteFolderMark(folder);
    if (base.isEmpty() || !QFileInfo(base).isDir()) {
        Exceptions.Add(QStringLiteral("Cannot pack \"%1\": the folder does not exist").arg(folder));
        return false;
    }
    if (!pStr_Pass.isEmpty() && !zip_encryption_method_supported(ZIP_EM_TRAD_PKWARE, 1)) {
        Exceptions.Add(QStringLiteral("This zip library cannot write encrypted archives"));
        return false;
    }

    // Collect files (and empty folders, so they survive the round trip) in a stable order.
    const QDir root(base);
    const QString zipPath = QFileInfo(pStr_ZIPFile).absoluteFilePath();
    QStringList files;
    QStringList emptyFolders;
    QDirIterator it(base, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString rel = root.relativeFilePath(info.absoluteFilePath());
        if (info.isDir()) {
            if (QDir(info.absoluteFilePath())
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
                emptyFolders.append(rel + QLatin1Char('/'));
        } else if (info.absoluteFilePath() != zipPath) {
            files.append(rel);
        }
    }
    files.sort();
    emptyFolders.sort();
    if (files.isEmpty() && emptyFolders.isEmpty()) {
        Exceptions.Add(QStringLiteral("Cannot pack \"%1\": the folder holds no files").arg(folder));
        return false;
    }

    int code = 0;
    ZipPtr za(zip_open(QFile::encodeName(pStr_ZIPFile).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!za) {
        Exceptions.Add(QStringLiteral("Cannot create the archive \"%1\": %2").arg(pStr_ZIPFile, openError(code)));
        return false;
    }
    const QByteArray password = pStr_Pass.toUtf8();
    for (const QString& dir : emptyFolders) {
        if (zip_dir_add(za.get(), dir.toUtf8().constData(), ZIP_FL_ENC_UTF_8) < 0) {
            Exceptions.Add(QStringLiteral("Cannot add \"%1\" to the archive \"%2\": %3")
                               .arg(dir, pStr_ZIPFile, QString::fromUtf8(zip_strerror(za.get()))));
            return false;
        }
    }
    for (const QString& rel : files) {
        const QString path = base + QLatin1Char('/') + rel;
        zip_source_t* src = zip_source_file(za.get(), QFile::encodeName(path).constData(), 0, -1);
        zip_int64_t index = src ? zip_file_add(za.get(), rel.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (src)
                zip_source_free(src);
            Exceptions.Add(QStringLiteral("Cannot add \"%1\" to the archive \"%2\": %3")
                               .arg(path, pStr_ZIPFile, QString::fromUtf8(zip_strerror(za.get()))));
            return false;
        }
        if (zip_set_file_compression(za.get(), index, ZIP_CM_DEFLATE, 0) != 0 ||
            (!password.isEmpty() &&
             zip_file_set_encryption(za.get(), index, ZIP_EM_TRAD_PKWARE, password.constData()) != 0)) {
            Exceptions.Add(QStringLiteral("Cannot add \"%1\" to the archive \"%2\": %3")
                               .arg(path, pStr_ZIPFile, QString::fromUtf8(zip_strerror(za.get()))));
            return false;
        }
    }
    // zip_close writes a temporary file beside the archive and renames it over the old one only
    // when everything was written, so a failure leaves an existing package untouched.
    zip_t* raw = za.release();
    if (zip_close(raw) != 0) {
        Exceptions.Add(QStringLiteral("Cannot write the archive \"%1\": %2")
                           .arg(pStr_ZIPFile, QString::fromUtf8(zip_strerror(raw))));
        zip_discard(raw);
        return false;
    }
    return true;
}
