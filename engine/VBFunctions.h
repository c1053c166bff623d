#pragma once

#include "VBValue.h"

#include <QString>

#include <vector>

/// One built-in function: its name, how many arguments it takes, and its body.
struct VBFunction
{
    const char* name;
    int minArgs;
    int maxArgs;
    VBValue (*call)(const std::vector<VBValue>& args);
};

/**
 * @brief The built-in functions of the expression language (string, conversion, math, date and
 * formatting functions), with VBScript's argument rules, Null handling and en-US texts.
 *
 * None of them reaches files, processes, the network or any other system service; the clock is
 * read by Date, Time, Now and Timer only.
 */
class VBFunctions
{
public:
    /// The function of that name (given in lower case), or nullptr.
    static const VBFunction* Find(const QString& lowerName);
};
