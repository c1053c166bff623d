// The compiled expansion: the variables and repetition blocks of a template resolved in one walk
// over its plan, with the result the step-by-step rewriting gives.
//
// The rewriting applies a sequence of operations to the whole text: the plain columns of a set
// (each replaces its variables everywhere), the expansion of a row set's blocks, the row
// placeholders of one copy. When no inserted value holds '<' or '>' and the plan admits the
// template, no operation creates or destroys a tag, so every tag of every intermediate text is a
// tag of the template (or of a copy of one of its blocks). Then
//   - a variable becomes the value of the first operation in the sequence that holds its key, and
//     stays as written when none does;
//   - a block becomes one copy of its body per row at the first expansion of its name in the
//     sequence; the copy of row r sees the operations before that expansion, then the row's own
//     (its columns, nested sets in place, then the placeholders), then the ones after it; a block
//     no expansion names stays as written;
//   - a copy in which no variable is left has its encode and selection blocks decided at once, as
//     the rewriting does, with the same joins (selection blocks at the positions where they were
//     written, any other case with the very same steps on the copy's text);
//   - a fixed-length block that no step in between can read is resolved where it is written.
// The steps after substitution then run over the result only for the blocks left to them.
// Every case the walk does not model (a value holding '<' or '>', a value that would complete a tag
// the template leaves open, a decided copy holding blocks a later expansion would still reach, a
// limit or a cancel) stops it, and the caller expands the template step by step instead.
#include "QVNParser.h"
#include "QVNTemplatePlan.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Node = QVNTemplatePlan::Node;
using Kind = QVNTemplatePlan::Kind;

/// The keys of a column set in order, with the position of each key's first column. Row sets
/// usually hold rows of one shape, so one layout serves all of them.
struct Layout
{
    std::vector<QString> keys;
    QHash<QStringView, int> first;
    bool repeats = false; // a key held by more than one column (unkeyed columns): searched in order
};

/// A column set taking part in the walk, with its values checked and converted on first use.
struct Frame
{
    const Layout* layout = nullptr;
    std::vector<const TQXCol*> cols;
    std::vector<const QString*> texts; // null until first used
    std::vector<QString> converted;    // texts of values that are not text
};

struct Op
{
    enum Type : std::uint8_t { Columns, Rows, Placeholders };
    Type type;
    int from = 0, to = 0; // Columns: the plain columns [from, to) of the frame
    int name = -1;        // Rows: the plan's name of the row set's Tag
    Frame* frame = nullptr;
    const TQXRows* rows = nullptr;
    const QVNTemplatePlan::Block* block = nullptr; // Placeholders
    const QString* index = nullptr;
    const QString* count = nullptr;
    const QString* key = nullptr;
};

/// One copy of a block being built: where it starts in the output, the position of its
/// placeholders in the operation sequence (a variable resolved later, or never, is still a
/// variable when the copy is made) and the encode and selection blocks it holds.
struct Piece
{
    int cut;
    bool late;
    int encode, select;
    qsizetype start;
    size_t selectsFrom; // its first selection block in Compiled::selects
};

constexpr int kUnresolved = INT_MAX / 2;
constexpr int kRootCut = INT_MAX / 4;

bool holdsAngle(QStringView s)
{
    const char16_t* d = s.utf16();
    bool found = false;
    for (qsizetype i = 0, n = s.size(); i < n; ++i)
        found |= (d[i] == u'<') | (d[i] == u'>');
    return found;
}

