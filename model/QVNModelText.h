#pragma once

#include "QVNParser.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QString>
#include <QStringList>

/**
 * @brief A model's texts in the user's language.
 *
 * Beside each of its description files "model_info.qvns", "model_var.qvns" and "model_orve.qvns" a
 * model may carry language files named with the language number before the extension
 * ("model_info.1033.qvns", "model_var.2052.qvns", ...). They hold only texts and lie over the
 * model's own file: first the 2052 file (the program's own fall-back language), then the file of
 * the language the program runs in, so a text missing from the user's language comes from 2052 and
 * else from the model's own file. A model without language files reads exactly as before.
 *
 * - info: the fields of the first record replace those of the model's own first record (fields the
 *   model's record lacks are added).
 * - var: each record names a variable by MV_NO; its other fields replace that variable's fields. A
 *   record naming no variable of the model's own file is ignored, so the variables themselves (their
 *   keys, order, types) are defined in one place.
 * - orve: a section replaces the model's section of the same name where it stands; new sections
 *   follow the model's own, so a section of the model may use them as a variable. Unlike the model's
 *   own file, the file's final line break is not part of its last section (its texts are words put
 *   inside a line).
 */
class QVNModelText
{
public:
    /// The variable a build publishes the language number under.
    static QString LanguageVariable() { return QStringLiteral("RVG_LANGUAGE"); }
    /// The language a model falls back to, as the program's own texts do.
    static QString FallbackLanguage() { return QStringLiteral("2052"); }

    /// The language files of the description file `file` ("model_info.qvns") for `language`, in the
    /// order they apply. A language that is not a number counts as the fall-back language.
    static QStringList LanguageFiles(const QString& file, const QString& language);

    /// Lays the first record of `overlay` over `info` (the first info record's columns).
    static void ApplyInfo(const TQXColsPtr& info, const TQXRowsPtr& overlay);
    /// Lays the records of `overlay` over the variable records `vars` they name by MV_NO.
    static void ApplyVariables(const TQXRowsPtr& vars, const TQXRowsPtr& overlay);
    /// The sections of a language file's text (without the file's final line break).
    static TQXColsPtr Sections(QVNParser& parser, QString text);
    /// Lays the sections `overlay` over `sections`.
    static void ApplySections(const TQXColsPtr& sections, const TQXColsPtr& overlay);
};
