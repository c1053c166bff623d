#include "Frm_ModelEditor.h"

#include "Mdl_Main.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNModel.h"
#include "QVNXML.h"
#include "QVNZIP.h"
#include "TextCodec.h"
#include "ui_Frm_ModelEditor.h"

#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QHelpEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolTip>

namespace {

const QString kSection = QStringLiteral("Frm_ModelEditor");
const QString kOrveFile = QStringLiteral("model_orve.qvns");
constexpr qint64 kLargestFile = qint64(8) << 20;

const QRegularExpression& tagPattern()
{
    static const QRegularExpression re(QStringLiteral("</?ORVE(?:_([A-Za-z0-9_]+))?>"));
    return re;
}

bool isScriptBlock(QStringView name)
{
    return name == u"CALC" || name == u"CASE";
}

/// The tag language: tags, variable keys, and the VBScript of calculated blocks and conditions
/// (strings, numbers, operators that are words, function names). A line that ends inside a script
/// block hands that on to the next line as its state.
class TagHighlighter : public QSyntaxHighlighter
{
public:
    explicit TagHighlighter(QTextDocument* document) : QSyntaxHighlighter(document)
    {
        m_tag.setForeground(QColor(0x1f, 0x4e, 0xb4));
        m_tag.setFontWeight(QFont::Bold);
        m_key.setForeground(QColor(0x8a, 0x1c, 0x8a));
        m_string.setForeground(QColor(0xa3, 0x4a, 0x00));
        m_number.setForeground(QColor(0x0a, 0x7a, 0x3a));
        m_word.setForeground(QColor(0x00, 0x55, 0x99));
        m_word.setFontItalic(true);
        m_function.setForeground(QColor(0x55, 0x55, 0x00));
    }

protected:
    void highlightBlock(const QString& text) override
    {
        struct Tag
        {
            int from, length;
        };
        std::vector<Tag> tags;
        std::vector<std::pair<int, int>> scripts;
        int scriptFrom = previousBlockState() == 1 ? 0 : -1;
        int keyFrom = -1;
        auto it = tagPattern().globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            const int from = int(m.capturedStart());
            const int length = int(m.capturedLength());
            const bool isEnd = text.at(from + 1) == u'/';
            const QString name = m.captured(1);
            tags.push_back({from, length});
            if (name.isEmpty()) {
                if (!isEnd)
                    keyFrom = from + length;
                else if (keyFrom >= 0) {
                    setFormat(keyFrom, from - keyFrom, m_key);
                    keyFrom = -1;
                }
            } else if (isScriptBlock(name)) {
                if (!isEnd)
                    scriptFrom = from + length;
                else if (scriptFrom >= 0) {
                    scripts.emplace_back(scriptFrom, from);
                    scriptFrom = -1;
                }
            }
        }
        if (scriptFrom >= 0)
            scripts.emplace_back(scriptFrom, int(text.size()));
        for (const auto& [from, to] : scripts)
            Script(text, from, to);
        for (const Tag& t : tags)
            setFormat(t.from, t.length, m_tag);
        setCurrentBlockState(scriptFrom >= 0 ? 1 : 0);
    }

private:
    void Script(const QString& text, int from, int to)
    {
        static const QRegularExpression token(
            QStringLiteral(
                "\"(?:[^\"]|\"\")*\"?|\\b\\d+(?:\\.\\d+)?\\b|\\b(?:And|Or|Not|Xor|Eqv|Imp|Mod|Is|Like|True|False|"
                "Null|Empty|Nothing)\\b|\\b[A-Za-z_]\\w*(?=\\s*\\()"),
            QRegularExpression::CaseInsensitiveOption);
        const QString part = text.mid(from, to - from);
        auto it = token.globalMatch(part);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            const QChar first = m.captured().at(0);
            const QTextCharFormat& format = first == u'"'                                          ? m_string
                                            : first.isDigit()                                      ? m_number
                                            : part.mid(m.capturedEnd()).trimmed().startsWith(u'(') ? m_function
                                                                                                   : m_word;
            setFormat(from + int(m.capturedStart()), int(m.capturedLength()), format);
        }
    }

    QTextCharFormat m_tag, m_key, m_string, m_number, m_word, m_function;
};