/// The output: a QString written through its raw buffer, grown geometrically, cut to size once.
class Buffer
{
public:
    void Reserve(qsizetype n)
    {
        if (n > m_cap)
            Grow(n);
    }
    void Append(QStringView v)
    {
        const qsizetype len = v.size();
        if (m_size + len > m_cap)
            Grow(m_size + len);
        char16_t* to = m_data + m_size;
        const char16_t* from = v.utf16();
        if (len <= 16) {
            for (qsizetype i = 0; i < len; ++i) // most pieces are short: no call for them
                to[i] = from[i];
        } else {
            std::memcpy(to, from, static_cast<size_t>(len) * sizeof(char16_t));
        }
        m_size += len;
    }
    qsizetype size() const { return m_size; }
    QStringView View(qsizetype from) const { return QStringView(m_data + from, m_size - from); }
    void Truncate(qsizetype n) { m_size = n; }
    /// Makes the size n, growing when needed (new characters are undefined until written).
    void Resize(qsizetype n)
    {
        if (n > m_cap)
            Grow(n);
        m_size = n;
    }
    char16_t* Data() { return m_data; }
    QString Take()
    {
        m_text.resize(m_size);
        m_data = nullptr;
        m_cap = m_size = 0;
        return std::move(m_text);
    }

private:
    void Grow(qsizetype need)
    {
        m_cap = std::max(need, m_cap * 2 + 4096);
        m_text.resize(m_cap);
        m_data = reinterpret_cast<char16_t*>(m_text.data());
    }
    QString m_text;
    char16_t* m_data = nullptr;
    qsizetype m_size = 0, m_cap = 0;
};

/// Memo of a variable's column position per layout.
struct Memo
{
    const Layout* layout[4] = {};
    int position[4] = {};
    unsigned next = 0;
};

} // namespace

struct QVNParser::Compiled
{
    enum class Stop { None, Again, Cancel };

    QVNParser& parser;
    const QVNTemplatePlan& plan;
    QStringView src;
    Buffer out;
    Stop stop = Stop::None;
    std::vector<std::unique_ptr<Frame>> frames;
    size_t framesUsed = 0;
    std::vector<std::unique_ptr<Layout>> layouts;
    std::vector<Memo> memos;
    std::vector<Piece> pieces;
    std::vector<const TQXCols*> chain;
    std::vector<KnownBlock> selects;                  // the selection blocks written, in order
    std::vector<std::unique_ptr<QString>> indexTexts; // stable addresses for the placeholders
    struct Width
    {
        double length = 0, step = 0;
        bool known = false;
    };
    std::vector<Width> widths; // per block: the numbers of constant width and step parts
    int calc = 0, fixLength = 0;
    int depth = 0;

    Compiled(QVNParser& p, const QVNTemplatePlan& pl)
        : parser(p), plan(pl), src(pl.text), memos(static_cast<size_t>(pl.variables)), widths(pl.blocks.size())
    {
    }

    const Layout* LayoutOf(const Frame& f)
    {
        const size_t n = f.cols.size();
        const size_t tries = std::min<size_t>(layouts.size(), 4);
        for (size_t k = 0; k < tries; ++k) {
            const Layout& l = *layouts[layouts.size() - 1 - k];
            if (l.keys.size() != n)
                continue;
            size_t i = 0;
            while (i < n) {
                const QString& key = f.cols[i]->Key();
                if (!(l.keys[i].constData() == key.constData() && l.keys[i].size() == key.size()) && l.keys[i] != key)
                    break;
                ++i;
            }
            if (i == n)
                return &l;
        }
        auto l = std::make_unique<Layout>();
        l->keys.reserve(n);
        for (const TQXCol* c : f.cols)
            l->keys.push_back(c->Key());
        for (size_t i = 0; i < n; ++i) {
            if (l->first.contains(l->keys[i]))
                l->repeats = true;
            else
                l->first.insert(QStringView(l->keys[i]), static_cast<int>(i));
        }
        layouts.push_back(std::move(l));
        return layouts.back().get();
    }

    Frame* Enter(const TQXCols& set)
    {
        if (framesUsed == frames.size())
            frames.push_back(std::make_unique<Frame>());
        Frame* f = frames[framesUsed++].get();
        f->cols.clear();
        for (const TQXColPtr& c : set)
            f->cols.push_back(c.get());
        f->texts.assign(f->cols.size(), nullptr);
        if (f->converted.size() < f->cols.size())
            f->converted.resize(f->cols.size()); // an entry is read only through texts, set in this row
        f->layout = LayoutOf(*f);
        return f;
    }

