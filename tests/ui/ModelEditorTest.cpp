// The model editor, offscreen, on a copy of a shipped model over the sample project's tables:
// typed mistakes are underlined where they are, the preview follows the text once typing pauses,
// the key list knows the block around the cursor, and saving keeps a file's encoding and breaks.
#include "Frm_ModelEditor.h"
#include "QVNBuildCollector.h"
#include "QVNFunction.h"
#include "TQXRow.h"
#include "TestSupport.h"
#include "TextCodec.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <cstdio>

namespace {

const QString kModels = QStringLiteral(QUORVIN_SOURCE_DIR "/resources/models/");

/// Types `text` into the widget key by key, as a user does.
void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        const int key = c == u'\n' ? Qt::Key_Return : 0;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, c == u'\n' ? QString() : QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

/// Lets events run until `done` holds or two seconds pass.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ModelEditor : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        m_folder = m_dir.file(QStringLiteral("model/python/"));
        ASSERT_TRUE(QVNFunction().CopyFolder(kModels + QStringLiteral("python"), m_folder));
        QVNBuildCollector collector;
        TQXColsPtr vars;
        QString out;
        ASSERT_TRUE(collector.Collect(SampleProject(), {}, m_tables, vars, out));
        for (const TQXColPtr& c : *vars)
            m_vars.append({c->Key(), c->Value().ToText()});
        m_editor = std::make_unique<Frm_ModelEditor>();
        ASSERT_TRUE(m_editor->OpenFolder(m_folder, m_tables, m_vars));
        m_editor->show();
        m_text = m_editor->findChild<QPlainTextEdit*>(QStringLiteral("Txt_Template"));
        m_preview = m_editor->findChild<QPlainTextEdit*>(QStringLiteral("Txt_Preview"));
        ASSERT_TRUE(m_text && m_preview);
    }
    void TearDown() override
    {
        m_editor.reset();
        UiTest::TearDown();
    }

    void MoveTo(int position)
    {
        QTextCursor c = m_text->textCursor();
        c.setPosition(position);
        m_text->setTextCursor(c);
    }

    QString m_folder;
    TQXRowsPtr m_tables;
    QList<QPair<QString, QString>> m_vars;
    std::unique_ptr<Frm_ModelEditor> m_editor;
    QPlainTextEdit* m_text = nullptr;
    QPlainTextEdit* m_preview = nullptr;
};

} // namespace

TEST_F(ModelEditor, ATypedMistakeIsUnderlinedWhereItIsAndThePreviewFollowsTheText)
{
    ASSERT_TRUE(m_editor->OpenFile(QStringLiteral("table.py")));
    EXPECT_TRUE(m_editor->Diagnostics().empty());
    const QString firstTable = m_tables->Item(1)->Cols()->Text(QStringLiteral("TL_NAME"));

    // A new line at the top: "# <ORVE>TL_NAME</ORVE>" previews as the table's name.
    MoveTo(0);
    const QString before = m_preview->toPlainText();
    type(m_text, QStringLiteral("# <ORVE>TL_NAME</ORVE>!\n"));
    EXPECT_EQ(m_preview->toPlainText(), before) << "the preview was made on the typing path";
    ASSERT_TRUE(waitFor([&] { return m_preview->toPlainText().startsWith(QStringLiteral("# ") + firstTable + u'!'); }))
        << m_preview->toPlainText().left(200).toStdString();

    // A misspelled key on line 2, column 3.
    MoveTo(m_text->document()->findBlockByNumber(1).position());
    type(m_text, QStringLiteral("# <ORVE>TL_NAMEE</ORVE>\n"));
    ASSERT_TRUE(waitFor([&] { return !m_editor->Diagnostics().empty(); }));
    const QVNDiagnostic& d = m_editor->Diagnostics().front();
    EXPECT_EQ(d.file, QStringLiteral("table.py"));
    EXPECT_EQ(d.line, 2);
    EXPECT_EQ(d.column, 3);
    EXPECT_TRUE(d.reason.contains(QStringLiteral("TL_NAMEE")));
    bool underlined = false;
    for (const QTextEdit::ExtraSelection& s : m_text->extraSelections()) {
        if (s.format.underlineStyle() == QTextCharFormat::WaveUnderline) {
            underlined = true;
            EXPECT_EQ(s.cursor.selectionStart(), m_text->document()->findBlockByNumber(1).position() + 2);
            EXPECT_EQ(s.cursor.selectedText(), QStringLiteral("<ORVE>"));
            EXPECT_EQ(s.format.toolTip(), d.reason);
        }
    }
    EXPECT_TRUE(underlined);
    auto* list = m_editor->findChild<QListWidget*>(QStringLiteral("LB_Diagnostics"));
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("table.py:2:3: ")));

    // Mending it clears the list once typing pauses.
    MoveTo(m_text->document()->findBlockByNumber(1).position() + 16);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(m_text, &backspace);
    ASSERT_TRUE(waitFor([&] { return m_editor->Diagnostics().empty(); }))
        << m_text->document()->findBlockByNumber(1).text().toStdString();
}