/// The position in `block` of a 1-based column counted in characters (a surrogate pair once).
int positionOf(const QTextBlock& block, int column)
{
    const QString text = block.text();
    int i = 0;
    for (int c = 1; c < column && i < text.size(); ++c)
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
    return block.position() + i;
}

} // namespace

Frm_ModelEditor::Frm_ModelEditor(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::Frm_ModelEditor>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_ui->Txt_Template->setFont(fixed);
    m_ui->Txt_Preview->setFont(fixed);
    m_ui->Spl_Main->setStretchFactor(0, 1);
    m_ui->Spl_Main->setStretchFactor(1, 4);
    m_ui->Spl_Main->setStretchFactor(2, 3);
    m_ui->Spl_Main->setSizes({230, 560, 420});
    m_ui->Spl_Editor->setStretchFactor(0, 5);
    m_ui->Spl_Editor->setStretchFactor(1, 1);
    m_highlighter = new TagHighlighter(m_ui->Txt_Template->document());
    m_ui->Txt_Template->viewport()->installEventFilter(this);
    QVNFormLocalizer::Localize(this, Mdl_Main::Language());

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshDelayMs);
    connect(&m_refresh, &QTimer::timeout, this, &Frm_ModelEditor::Refresh);
    connect(m_ui->Txt_Template, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_refresh.start(); // typing only restarts the timer
    });
    connect(m_ui->Txt_Template, &QPlainTextEdit::cursorPositionChanged, this, &Frm_ModelEditor::UpdateCursorViews);
    connect(m_ui->LB_Files, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenFile(item->text()); });
    connect(m_ui->LB_Files, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item->text() != m_file)
            OpenFile(item->text());
    });
    connect(m_ui->LB_Diagnostics, &QListWidget::itemActivated, this, &Frm_ModelEditor::JumpTo);
    connect(m_ui->LB_Keys, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        m_ui->Txt_Template->textCursor().insertText(item->data(Qt::UserRole).toString());
        m_ui->Txt_Template->setFocus();
    });
    connect(m_ui->Cbo_Table, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_data = m_preview.Data(index);
        RefreshNow();
    });
    connect(m_ui->Mnu_Save, &QAction::triggered, this, [this] { Save(); });
    connect(m_ui->Mnu_Pack, &QAction::triggered, this, [this] { Pack(); });
}

Frm_ModelEditor::~Frm_ModelEditor() = default;

bool Frm_ModelEditor::OpenFolder(const QString& folder, const TQXRowsPtr& tables,
                                 const QList<QPair<QString, QString>>& projectVars)
{
    const QString root = QVNFunction::AddFolderMark(QDir(folder).absolutePath());
    if (!QFileInfo::exists(root + QStringLiteral("model_info.qvns")))
        return false;
    m_folder = root;
    m_tables = tables;
    m_projectVars = projectVars;
    m_file.clear();
    m_preview.SetModel(m_folder, m_tables, m_projectVars);
    setWindowTitle(QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("CAPTION")) +
                   QStringLiteral(" - ") + QDir::toNativeSeparators(QDir(folder).absolutePath()));

    // Description files first, then the templates and the rest, by path.
    QStringList descriptions;
    QStringList others;
    QDirIterator it(m_folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = it.next().mid(m_folder.size());
        (rel.endsWith(QLatin1String(".qvns")) && !rel.contains(u'/') ? descriptions : others) << rel;
    }
    descriptions.sort();
    others.sort();
    m_ui->LB_Files->clear();
    m_ui->LB_Files->addItems(descriptions + others);

    {
        const QSignalBlocker block(m_ui->Cbo_Table);
        m_ui->Cbo_Table->clear();
        m_ui->Cbo_Table->addItems(m_preview.TableNames());
    }
    m_data = m_preview.Data(m_ui->Cbo_Table->currentIndex());

    // The first converted template of the file list, else the first file that is not a description.
    QString first;
    QVNXML xml;
    const TQXRowsPtr files = xml.XML2Rows(m_folder + QStringLiteral("model_file.qvns"));
    for (const TQXRowPtr& rec : *files) {
        const QString file = rec->Cols()->Text(QStringLiteral("MF_FILE")).trimmed();
        if (rec->Cols()->Text(QStringLiteral("MF_CONVERT")).trimmed() == u"1" && others.contains(file)) {
            first = file;
            break;
        }
    }
    if (first.isEmpty())
        first = others.isEmpty() ? descriptions.value(0) : others.first();
    return first.isEmpty() || OpenFile(first);
}