    /// The operations of a column set in order: runs of plain columns, row sets, nested sets in
    /// place (a set already being substituted in this chain is skipped, as the rewriting does).
    void Flatten(const TQXCols* set, std::vector<Op>& seq, int first = 0)
    {
        if (!set || std::find(chain.begin(), chain.end(), set) != chain.end())
            return;
        chain.push_back(set);
        Frame* f = Enter(*set);
        const int n = static_cast<int>(f->cols.size());
        int run = -1;
        for (int i = first; i < n; ++i) {
            const TQXValue& v = f->cols[static_cast<size_t>(i)]->Value();
            const TQXValue::Type type = v.type();
            if (type != TQXValue::Type::Rows && type != TQXValue::Type::Cols) {
                if (run < 0)
                    run = i;
                continue;
            }
            if (run >= 0) {
                seq.push_back(Op{Op::Columns, run, i, -1, f});
                run = -1;
            }
            if (type == TQXValue::Type::Rows)
                PushRows(v.rows().get(), seq);
            else
                Flatten(v.cols().get(), seq);
        }
        if (run >= 0)
            seq.push_back(Op{Op::Columns, run, n, -1, f});
        chain.pop_back();
    }

    void PushRows(const TQXRows* rows, std::vector<Op>& seq)
    {
        if (!rows || rows->Tag().isEmpty())
            return;
        const int name = plan.NameIndex(rows->Tag());
        if (name < 0)
            return; // the template has no block of that name: nothing to expand
        Op op{Op::Rows};
        op.name = name;
        op.rows = rows;
        seq.push_back(op);
    }

    int Position(int variable, const Layout* layout, QStringView key)
    {
        Memo& m = memos[static_cast<size_t>(variable)];
        for (int k = 0; k < 4; ++k) {
            if (m.layout[k] == layout)
                return m.position[k];
        }
        const int position = layout->first.value(key, -1);
        m.layout[m.next] = layout;
        m.position[m.next] = position;
        m.next = (m.next + 1) & 3U;
        return position;
    }

    const QString* TextOf(Frame& f, int i)
    {
        const QString*& text = f.texts[static_cast<size_t>(i)];
        if (!text) {
            const TQXValue& v = f.cols[static_cast<size_t>(i)]->Value();
            const QString* t = v.textPtr();
            if (!t) {
                f.converted[static_cast<size_t>(i)] = v.ToText();
                t = &f.converted[static_cast<size_t>(i)];
            }
            if (holdsAngle(*t)) {
                stop = Stop::Again; // a value that could make or break a tag
                return nullptr;
            }
            text = t;
        }
        return text;
    }

    void MarkLate(int position)
    {
        for (Piece& p : pieces) {
            if (position > p.cut)
                p.late = true;
        }
    }

