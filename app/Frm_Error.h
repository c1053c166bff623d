#pragma once

#include <QDialog>

#include <memory>

class QTimer;

namespace Ui {
class Frm_Error;
}

/**
 * @brief The message window: a message with one of three icons, an optional detail part and an
 * optional auto-close countdown.
 *
 * The window is designed expanded (detail visible); ShowDetail toggles between the expanded and
 * the collapsed height. Shown through QVNMessage::Show, one fresh window per message.
 */
class Frm_Error : public QDialog
{
public:
    explicit Frm_Error(QWidget* parent = nullptr);
    ~Frm_Error() override;

    /// Fills the window for one message; type 0 failure, 1 warning, 2 notice (others show none).
    /// Only a notice counts `pInt_AutoCloseTime` seconds down and closes by itself.
    void Setup(const QString& pStr_Message, int pInt_Type, const QString& pStr_Detail, bool pBol_ShowDetail,
               int pInt_AutoCloseTime);
    /// Toggles the detail part between the expanded and the collapsed height.
    void ShowDetail();
    bool DetailShown() const { return m_expanded; }
    /// One second of the countdown; closes the window when it reaches 0.
    void CountDown();
    bool CountingDown() const;

    /// The two heights in pixels of the screen the window is on (3500 and 1800 twips).
    int ExpandedHeight() const;
    int CollapsedHeight() const;

private:
    void ApplyHeight();

    std::unique_ptr<Ui::Frm_Error> m_ui;
    QTimer* m_timer = nullptr;
    QString m_detailText;
    bool m_expanded = true;
};
