#include "Frm_BuildPreview.h"

#include "QVNTextMerge.h"
#include "ui_Frm_BuildPreview.h"

#include <QHeaderView>
#include <QPushButton>

namespace {

QString htmlLine(const QString& cls, const QByteArray& text, const char* sign)
{
    return QStringLiteral("<div class=\"%1\">%2%3</div>")
        .arg(cls, QLatin1String(sign),
             QString::fromUtf8(text).toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
}

// Colours that read on light and dark palettes alike: tinted backgrounds, the text left as it is.
const QString kStyle = QStringLiteral("div { font-family: monospace; white-space: pre; }"
                                      ".add { background-color: #c8f0c8; color: #0a3d0a; }"
                                      ".del { background-color: #f6caca; color: #5a0b0b; }"
                                      ".hunk { color: #2450a0; }");

} // namespace

Frm_BuildPreview::Frm_BuildPreview(QVNBuildOutput& output, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::Frm_BuildPreview>()), m_output(output)
{
    m_ui->setupUi(this);
    m_ui->Lst_Files->setAccessibleName(tr("Files of this build"));
    m_ui->Cbo_Action->setAccessibleName(tr("Action for this file"));
    m_ui->Txt_Diff->setAccessibleName(tr("Changes of the selected file"));
    m_ui->Txt_Diff->document()->setDefaultStyleSheet(kStyle);
    m_ui->Cmd_Buttons->button(QDialogButtonBox::Ok)->setText(tr("&Publish"));
    m_ui->Cmd_Buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("Cmd_Publish"));
    m_ui->Cmd_Buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cmd_Cancel"));

    QList<QTreeWidgetItem*> items;
    for (const QVNBuildOutput::File& f : m_output.Files())
        items.append(new QTreeWidgetItem(
            QStringList{f.path, QVNBuildOutput::KindName(f.kind), QVNBuildOutput::ActionName(f.action)}));
    m_ui->Lst_Files->addTopLevelItems(items);
    m_ui->Lst_Files->header()->setStretchLastSection(false);
    m_ui->Lst_Files->resizeColumnToContents(1);
    m_ui->Lst_Files->resizeColumnToContents(2);
    m_ui->Lst_Files->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ui->Spl_Main->setSizes({340, 480});
    UpdateSummary();

    connect(m_ui->Lst_Files, &QTreeWidget::currentItemChanged, this,
            [this] { ShowFile(m_ui->Lst_Files->indexOfTopLevelItem(m_ui->Lst_Files->currentItem())); });
    connect(m_ui->Cbo_Action, &QComboBox::activated, this, [this](int choice) { SetAction(choice); });
    connect(m_ui->Cmd_Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->Cmd_Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The first file that needs a look: a conflict, else an edit of the user's, else the first.
    int first = 0;
    for (int i = 0; i < m_output.Files().size(); ++i) {
        const auto kind = m_output.Files().at(i).kind;
        if (kind == QVNBuildOutput::Kind::Conflict) {
            first = i;
            break;
        }
        if (kind != QVNBuildOutput::Kind::Unchanged && kind != QVNBuildOutput::Kind::New && first == 0)
            first = i;
    }
    if (!items.isEmpty())
        m_ui->Lst_Files->setCurrentItem(items.at(first));
    m_ui->Cmd_Buttons->button(QDialogButtonBox::Ok)->setDefault(true);
}

Frm_BuildPreview::~Frm_BuildPreview() = default;

bool Frm_BuildPreview::Review(QVNBuildOutput& output, QWidget* parent)
{
    Frm_BuildPreview dialog(output, parent);
    return dialog.exec() == QDialog::Accepted;
}

void Frm_BuildPreview::UpdateSummary()
{
    QMap<QVNBuildOutput::Kind, int> counts;
    for (const QVNBuildOutput::File& f : m_output.Files())
        ++counts[f.kind];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts.append(QStringLiteral("%1 %2").arg(it.value()).arg(QVNBuildOutput::KindName(it.key())));
    m_ui->Lbl_Summary->setText(tr("The build is ready in a staging folder; nothing has been written to %1 yet. "
                                  "Files: %2.")
                                   .arg(m_output.OutputFolder(), parts.join(QStringLiteral(", "))));
}

void Frm_BuildPreview::ShowFile(int row)
{
    m_ui->Cbo_Action->clear();
    if (row < 0 || row >= m_output.Files().size()) {
        m_ui->Txt_Diff->clear();
        return;
    }
    const QVNBuildOutput::File& f = m_output.Files().at(row);
    for (QVNBuildOutput::Action a : f.Choices())
        m_ui->Cbo_Action->addItem(QVNBuildOutput::ActionName(a), int(a));
    m_ui->Cbo_Action->setCurrentIndex(m_ui->Cbo_Action->findData(int(f.action)));
    m_ui->Lbl_Notes->setText(f.notes.join(QLatin1Char('\n')));
    m_ui->Lbl_Notes->setVisible(!f.notes.isEmpty());

    // The diff of what the chosen action would leave against the file as it is now.
    const QByteArray& after = f.action == QVNBuildOutput::Action::Merge ? f.merged : f.generated;
    QString html;
    if (f.kind == QVNBuildOutput::Kind::Unchanged) {
        html = tr("No change.");
    } else if (QVNTextMerge::IsBinary(f.current) || QVNTextMerge::IsBinary(after)) {
        html = tr("A binary file; no line comparison.");
    } else {
        const QList<QVNTextMerge::DiffLine> lines =
            QVNTextMerge::DiffLines(f.current, f.kind == QVNBuildOutput::Kind::Removed ? QByteArray() : after);
        for (const QVNTextMerge::DiffLine& l : lines) {
            switch (l.kind) {
            case QVNTextMerge::DiffLine::Added:
                html += htmlLine(QStringLiteral("add"), l.text, "+");
                break;
            case QVNTextMerge::DiffLine::Removed:
                html += htmlLine(QStringLiteral("del"), l.text, "-");
                break;
            case QVNTextMerge::DiffLine::Hunk:
                html += htmlLine(QStringLiteral("hunk"), l.text, "");
                break;
            case QVNTextMerge::DiffLine::Context:
                html += htmlLine(QString(), l.text, " ");
                break;
            }
        }
    }
    m_ui->Txt_Diff->setHtml(html);
}

void Frm_BuildPreview::SetAction(int choice)
{
    const int row = m_ui->Lst_Files->indexOfTopLevelItem(m_ui->Lst_Files->currentItem());
    if (row < 0 || choice < 0)
        return;
    QVNBuildOutput::File& f = m_output.Files()[row];
    f.action = QVNBuildOutput::Action(m_ui->Cbo_Action->itemData(choice).toInt());
    m_ui->Lst_Files->currentItem()->setText(2, QVNBuildOutput::ActionName(f.action));
    ShowFile(row);
}