    void Variable(const Node& node, const std::vector<Op>& seq)
    {
        const QStringView key = src.mid(node.innerFrom, node.innerTo - node.innerFrom);
        const QString* value = nullptr;
        int p = 0;
        for (const int n = static_cast<int>(seq.size()); p < n; ++p) {
            const Op& op = seq[static_cast<size_t>(p)];
            if (op.type == Op::Columns) {
                int i = -1;
                if (op.frame->layout->repeats) {
                    for (int c = op.from; c < op.to && i < 0; ++c) {
                        if (op.frame->layout->keys[static_cast<size_t>(c)] == key)
                            i = c;
                    }
                } else {
                    i = Position(node.id, op.frame->layout, key);
                }
                if (i >= op.from && i < op.to) {
                    value = TextOf(*op.frame, i);
                    if (!value)
                        return;
                    break;
                }
            } else if (op.type == Op::Placeholders && node.placeName == op.block->name) {
                if (node.placeKind == 1)
                    value = op.index;
                else if (node.placeKind == 2)
                    value = op.count;
                else {
                    if (holdsAngle(*op.key)) {
                        stop = Stop::Again;
                        return;
                    }
                    value = op.key;
                }
                if (value)
                    break;
            }
        }
        if (!value) {
            MarkLate(kUnresolved);
            out.Append(src.mid(node.from, node.to - node.from));
            return;
        }
        if (node.fragmentFrom >= 0) {
            // The template leaves a '<' open before this variable: the value must not complete a tag.
            const QString probe = src.mid(node.fragmentFrom, node.from - node.fragmentFrom).toString() + value->left(7);
            if (QVNTemplatePlan::CouldStartTag(probe)) {
                stop = Stop::Again;
                return;
            }
        }
        MarkLate(p);
        out.Append(*value);
    }

    void Nodes(int from, int to, const std::vector<Op>& seq)
    {
        for (int i = from; i < to && stop == Stop::None;) {
            const Node& node = plan.nodes[static_cast<size_t>(i)];
            switch (node.kind) {
            case Kind::Literal:
                out.Append(src.mid(node.from, node.to - node.from));
                ++i;
                break;
            case Kind::Variable:
                Variable(node, seq);
                ++i;
                break;
            case Kind::Block:
                Block(i, seq);
                i = node.end;
                break;
            }
        }
    }

    void Block(int i, const std::vector<Op>& seq)
    {
        const Node& node = plan.nodes[static_cast<size_t>(i)];
        const QVNTemplatePlan::Block& block = plan.blocks[static_cast<size_t>(node.id)];
        int j = 0;
        const int n = static_cast<int>(seq.size());
        while (j < n &&
               !(seq[static_cast<size_t>(j)].type == Op::Rows && seq[static_cast<size_t>(j)].name == block.name))
            ++j;
        if (j == n) {
            // No row set names this block (yet): its tags stay, for a later step or as written.
            if (block.special & QVNTemplatePlan::kSpecialEncode)
                ++pieces.back().encode;
            if (block.special & QVNTemplatePlan::kSpecialSelect)
                ++pieces.back().select;
            if (block.special & QVNTemplatePlan::kSpecialCalc)
                ++calc;
            if (block.fixInPlace) {
                FixInPlace(i, seq);
                return;
            }
            if (block.special & QVNTemplatePlan::kSpecialFixLength)
                ++fixLength;
            const size_t record = selects.size();
            if (block.special & QVNTemplatePlan::kSpecialSelect)
                selects.push_back(KnownBlock{out.size(), 0, 0, 0});
            out.Append(src.mid(node.from, node.innerFrom - node.from));
            const qsizetype bodyFrom = out.size();
            Nodes(i + 1, node.end, seq);
            const qsizetype bodyTo = out.size();
            out.Append(src.mid(node.innerTo, node.to - node.innerTo));
            if (block.special & QVNTemplatePlan::kSpecialSelect)
                selects[record] = KnownBlock{selects[record].begin, bodyFrom, bodyTo, out.size()};
            return;
        }

        const TQXRows* rows = seq[static_cast<size_t>(j)].rows;
        const QString count = QString::number(rows->Count());
        const qsizetype bodySize = node.innerTo - node.innerFrom;
        std::vector<Op> inner;
        inner.reserve(seq.size() + 8);
        int counter = 0;
        ++depth;
        for (const TQXRowPtr& row : *rows) {
            ++counter;
            const QString& index = IndexText(counter);
            inner.assign(seq.begin(), seq.begin() + j);
            const size_t framesBefore = framesUsed;
            std::vector<const TQXCols*> outerChain;
            outerChain.swap(chain); // a row's sets start a new chain
            Flatten(row->Cols().get(), inner);
            chain.swap(outerChain);
            const int cut = static_cast<int>(inner.size());
            Op placeholders{Op::Placeholders};
            placeholders.block = &block;
            placeholders.index = &index;
            placeholders.count = &count;
            placeholders.key = &row->Key();
            inner.push_back(placeholders);
            inner.insert(inner.end(), seq.begin() + j + 1, seq.end());

            const int shift = cut - j;
            for (Piece& p : pieces) {
                if (p.cut > j)
                    p.cut += shift;
            }
            pieces.push_back(Piece{cut, false, 0, 0, out.size(), selects.size()});
            Nodes(i + 1, node.end, inner);
            Piece piece = pieces.back();
            pieces.pop_back();
            for (Piece& p : pieces) {
                if (p.cut > j)
                    p.cut -= shift;
            }
            if (stop == Stop::None)
                Finish(piece, block, inner);
            framesUsed = framesBefore;
            if (stop != Stop::None)
                break;
            parser.m_work += bodySize + (out.size() - piece.start);
            if (depth == 1 && counter == 1) {
                // The first copy of an outermost block tells roughly how large the output grows.
                const qint64 guess = qint64(out.size() - piece.start) * rows->Count() / 8 * 9;
                if (guess < parser.m_maxText)
                    out.Reserve(out.size() + guess);
            }
            if (out.size() > parser.m_maxText || parser.m_work > parser.m_maxWork) {
                stop = Stop::Again; // the rewriting decides how far it gets
                break;
            }
            if (depth == 1 && parser.CheckCanceled()) {
                stop = parser.m_canceled ? Stop::Cancel : Stop::Again;
                break;
            }
        }
        --depth;
    }

