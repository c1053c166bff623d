#include "QVNPages.h"

#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNColumnPage.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "QVNTablePage.h"

#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

namespace {
/// Puts the page into the frame as its only content.
void install(QWidget* frame, QWidget* page)
{
    QLayout* layout = frame->layout();
    if (!layout) {
        layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(page);
}
} // namespace

QVNPages::QVNPages(QWidget* tableFrame, QWidget* columnFrame, QObject* parent)
    : QObject(parent), m_tableFrame(tableFrame), m_columnFrame(columnFrame)
{
    m_tablePage = new QVNTablePage(tableFrame);
    m_columnPage = new QVNColumnPage(columnFrame);
    install(tableFrame, m_tablePage);
    install(columnFrame, m_columnPage);
    auto mark = [this] {
        m_changed = true;
        emit Changed();
    };
    connect(m_tablePage, &QVNTablePage::Changed, this, mark);
    connect(m_columnPage, &QVNColumnPage::Changed, this, mark);
    connect(m_tablePage, &QVNTablePage::ShowData, this, &QVNPages::ShowTableData);
    ApplyCaptions();
}

QVNPages::~QVNPages() = default;

bool QVNPages::Filling() const
{
    return m_tablePage->Filling() || m_columnPage->Filling();
}

void QVNPages::ApplyCaptions()
{
    QVNLanguage& language = Mdl_Main::Language();
    m_tablePage->ApplyCaptions(language);
    m_columnPage->ApplyCaptions(language);
}

void QVNPages::ClearPage()
{
    m_tablePage->Clear();
    m_columnPage->Clear();
    m_changed = false;
}

void QVNPages::ShowTableList(QVNProject& project, const QString& kind)
{
    ClearPage();
    m_tablePage->Show(project.TABLES, kind);
}

void QVNPages::ShowColumnList(QVNProject& project, const QString& tableName)
{
    ClearPage();
    m_columnPage->Show(project, tableName);
}

bool QVNPages::CommitPage()
{
    // A cell still being edited (the user went straight to Save) counts as typed.
    m_tablePage->TableGrid()->CommitEdit();
    m_columnPage->ColumnGrid()->CommitEdit();
    const bool write = m_changed;
    if (write) {
        if (!m_tableFrame->isHidden())
            m_tablePage->Save();
        if (!m_columnFrame->isHidden())
            m_columnPage->Save();
    }
    m_changed = false;
    return write;
}