TEST_F(ModelEditor, TheKeyListOffersTheFieldsOfTheBlockAroundTheCursor)
{
    ASSERT_TRUE(m_editor->OpenFile(QStringLiteral("table.py")));
    auto* keys = m_editor->findChild<QListWidget*>(QStringLiteral("LB_Keys"));
    auto listed = [keys] {
        QStringList all;
        for (int i = 0; i < keys->count(); ++i)
            all << keys->item(i)->text();
        return all;
    };
    MoveTo(0);
    QStringList outside = listed();
    EXPECT_TRUE(outside.contains(QStringLiteral("TL_NAME")));
    EXPECT_FALSE(outside.contains(QStringLiteral("CL_NAME")));
    EXPECT_TRUE(outside.contains(QStringLiteral("<ORVE_COLUMNS> \u2026 </ORVE_COLUMNS>")));

    const QString text = m_text->toPlainText();
    const int inside = int(text.indexOf(QStringLiteral("<ORVE_COLUMNS>"))) + 14;
    MoveTo(inside);
    const QStringList within = listed();
    ASSERT_FALSE(within.isEmpty());
    EXPECT_EQ(within.first(), QStringLiteral("ORVE_COLUMNS_ROW_INDEX")); // the block's own keys come first
    EXPECT_TRUE(within.contains(QStringLiteral("CL_NAME")));
    EXPECT_TRUE(within.contains(QStringLiteral("TL_NAME"))); // the table's keys still apply there

    // Activating a key inserts its tag where the cursor stands.
    const int row = int(within.indexOf(QStringLiteral("CL_NAME")));
    emit keys->itemActivated(keys->item(row));
    EXPECT_EQ(m_text->toPlainText().mid(inside, 20), QStringLiteral("<ORVE>CL_NAME</ORVE>"));
}

TEST_F(ModelEditor, SavingKeepsEncodingAndLineBreaksAndPackMakesThePackage)
{
    const QString name = QStringLiteral("gb.txt");
    const QString original = QStringLiteral("\u8868 <ORVE>TL_NAME</ORVE>\r\n\u5217\r\n");
    ASSERT_TRUE(writeBytes(m_folder + name, TextCodec::Encode(original, TextEncoding::GB18030)));
    ASSERT_TRUE(m_editor->OpenFile(name));
    EXPECT_TRUE(m_editor->Diagnostics().empty());
    MoveTo(int(m_text->toPlainText().size()));
    type(m_text, QStringLiteral("\u5b57"));
    ASSERT_TRUE(m_editor->Save());
    TextEncoding found = TextEncoding::Utf8;
    EXPECT_EQ(TextCodec::Decode(readBytes(m_folder + name), &found), original + QStringLiteral("\u5b57"));
    EXPECT_EQ(found, TextEncoding::GB18030);

    ASSERT_TRUE(m_editor->Pack());
    EXPECT_TRUE(QFileInfo(m_editor->PackagePath()).isFile());
    EXPECT_EQ(QFileInfo(m_editor->PackagePath()).fileName(), QStringLiteral("python.qvnm"));

    if (const QByteArray shot = qgetenv("QUORVIN_EDITOR_SHOT"); !shot.isEmpty()) {
        m_editor->resize(1280, 760);
        ASSERT_TRUE(m_editor->OpenFile(QStringLiteral("table.py")));
        MoveTo(int(m_text->toPlainText().indexOf(QStringLiteral("<ORVE_COLUMNS>"))) + 20);
        type(m_text, QStringLiteral("<ORVE>CL_NAMEE</ORVE>"));
        m_editor->RefreshNow();
        m_editor->grab().save(QString::fromLocal8Bit(shot));
    }
}

// Not a timed test: prints how long the preview of a 500-line template over a table of 30 columns
// takes once typing pauses (the figure quoted in the architecture notes).
TEST_F(ModelEditor, PreviewOfALargeTemplateIsReported)
{
    QString text;
    const QString table = QString::fromUtf8(readBytes(m_folder + QStringLiteral("table.py")));
    while (text.count(u'\n') < 500)
        text += table;
    ASSERT_TRUE(writeBytes(m_folder + QStringLiteral("big.py"), text.toUtf8()));
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("TABLES"));
    auto columns = TQXRows::Create();
    columns->SetTag(QStringLiteral("COLUMNS"));
    const TQXColsPtr first =
        m_tables->Item(1)->Cols()->Item(QStringLiteral("COLUMNS"))->Value().rows()->Item(1)->Cols();
    for (int c = 1; c <= 30; ++c) {
        auto col = TQXCols::Create();
        col->Copy(first);
        col->Item(QStringLiteral("CL_NAME"))->SetValue(TQXValue(QStringLiteral("column_%1").arg(c)));
        columns->Add(col, QStringLiteral("column_%1").arg(c));
    }
    auto wide = TQXCols::Create();
    wide->Copy(m_tables->Item(1)->Cols());
    wide->Item(QStringLiteral("COLUMNS"))->SetValue(TQXValue(columns));
    rows->Add(wide, QStringLiteral("wide"));
    ASSERT_TRUE(m_editor->OpenFolder(m_folder, rows, m_vars));
    ASSERT_TRUE(m_editor->OpenFile(QStringLiteral("big.py")));
    MoveTo(0);
    QElapsedTimer clock;
    qint64 best = -1;
    for (int i = 0; i < 5; ++i) {
        type(m_text, QStringLiteral("x"));
        clock.start();
        m_editor->RefreshNow();
        const qint64 ms = clock.elapsed();
        best = best < 0 ? ms : std::min(best, ms);
    }
    EXPECT_TRUE(m_preview->toPlainText().startsWith(QStringLiteral("xxxxx")));
    std::printf("preview of %lld lines over 30 columns: %lld ms after the pause (best of 5)\n",
                static_cast<long long>(text.count(u'\n')), static_cast<long long>(best));
}