bool Frm_ModelEditor::MaybeSave()
{
    if (!m_ui->Txt_Template->document()->isModified() || m_file.isEmpty())
        return true;
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("MESSAGE_SAVE")).arg(m_file),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel)
        return false;
    return answer == QMessageBox::Discard || Save();
}

bool Frm_ModelEditor::OpenFile(const QString& relative)
{
    if (relative == m_file)
        return true;
    if (!MaybeSave())
        return false;
    QFile file(m_folder + relative);
    if (file.size() > kLargestFile || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    m_loading = true;
    if (bytes.contains('\0')) {
        // Copied as it is by the build; nothing to edit.
        m_ui->Txt_Template->setPlainText(QString());
        m_ui->Txt_Template->setReadOnly(true);
    } else {
        QString text = TextCodec::Decode(bytes, &m_encoding);
        m_crlf = text.contains(QLatin1String("\r\n"));
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        m_ui->Txt_Template->setReadOnly(false);
        m_ui->Txt_Template->setPlainText(text);
    }
    m_ui->Txt_Template->document()->setModified(false);
    m_loading = false;
    m_file = relative;
    const auto found = m_ui->LB_Files->findItems(relative, Qt::MatchExactly);
    if (!found.isEmpty()) {
        const QSignalBlocker block(m_ui->LB_Files);
        m_ui->LB_Files->setCurrentItem(found.first());
    }
    RefreshNow();
    return true;
}

bool Frm_ModelEditor::Save()
{
    if (m_file.isEmpty() || m_ui->Txt_Template->isReadOnly())
        return true;
    QString text = m_ui->Txt_Template->toPlainText();
    if (m_crlf)
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    bool representable = true;
    const QByteArray bytes = TextCodec::Encode(text, m_encoding, &representable);
    QSaveFile out(m_folder + m_file);
    if (!representable || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        QMessageBox::warning(
            this, windowTitle(),
            QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("MESSAGE_SAVE_ERROR")).arg(m_file));
        return false;
    }
    m_ui->Txt_Template->document()->setModified(false);
    if (m_file.endsWith(QLatin1String(".qvns"))) {
        // The description files decide the variables the preview gets.
        m_preview.SetModel(m_folder, m_tables, m_projectVars);
        m_data = m_preview.Data(m_ui->Cbo_Table->currentIndex());
    }
    statusBar()->showMessage(QDir::toNativeSeparators(m_folder + m_file), 5000);
    return true;
}

QString Frm_ModelEditor::PackagePath() const
{
    return QVNFunction().DeleteFolderMark(m_folder) + QStringLiteral(".qvnm");
}

bool Frm_ModelEditor::Pack()
{
    if (m_folder.isEmpty() || !Save())
        return false;
    QVNZIP zip;
    if (!zip.PackageFolder(PackagePath(), QVNModel::ModelPassword(), m_folder)) {
        QMessageBox::warning(this, windowTitle(), zip.Exceptions.ToString());
        return false;
    }
    statusBar()->showMessage(QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, QStringLiteral("MESSAGE_PACKED")) +
                                 QStringLiteral(" ") + QDir::toNativeSeparators(PackagePath()),
                             10000);
    return true;
}

