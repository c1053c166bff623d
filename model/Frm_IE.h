#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class Frm_IE;
}
class QUrl;

/**
 * @brief Shows one local HTML document (a model's read-me page) with its images and style sheet.
 *
 * Links to other documents or addresses open in the desktop's browser; links within the page
 * scroll to their anchor.
 */
class Frm_IE : public QDialog
{
public:
    /// Opens a link outside the page; the default goes through QVNShell.
    using LinkOpener = std::function<void(const QUrl& url)>;

    explicit Frm_IE(QWidget* parent = nullptr);
    ~Frm_IE() override;

    /// Shows the document at a local path or an address; errors are ignored.
    void OpenFile(const QString& pStr_URL);
    /// Opens a window on `page` modally.
    static void ShowPage(const QString& page, QWidget* owner);
    /// Replaces the desktop browser (tests; an empty function restores it).
    static void SetLinkOpener(LinkOpener opener);

private:
    void FollowLink(const QUrl& url);

    std::unique_ptr<Ui::Frm_IE> m_ui;
};
