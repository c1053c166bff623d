#pragma once

#include "QVNError.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

/**
 * @brief Model packages as zip archives: unpacking into a folder, packing a folder, and reading a few
 * entries straight out of an archive.
 *
 * Reading understands stored and deflated entries, unencrypted or encrypted with traditional PKWARE
 * or WinZip AES encryption. Writing produces deflated entries with traditional PKWARE encryption
 * (none with an empty password), which zip, unzip and 7z also open.
 *
 * Before anything is written the whole central directory is checked: every entry name ("\" read as
 * "/") must stay inside the destination (not absolute, no ".." that climbs out), and the archive may
 * hold at most MaxEntries entries and unpack to at most MaxBytes bytes (checked again while
 * unpacking, since a directory can lie about sizes: an entry that yields one byte more than its
 * record claims is refused there and then); no entry may be both a file and a folder, and
 * no name part may exceed what the file system holds. A refused archive writes nothing. Entry names
 * not marked as UTF-8 (and not valid UTF-8) are read as GB18030, the code page of the Windows
 * machines models are made on.
 *
 * Every operation clears Exceptions first and leaves one line per failure there. Single-threaded.
 */
class QVNZIP
{
public:
    static constexpr qint64 DefaultMaxBytes = qint64(1) << 30; // 1 GiB
    static constexpr qint64 DefaultMaxEntries = 100000;

    /// Unpacks every entry below `folder` (created when missing), paths preserved.
    bool Extract(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QString& folder);
    /// Packs every file below `folder` (subfolders included, paths relative to it) into a new archive
    /// that replaces `pStr_ZIPFile`; the parent folder of the archive is created when missing. An
    /// existing archive is only replaced once the new one is complete.
    bool PackageFolder(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QString& folder);
    /// Reads the entries whose names ("\" read as "/", letter case ignored) equal one of `names` into `entries`,
    /// after the same checks Extract makes on the whole archive. Names not in the archive are absent
    /// from the result. Every entry is unpacked in memory (nothing is written), so the result is false
    /// exactly when Extract would fail on the archive: it cannot be opened, is refused, or any entry
    /// cannot be decrypted or unpacked.
    bool ReadEntries(const QString& pStr_ZIPFile, const QString& pStr_Pass, const QStringList& names,
                     QHash<QString, QByteArray>& entries);

    /// Lowers the limits (tests use small ones).
    void SetLimits(qint64 maxBytes, qint64 maxEntries)
    {
        m_maxBytes = maxBytes;
        m_maxEntries = maxEntries;
    }

    QVNError Exceptions;

private:
    qint64 m_maxBytes = DefaultMaxBytes;
    qint64 m_maxEntries = DefaultMaxEntries;
};
