#pragma once

#include "QVNError.h"
#include "TextEncoding.h"

#include <QString>

/**
 * @brief Paths, files, folders and text measured in display width.
 *
 * Folder paths end in "/" once AddFolderMark has been applied. File operations marked "recorded"
 * clear Exceptions when they start and add one line on failure; text operations never fail.
 */
class QVNFunction
{
public:
    static QString AddFolderMark(const QString& folder);
    QString DeleteFolderMark(const QString& folder) const;

    bool CopyFile(const QString& pStr_FromFile, const QString& pStr_ToFile);       // recorded
    bool CopyFolder(const QString& pStr_FromFolder, const QString& pStr_ToFolder); // recorded
    bool CreateFolder(const QString& pStr_FolderName);                             // recorded
    bool CreateParentFolder(const QString& filePath);                              // recorded
    bool DeleteFolder(const QString& folder);                                      // recorded
    bool DeleteFile(const QString& filePath);                                      // recorded

    /// A fresh, unused name "radXXXXX.tmp" below `tempFolder`; nothing is created.
    QString GetTempFolder(const QString& tempFolder) const;

    /// The whole file with tabs turned into four spaces; empty when missing or unreadable.
    /// The encoding found (UTF-8, UTF-8 with BOM, UTF-16 with BOM, else GB18030) is reported
    /// through `encoding` when given.
    QString ReadFile(const QString& pStr_FileName, TextEncoding* encoding = nullptr) const;
    /// Creates or replaces the file with the text in the given encoding (UTF-8 by default); the
    /// parent folders are created first. No line end is added.
    bool WriteFile(const QString& pStr_FileName, const QString& pStr_Data, TextEncoding encoding = TextEncoding::Utf8);

    bool IsEmpty(const QString& text) const { return text.isEmpty(); }
    /// Every "'" doubled, for literal text inside SQL statements.
    QString ConvertSQL(const QString& pStr_SQL) const;
    /// Display width: 2 for East Asian Wide and Fullwidth characters, 1 for all others.
    static int Length(const QString& text);
    /// Cut or pad to an exact display width, after trimming spaces (only spaces: line breaks and
    /// tabs in the data keep their width). A wide character that would straddle the width is left
    /// out and the pad text put in its place.
    static QString StrFixLength(QStringView pStr_Data, int pInt_Length, const QString& pStr_Pad, bool pBol_PadRight);
    /// The text without spaces at either end (other white space stays), as Trim does.
    static QStringView TrimSpaces(QStringView text);
    /// The number at the start of the text; 0 when there is none.
    static double ToNumeric(const QString& text);

    QVNError Exceptions;
};