void Frm_ModelEditor::RefreshNow()
{
    Refresh();
}

void Frm_ModelEditor::Refresh()
{
    m_refresh.stop();
    const QString text = m_ui->Txt_Template->toPlainText();
    QString output;
    m_diagnostics.clear();
    if (m_file == kOrveFile) {
        // Its sections go into every template: they are checked here and previewed there.
        m_preview.SetVariableText(text);
        m_data = m_preview.Data(m_ui->Cbo_Table->currentIndex());
        QVNDiagnostics diagnostics;
        diagnostics.AddSource(m_file, text);
        diagnostics.CheckStructure();
        m_diagnostics = diagnostics.Items();
    } else if (m_file.endsWith(QLatin1String(".qvns")) && !m_file.contains(u'/')) {
        QVNXML xml;
        xml.XML2RowsFromData(text.toUtf8(), m_file);
        if (!xml.Exceptions.IsEmpty()) {
            static const QRegularExpression where(QStringLiteral(":(\\d+): (.*)$"));
            const QRegularExpressionMatch m = where.match(xml.ErrorText);
            m_diagnostics.push_back(
                {m_file, m.hasMatch() ? m.captured(1).toInt() : 1, 1,
                 QStringLiteral("not well-formed XML: ") + (m.hasMatch() ? m.captured(2) : xml.ErrorText).trimmed()});
        }
    } else if (!m_file.isEmpty() && !m_ui->Txt_Template->isReadOnly()) {
        QVNModelPreview::Result result = m_preview.Expand(m_file, text, m_ui->Cbo_Table->currentIndex());
        output = std::move(result.output);
        m_diagnostics = std::move(result.diagnostics);
    }
    // The preview keeps its place while it follows the text.
    QScrollBar* bar = m_ui->Txt_Preview->verticalScrollBar();
    const int scrolled = bar->value();
    if (m_ui->Txt_Preview->toPlainText() != output)
        m_ui->Txt_Preview->setPlainText(output);
    bar->setValue(scrolled);

    m_ui->LB_Diagnostics->clear();
    for (const QVNDiagnostic& d : m_diagnostics) {
        auto* item = new QListWidgetItem(d.Text(), m_ui->LB_Diagnostics);
        item->setData(Qt::UserRole, d.file);
        item->setData(Qt::UserRole + 1, d.line);
        item->setData(Qt::UserRole + 2, d.column);
    }
    UpdateCursorViews();
}

void Frm_ModelEditor::JumpTo(QListWidgetItem* item)
{
    const QString file = item->data(Qt::UserRole).toString();
    const int line = item->data(Qt::UserRole + 1).toInt();
    const int column = item->data(Qt::UserRole + 2).toInt();
    if (file != m_file && !OpenFile(file))
        return;
    const QTextBlock block = m_ui->Txt_Template->document()->findBlockByNumber(std::max(line - 1, 0));
    QTextCursor cursor(m_ui->Txt_Template->document());
    cursor.setPosition(positionOf(block, column));
    m_ui->Txt_Template->setTextCursor(cursor);
    m_ui->Txt_Template->centerCursor();
    m_ui->Txt_Template->setFocus();
}

void Frm_ModelEditor::UpdateCursorViews()
{
    ApplySelections();
    FillKeys();
}

void Frm_ModelEditor::FillKeys()
{
    m_ui->LB_Keys->clear();
    if (!m_data)
        return;
    const auto keys =
        QVNModelPreview::KeysAt(m_ui->Txt_Template->toPlainText(), m_ui->Txt_Template->textCursor().position(), m_data);
    for (const QVNModelPreview::Key& k : keys) {
        auto* item = new QListWidgetItem(k.rowSet ? QStringLiteral("<ORVE_%1> \u2026 </ORVE_%1>").arg(k.key) : k.key,
                                         m_ui->LB_Keys);
        item->setData(Qt::UserRole, k.Tag());
    }
}

