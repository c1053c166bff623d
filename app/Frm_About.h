#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class Frm_About;
}

/**
 * @brief The About window: version, the system's language number, the maker's web site and mail.
 *
 * A click on the window or any key closes it; the two links open the desktop's browser and mail
 * program. Its texts are fixed design texts (the window is not localised).
 */
class Frm_About : public QDialog
{
public:
    explicit Frm_About(QWidget* parent = nullptr);
    ~Frm_About() override;

    static QString WebAddress() { return QStringLiteral("https://www.pellmar.example/quorvin"); }
    static QString MailAddress() { return QStringLiteral("mailto:quorvin@pellmar.example"); }
    /// "1.0.3": major, minor and revision of the program.
    static QString Version() { return QStringLiteral("1.0.3"); }

protected:
    void mousePressEvent(class QMouseEvent* event) override;
    void keyPressEvent(class QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::Frm_About> m_ui;
};