    /// The text of a row index; row sets of one size share them.
    const QString& IndexText(int n)
    {
        while (static_cast<int>(indexTexts.size()) < n)
            indexTexts.push_back(std::make_unique<QString>(QString::number(indexTexts.size() + 1)));
        return *indexTexts[static_cast<size_t>(n - 1)];
    }

    /// A fixed-length block resolved where it is written. Its parts are its own children, so the
    /// first of each kind is found while writing them, unless a row set expands one of them.
    void FixInPlace(int i, const std::vector<Op>& seq)
    {
        const Node& node = plan.nodes[static_cast<size_t>(i)];
        const qsizetype at = out.size();
        bool plain = true;
        for (int k = i + 1; k < node.end && plain; k = plan.nodes[static_cast<size_t>(k)].end) {
            const Node& child = plan.nodes[static_cast<size_t>(k)];
            if (child.kind != Kind::Block)
                continue;
            const int name = plan.blocks[static_cast<size_t>(child.id)].name;
            for (const Op& op : seq)
                plain = plain && !(op.type == Op::Rows && op.name == name);
        }
        if (!plain) {
            Nodes(i + 1, node.end, seq);
            if (stop == Stop::None) {
                const QString fixed = parser.FixLength(out.View(at));
                out.Truncate(at);
                out.Append(fixed);
            }
            return;
        }
        // The parts in the order DATA, LENGTH, STEP, PADRIGHT: start and end in the output.
        qsizetype part[4][2] = {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
        for (int k = i + 1; k < node.end && stop == Stop::None;) {
            const Node& child = plan.nodes[static_cast<size_t>(k)];
            // Only the parts' bodies are kept; text between them and their tags vanish with the
            // block, but a variable there is still resolved (it decides whether the copy holds one).
            if (child.kind == Kind::Variable) {
                Variable(child, seq);
            } else if (child.kind == Kind::Block) {
                const qsizetype from = out.size();
                Nodes(k + 1, child.end, seq);
                const int kind = plan.blocks[static_cast<size_t>(child.id)].part;
                if (part[kind][0] < 0) {
                    part[kind][0] = from;
                    part[kind][1] = out.size();
                }
            }
            k = child.end;
        }
        if (stop != Stop::None)
            return;
        auto view = [&](int kind) {
            return part[kind][0] < 0 ? QStringView() : out.View(part[kind][0]).left(part[kind][1] - part[kind][0]);
        };
        const QStringView data = QVNParser::TrimSpaces(view(0));
        const QVNTemplatePlan::Block& block = plan.blocks[static_cast<size_t>(node.id)];
        int width;
        if (block.constantWidth) {
            Width& w = widths[static_cast<size_t>(node.id)];
            if (!w.known) {
                w.length = QVNParser::WholeNumber(view(1));
                w.step = QVNParser::WholeNumber(view(2));
                w.known = true;
            }
            width = QVNParser::FixWidth(w.length, w.step, data.size());
        } else {
            width = parser.FixLengthWidth(view(1), view(2), data.size());
        }
        const QStringView pad = view(3);
        const bool padRight = !(pad.size() == 1 && pad.at(0) == u'2');
        bool narrow = width >= 1;
        for (qsizetype c = 0; c < data.size() && narrow; ++c)
            narrow = data.at(c).unicode() < 0x1100; // one column each
        if (!narrow) {
            const QString fixed = parser.FixLengthText(data, width, padRight);
            out.Truncate(at);
            out.Append(fixed);
            return;
        }
        // Cut or padded with spaces, written over the block.
        const qsizetype kept = std::min<qsizetype>(data.size(), width);
        const qsizetype fill = width - kept;
        // An empty data part may be a view without data: nothing of it is moved then.
        const qsizetype dataAt = kept > 0 ? data.utf16() - out.View(0).utf16() : 0;
        out.Resize(std::max(out.size(), at + width));
        char16_t* d = out.Data();
        if (padRight) {
            std::memmove(d + at, d + dataAt, static_cast<size_t>(kept) * sizeof(char16_t));
            std::fill(d + at + kept, d + at + width, u' ');
        } else {
            std::memmove(d + at + fill, d + dataAt, static_cast<size_t>(kept) * sizeof(char16_t));
            std::fill(d + at, d + at + fill, u' ');
        }
        out.Truncate(at + width);
    }

    /// A finished copy in which no variable is left has its encode and selection blocks decided.
    void Finish(Piece& piece, const QVNTemplatePlan::Block& block, const std::vector<Op>& seq)
    {
        if (!piece.late && (piece.encode > 0 || piece.select > 0)) {
            for (size_t p = static_cast<size_t>(piece.cut) + 1; p < seq.size(); ++p) {
                if (seq[p].type == Op::Rows && std::find(block.innerNames.begin(), block.innerNames.end(),
                                                         seq[p].name) != block.innerNames.end()) {
                    stop = Stop::Again; // a later expansion would still work on the decided copy
                    return;
                }
            }
            const size_t known = selects.size() - piece.selectsFrom;
            if (piece.encode == 0 && known == static_cast<size_t>(piece.select)) {
                // The selection blocks are known: decided where they are, without searching for tags.
                for (size_t k = piece.selectsFrom; k < selects.size(); ++k) {
                    KnownBlock& b = selects[k];
                    b = KnownBlock{b.begin - piece.start, b.bodyFrom - piece.start, b.bodyTo - piece.start,
                                   b.end - piece.start};
                }
                const qsizetype size = parser.SelectKnownBlocks(out.Data() + piece.start, out.size() - piece.start,
                                                                selects.data() + piece.selectsFrom, known);
                out.Truncate(piece.start + size);
                piece.select = 0;
            } else {
                QString text = out.View(piece.start).toString();
                text = parser.ConvertEncodeData(text);
                text = parser.ConvertSelectData(text);
                piece.encode = text.contains(u"<ORVE_ENCODE>") ? 1 : 0;
                piece.select = text.contains(u"<ORVE_SELECT>") ? 1 : 0;
                out.Truncate(piece.start);
                out.Append(text);
            }
            selects.resize(piece.selectsFrom); // decided, or no longer where they were
            if (parser.m_canceled || parser.m_overLimit)
                stop = parser.m_canceled ? Stop::Cancel : Stop::Again;
        }
        pieces.back().encode += piece.encode;
        pieces.back().select += piece.select;
    }
};

bool QVNParser::ExpandCompiled(QString& text, const TQXRowsPtr* rows, const TQXColsPtr* cols)
{
    // Leading plain columns whose values hold tags (the sections of a variable file, say) insert
    // template text for the later columns. They are substituted first, step by step, as the
    // rewriting does with any run of plain columns; the walk continues with the columns after them.
    QString prefixed;
    const QString* source = &text;
    int first = 0;
    if (cols && *cols) {
        int last = -1;
        int i = 0;
        for (const TQXColPtr& c : **cols) {
            const TQXValue& v = c->Value();
            if (v.type() == TQXValue::Type::Rows || v.type() == TQXValue::Type::Cols)
                break;
            if (const QString* t = v.textPtr(); t && holdsAngle(*t))
                last = i;
            ++i;
        }
        if (last >= 0) {
            prefixed = text;
            auto end = (*cols)->begin();
            for (int k = 0; k <= last; ++k)
                ++end;
            SubstituteRun(prefixed, (*cols)->begin(), end);
            if (m_overLimit) {
                m_work = 0;
                m_overLimit = false;
                Exceptions.Clear();
                return false;
            }
            source = &prefixed;
            first = last + 1;
        }
    }

    const std::shared_ptr<const QVNTemplatePlan> plan = PlanOf(*source);
    if (!plan) {
        m_work = 0; // the steps start over from the template
        return false;
    }
    if (m_listener) {
        if (rows)
            RaiseProgress(QStringLiteral("Convert RowsMark (") + (*rows ? (*rows)->Tag() : QString()) + u')');
        else
            RaiseProgress(QStringLiteral("Convert ColsMark (") + (*cols ? (*cols)->Tag() : QString()) + u')');
    }

    // One check before the walk (the walk checks again after each row of the outermost blocks); a
    // cancel makes the steps below stop at their own first check.
    if (CheckCanceled())
        return false;

    Compiled run(*this, *plan);
    std::vector<Op> seq;
    if (rows)
        run.PushRows(rows->get(), seq);
    else
        run.Flatten(cols->get(), seq, first);
    run.out.Reserve(std::max(plan->text.size() * 2, m_lastOutput));
    run.pieces.push_back(Piece{kRootCut, false, 0, 0, 0, 0});
    run.Nodes(0, static_cast<int>(plan->nodes.size()), seq);

    if (run.stop != Compiled::Stop::None) {
        // Start over step by step. A cancel stays set, so those steps stop at their first check.
        if (run.stop == Compiled::Stop::Again) {
            m_work = 0;
            m_overLimit = false;
            Exceptions.Clear();
        }
        return false;
    }
    m_work += run.out.size();
    if (run.out.size() > m_maxText || m_work > m_maxWork) {
        m_work = 0;
        return false;
    }

    // The steps after substitution, skipped where the walk knows no block of theirs is left.
    m_lastOutput = run.out.size();
    text = run.out.Take();
    const Piece& root = run.pieces.front();
    if (root.encode > 0)
        text = ConvertEncodeData(text);
    if (!m_overLimit) {
        if (run.calc > 0)
            text = ConvertCalcData(text);
        else if (m_listener)
            RaiseProgress(QStringLiteral("Convert Calc Data"));
    }
    if (!m_overLimit) {
        if (root.select > 0)
            text = ConvertSelectData(text);
        else if (m_listener)
            RaiseProgress(QStringLiteral("Convert SelectData"));
    }
    if (!m_overLimit) {
        if (run.fixLength > 0)
            text = ConvertFixLengthData(text);
        else if (m_listener)
            RaiseProgress(QStringLiteral("Convert FixLength Data"));
    }
    return true;
}