void Frm_ModelEditor::ApplySelections()
{
    QList<QTextEdit::ExtraSelection> selections;
    QTextDocument* doc = m_ui->Txt_Template->document();
    const QString text = m_ui->Txt_Template->toPlainText();

    // The begin and end tags of the innermost block around the cursor.
    const int pos = m_ui->Txt_Template->textCursor().position();
    struct Open
    {
        int from, length;
    };
    QHash<QString, Open> open;
    int bestBegin = -1, bestBeginLength = 0, bestEnd = -1, bestEndLength = 0;
    auto it = tagPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1);
        const bool isEnd = text.at(m.capturedStart() + 1) == u'/';
        if (!isEnd) {
            if (!open.contains(name))
                open.insert(name, {int(m.capturedStart()), int(m.capturedLength())});
            continue;
        }
        const auto o = open.find(name);
        if (o == open.end())
            continue;
        const int endTo = int(m.capturedEnd());
        if (o->from <= pos && pos <= endTo && o->from > bestBegin) {
            bestBegin = o->from;
            bestBeginLength = o->length;
            bestEnd = int(m.capturedStart());
            bestEndLength = int(m.capturedLength());
        }
        open.erase(o);
    }
    if (bestBegin >= 0) {
        QTextCharFormat match;
        match.setBackground(QColor(0xff, 0xec, 0x99));
        for (const auto& [from, length] : {std::pair{bestBegin, bestBeginLength}, std::pair{bestEnd, bestEndLength}}) {
            QTextEdit::ExtraSelection s;
            s.format = match;
            s.cursor = QTextCursor(doc);
            s.cursor.setPosition(from);
            s.cursor.setPosition(from + length, QTextCursor::KeepAnchor);
            selections << s;
        }
    }

    // The diagnostics of this file, underlined from their place to the end of the tag there.
    m_marks.clear();
    QTextCharFormat wave;
    wave.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    wave.setUnderlineColor(Qt::red);
    for (const QVNDiagnostic& d : m_diagnostics) {
        if (d.file != m_file || d.line < 1)
            continue;
        const QTextBlock block = doc->findBlockByNumber(d.line - 1);
        if (!block.isValid())
            continue;
        const int from = positionOf(block, d.column);
        int to = from + 1;
        if (from < text.size() && text.at(from) == u'<') {
            const qsizetype close = text.indexOf(u'>', from);
            const qsizetype lineEnd = text.indexOf(u'\n', from);
            if (close > 0 && (lineEnd < 0 || close < lineEnd))
                to = int(close) + 1;
        }
        to = std::min(to, block.position() + std::max(block.length() - 1, 1));
        QTextEdit::ExtraSelection s;
        s.format = wave;
        s.format.setToolTip(d.reason);
        s.cursor = QTextCursor(doc);
        s.cursor.setPosition(from);
        s.cursor.setPosition(std::max(to, from + 1), QTextCursor::KeepAnchor);
        selections << s;
        m_marks.push_back({from, std::max(to, from + 1), d.reason});
    }
    m_ui->Txt_Template->setExtraSelections(selections);
}

bool Frm_ModelEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->Txt_Template->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int pos = m_ui->Txt_Template->cursorForPosition(help->pos()).position();
        QStringList reasons;
        for (const Mark& m : m_marks) {
            if (m.from <= pos && pos < m.to)
                reasons << m.reason;
        }
        if (reasons.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), reasons.join(u'\n'), m_ui->Txt_Template);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Frm_ModelEditor::closeEvent(QCloseEvent* event)
{
    if (MaybeSave())
        event->accept();
    else
        event->ignore();
}
