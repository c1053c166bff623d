#include "QVNXML.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TQXRowsPtr parse(const char* xml, QVNXML& reader)
{
    return reader.XML2RowsFromData(QByteArray(xml));
}

} // namespace

TEST(Xml, RecordsAreChildElementsAndFieldsKeepTheirOrderAndRawText)
{
    QVNXML reader;
    const TQXRowsPtr rows = parse("<?xml version=\"1.0\"?>\n<root>\n  <!-- a comment is not a record -->\n"
                                  "  <first><A> one </A><B>2</B></first>\n"
                                  "  <second><B>x</B><A>y</A><A>ignored duplicate</A></second>\n</root>",
                                  reader);
    ASSERT_EQ(rows->Count(), 2);
    EXPECT_EQ(rows->Item(1)->Name(), QStringLiteral("first"));
    EXPECT_EQ(rows->Item(1)->Key(), QString());
    const TQXColsPtr first = rows->Item(1)->Cols();
    ASSERT_EQ(first->Count(), 2);
    EXPECT_EQ(first->Item(1)->Key(), QStringLiteral("A"));
    EXPECT_EQ(first->Item(1)->Value().ToText(), QStringLiteral(" one ")); // consumers trim, the reader does not
    const TQXColsPtr second = rows->Item(2)->Cols();
    EXPECT_EQ(second->Item(1)->Key(), QStringLiteral("B"));
    EXPECT_EQ(second->Text(QStringLiteral("a")), QStringLiteral("y")); // looked up without regard to case
    EXPECT_TRUE(reader.Exceptions.IsEmpty());
}

TEST(Xml, InlineSchemaElementsAreSkippedWhateverTheirPrefixOrCase)
{
    QVNXML reader;
    const TQXRowsPtr plain = parse("<root><rec><A>1</A></rec></root>", reader);
    const TQXRowsPtr withSchema = parse("<root xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                                        "<xs:schema><xs:element name=\"rec\"/></xs:schema><Schema><x/></Schema>"
                                        "<rec><A>1</A></rec></root>",
                                        reader);
    ASSERT_EQ(withSchema->Count(), plain->Count());
    EXPECT_EQ(withSchema->Item(1)->Cols()->Text(QStringLiteral("A")), QStringLiteral("1"));
}

TEST(Xml, FieldWithChildElementsGivesItsWholeText)
{
    QVNXML reader;
    const TQXRowsPtr rows = parse("<root><rec><F>a<b>b</b><c>c<d>d</d></c>e</F></rec></root>", reader);
    ASSERT_EQ(rows->Count(), 1);
    EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("F")), QStringLiteral("abcde"));
}

TEST(Xml, BrokenMissingOrInvalidDocumentsGiveAnEmptySetAndOneErrorCode)
{
    TempDir dir;
    QVNXML reader;
    const char* broken[] = {
        "<root><rec><A>1</rec></root>", // not well-formed
        "",                             // empty
        // declares a document type it does not satisfy
        "<!DOCTYPE root [<!ELEMENT root (rec)*><!ELEMENT rec (A)><!ELEMENT A (#PCDATA)>]>"
        "<root><rec><B>1</B></rec></root>",
        // exponential entity expansion ("billion laughs")
        "<!DOCTYPE root [<!ELEMENT root (rec)*><!ELEMENT rec (A)><!ELEMENT A (#PCDATA)>"
        "<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
        "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
        "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">"
        "<!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]><root><rec><A>&i;</A></rec></root>",
        // refers to an external definition, which is never loaded
        "<!DOCTYPE root SYSTEM \"http://example.invalid/model.dtd\"><root><rec><A>1</A></rec></root>",
    };
    for (const char* xml : broken) {
        const TQXRowsPtr rows = parse(xml, reader);
        EXPECT_EQ(rows->Count(), 0) << xml;
        ASSERT_EQ(reader.Exceptions.Count(), 1) << xml;
        bool numeric = false;
        reader.Exceptions.ToString().trimmed().toInt(&numeric);
        EXPECT_TRUE(numeric) << reader.Exceptions.ToString().toStdString();
    }
    EXPECT_EQ(reader.XML2Rows(dir.file(QStringLiteral("missing.qvns")))->Count(), 0);
    EXPECT_EQ(reader.Exceptions.Count(), 1);
}

TEST(Xml, ValidDocumentTypeIsAcceptedAndExternalEntitiesAreNeverLoaded)
{
    TempDir dir;
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("secret.txt")), "TOP-SECRET"));
    const QByteArray xml = "<!DOCTYPE root [<!ELEMENT root (rec)*><!ELEMENT rec (A)><!ELEMENT A (#PCDATA)>"
                           "<!ENTITY inner \"fine\"><!ENTITY secret SYSTEM \"secret.txt\">]>"
                           "<root><rec><A>&inner;</A></rec><rec><A>&secret;</A></rec></root>";
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("doc.qvns")), xml));
    QVNXML reader;
    const TQXRowsPtr rows = reader.XML2Rows(dir.file(QStringLiteral("doc.qvns")));
    for (const TQXRowPtr& row : *rows) {
        EXPECT_FALSE(row->Cols()->Text(QStringLiteral("A")).contains(QStringLiteral("TOP-SECRET")));
    }
    if (rows->Count() > 0) {
        EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("A")), QStringLiteral("fine"));
    }
}
