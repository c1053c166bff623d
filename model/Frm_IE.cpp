#include "Frm_IE.h"

#include "Mdl_Main.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNShell.h"
#include "ui_Frm_IE.h"

#include <QFileInfo>
#include <QUrl>

namespace {
Frm_IE::LinkOpener& linkOpener()
{
    static Frm_IE::LinkOpener opener;
    return opener;
}
} // namespace

Frm_IE::Frm_IE(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_IE>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    QVNFormLocalizer::Localize(this, Mdl_Main::Language());
    m_ui->WEB_1->setAccessibleName(windowTitle());
    m_ui->WEB_1->setOpenLinks(false);
    connect(m_ui->WEB_1, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { FollowLink(url); });
    connect(m_ui->Cmd_Close, &QPushButton::clicked, this, &QDialog::accept);
    QVNDialogSize::Remember(this);
}

Frm_IE::~Frm_IE() = default;

void Frm_IE::SetLinkOpener(LinkOpener opener)
{
    linkOpener() = std::move(opener);
}

void Frm_IE::OpenFile(const QString& pStr_URL)
{
    const QString target = pStr_URL.trimmed();
    if (target.isEmpty())
        return;
    const QFileInfo info(target);
    const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath()) : QUrl(target, QUrl::TolerantMode);
    if (!url.isLocalFile()) {
        // The viewer shows local documents only; an address goes to the desktop's browser.
        FollowLink(url);
        return;
    }
    m_ui->WEB_1->setSource(url);
}

void Frm_IE::FollowLink(const QUrl& url)
{
    const QUrl current = m_ui->WEB_1->source();
    if (url.isRelative() && url.path().isEmpty() && url.hasFragment()) {
        m_ui->WEB_1->scrollToAnchor(url.fragment());
        return;
    }
    const QUrl resolved = current.resolved(url);
    if (resolved.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment) && resolved.hasFragment()) {
        m_ui->WEB_1->scrollToAnchor(resolved.fragment());
        return;
    }
    if (linkOpener())
        linkOpener()(resolved);
    else
        QVNShell::Execute(this, QStringLiteral("open"),
                          resolved.isLocalFile() ? resolved.toLocalFile() : resolved.toString(), QString(), QString(),
                          1);
}

void Frm_IE::ShowPage(const QString& page, QWidget* owner)
{
    Frm_IE window(owner);
    window.OpenFile(page);
    window.exec();
}
