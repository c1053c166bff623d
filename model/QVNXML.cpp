#include "QVNXML.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>

#include <QFile>

#include <climits>
#include <memory>

namespace {

struct DocFree
{
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct CtxtFree
{
    void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};
struct ValidFree
{
    void operator()(xmlValidCtxt* v) const { xmlFreeValidCtxt(v); }
};
struct XmlCharFree
{
    void operator()(xmlChar* s) const { xmlFree(s); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;
using CtxtPtr = std::unique_ptr<xmlParserCtxt, CtxtFree>;
using ValidPtr = std::unique_ptr<xmlValidCtxt, ValidFree>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharFree>;

// libxml2 prints errors to stderr unless told otherwise; the reader reports through its collector.
void silentError(void*, const char*, ...) {}
void silentStructuredError(void*, xmlErrorPtr) {}

QString fromXml(const xmlChar* s)
{
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

QString nodeName(const xmlNode* node)
{
    // The qualified name as written ("prefix:name"), like a DOM nodeName.
    if (node->ns && node->ns->prefix)
        return fromXml(node->ns->prefix) + QLatin1Char(':') + fromXml(node->name);
    return fromXml(node->name);
}

QString textContent(const xmlNode* node)
{
    XmlCharPtr text(xmlNodeGetContent(node));
    return fromXml(text.get());
}

// Error codes of our own for refusals that are not parser errors.
constexpr int ErrorTooLarge = 1000001;
constexpr int ErrorExternalDtd = 1000002;
constexpr int ErrorNoRoot = 1000003;

} // namespace

TQXRowsPtr QVNXML::XML2Rows(const QString& pStr_XMLFile)
{
    QFile f(pStr_XMLFile);
    QByteArray data;
    if (f.open(QIODevice::ReadOnly))
        data = f.readAll();
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        Exceptions.Clear();
        // XML_IO_LOAD_ERROR: what libxml2 reports for a file it cannot open.
        Exceptions.Add(QString::number(XML_IO_LOAD_ERROR));
        ErrorText = QStringLiteral("%1: cannot be read: %2").arg(pStr_XMLFile, f.errorString());
        return TQXRows::Create();
    }
    return XML2RowsFromData(data, pStr_XMLFile);
}

TQXRowsPtr QVNXML::XML2RowsFromData(const QByteArray& data, const QString& name)
{
    Exceptions.Clear();
    ErrorText.clear();
    const QString label = name.isEmpty() ? QStringLiteral("(document)") : name;
    auto result = TQXRows::Create();
    if (data.size() > INT_MAX) {
        Exceptions.Add(QString::number(ErrorTooLarge));
        ErrorText = label + QStringLiteral(": the document is too large");
        return result;
    }

    xmlSetGenericErrorFunc(nullptr, silentError);
    xmlSetStructuredErrorFunc(nullptr, silentStructuredError);
    CtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        Exceptions.Add(QString::number(XML_ERR_NO_MEMORY));
        ErrorText = label + QStringLiteral(": out of memory");
        return result;
    }
    // NONET: no network. Neither NOENT (entity substitution into the tree) nor DTDLOAD/DTDATTR/
    // DTDVALID is set, so no external subset or external entity is ever fetched. Validation against
    // the internal subset is done below, explicitly.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    const QByteArray url = name.toUtf8();
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), data.constData(), static_cast<int>(data.size()), url.constData(), nullptr,
                                 options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* err = xmlCtxtGetLastError(ctxt.get());
        Exceptions.Add(QString::number(err && err->code ? err->code : XML_ERR_DOCUMENT_EMPTY));
        const QString message =
            err && err->message ? QString::fromUtf8(err->message).trimmed() : QStringLiteral("the document is empty");
        ErrorText = QStringLiteral("%1:%2: %3").arg(label).arg(err ? err->line : 1).arg(message);
        return TQXRows::Create();
    }

    if (xmlDtd* dtd = doc->intSubset) {
        if (dtd->ExternalID || dtd->SystemID) {
            Exceptions.Add(QString::number(ErrorExternalDtd));
            ErrorText = label + QStringLiteral(": refers to an external document type definition, which is not loaded");
            return result;
        }
        ValidPtr valid(xmlNewValidCtxt());
        if (!valid) {
            Exceptions.Add(QString::number(XML_ERR_NO_MEMORY));
            ErrorText = label + QStringLiteral(": out of memory");
            return result;
        }
        valid->error = silentError;
        valid->warning = silentError;
        if (!xmlValidateDtd(valid.get(), doc.get(), dtd)) {
            Exceptions.Add(QString::number(XML_DTD_UNKNOWN_ELEM));
            ErrorText = label + QStringLiteral(": does not match its document type definition");
            return result;
        }
    }

    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root) {
        Exceptions.Add(QString::number(ErrorNoRoot));
        ErrorText = label + QStringLiteral(": has no root element");
        return result;
    }
    for (const xmlNode* rec = root->children; rec; rec = rec->next) {
        if (rec->type != XML_ELEMENT_NODE)
            continue; // comments, processing instructions and stray text are not records
        if (fromXml(rec->name).compare(QLatin1String("schema"), Qt::CaseInsensitive) == 0)
            continue;
        auto cols = TQXCols::Create();
        for (const xmlNode* field = rec->children; field; field = field->next) {
            if (field->type != XML_ELEMENT_NODE)
                continue;
            cols->Add(TQXValue(textContent(field)), nodeName(field));
        }
        result->Add(cols, QString(), nodeName(rec));
    }
    return result;
}
