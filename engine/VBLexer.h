#pragma once

#include "VBValue.h"

#include <QString>
#include <QStringView>

/// One token of an expression.
struct VBToken
{
    enum class Kind {
        End,
        Newline,
        Literal,  ///< number, "string" or #date#; the value is in `value`
        Ident,    ///< identifier (bracketed ones without their brackets)
        Operator, ///< symbol or keyword operator; `text` holds its canonical spelling
        LParen,
        RParen,
        Comma,
        Dot,
        Bad ///< a character or literal the language does not accept
    };
    Kind kind = Kind::End;
    QString text;
    VBValue value;
};

/**
 * @brief Splits an expression into tokens.
 *
 * Whitespace is spaces and tabs; " _" before a line break continues the line; a ' starts a
 * comment that runs to the end of the line. Keyword operators (And, Or, Not, Xor, Eqv, Imp, Mod,
 * Is) are recognised without regard to case and reported as operators.
 */
class VBLexer
{
public:
    explicit VBLexer(QStringView text) : m_text(text) {}
    VBToken Next();

private:
    VBToken Number();
    VBToken Hex(int base);
    VBToken String();
    VBToken DateLiteral();
    VBToken Identifier();
    void SkipBlanks();

    QStringView m_text;
    qsizetype m_pos = 0;
};
