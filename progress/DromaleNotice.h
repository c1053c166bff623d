#pragma once

/**
 * @brief The notice dromale shows when a user starts it directly instead of a client creating its
 * object: an information box titled "Message". Needs a QApplication.
 */
class DromaleNotice
{
public:
    /// Shows the box until the user closes it. With `autoCloseMs` > 0 the box closes itself after
    /// that time and writes its title and text to standard output first, so scripts and tests can
    /// check it without anyone clicking.
    static void Show(int autoCloseMs = 0);
};
