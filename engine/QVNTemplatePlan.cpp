#include "QVNTemplatePlan.h"

#include <algorithm>

namespace {

enum class TokenKind : std::uint8_t { Variable, Begin, End };

struct Token
{
    TokenKind kind;
    qsizetype from, to;           // the whole tag or variable
    qsizetype innerFrom, innerTo; // the key or the name
    int pair = -1;                // the other tag of a block; -1 for an end tag without a begin
};

using QVNTagText::kTagClose;
using QVNTagText::kTagOpen;
using QVNTagText::kVarClose;
using QVNTagText::kVarOpen;

/// The tags of a text, or false when its variable markers do not alternate or a key holds '<'.
bool tokenize(QStringView t, std::vector<Token>& tokens)
{
    const qsizetype n = t.size();
    qsizetype i = t.indexOf(u'<');
    while (i >= 0) {
        const QStringView rest = t.mid(i);
        if (rest.startsWith(kVarOpen)) {
            const qsizetype close = t.indexOf(u'<', i + kVarOpen.size());
            if (close < 0 || !t.mid(close).startsWith(kVarClose))
                return false;
            tokens.push_back(Token{TokenKind::Variable, i, close + kVarClose.size(), i + kVarOpen.size(), close});
            i = t.indexOf(u'<', close + kVarClose.size());
            continue;
        }
        if (rest.startsWith(kVarClose))
            return false; // a close marker without an open one
        const bool isEnd = rest.startsWith(kTagClose);
        if (isEnd || rest.startsWith(kTagOpen)) {
            const qsizetype nameFrom = i + (isEnd ? kTagClose.size() : kTagOpen.size());
            qsizetype j = nameFrom;
            while (j < n && t.at(j) != u'>' && t.at(j) != u'<')
                ++j;
            if (j < n && t.at(j) == u'>') {
                tokens.push_back(Token{isEnd ? TokenKind::End : TokenKind::Begin, i, j + 1, nameFrom, j});
                i = t.indexOf(u'<', j + 1);
                continue;
            }
        }
        i = t.indexOf(u'<', i + 1); // a '<' that starts no tag
    }
    return true;
}

} // namespace

bool QVNTemplatePlan::CouldStartTag(QStringView text)
{
    for (const QStringView start : {kVarOpen, kVarClose, kTagOpen, kTagClose}) {
        if (start.startsWith(text) || text.startsWith(start))
            return true;
    }
    return false;
}

std::shared_ptr<const QVNTemplatePlan> QVNTemplatePlan::Compile(const QString& source)
{
    auto plan = std::make_shared<QVNTemplatePlan>();
    plan->text = source;
    const QStringView t(plan->text);
    std::vector<Token> tokens;
    if (!tokenize(t, tokens))
        return nullptr;

    // Pair the tags of each name: a begin with the first end after it.
    QHash<QStringView, int> pending;
    for (int k = 0; k < static_cast<int>(tokens.size()); ++k) {
        Token& tok = tokens[static_cast<size_t>(k)];
        if (tok.kind == TokenKind::Variable)
            continue;
        const QStringView name = t.mid(tok.innerFrom, tok.innerTo - tok.innerFrom);
        auto it = pending.find(name);
        if (tok.kind == TokenKind::Begin) {
            if (it != pending.end() && it.value() >= 0)
                return nullptr; // a second begin before the end: the rewriting pairs them differently
            pending.insert(name, k);
        } else if (it != pending.end() && it.value() >= 0) {
            tok.pair = it.value();
            tokens[static_cast<size_t>(it.value())].pair = k;
            it.value() = -1;
        }
    }
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value() >= 0)
            return nullptr; // a begin without an end after it
    }

    // The tree; paired blocks must nest.
    std::vector<int> open;
    std::vector<int> tokenOfNode; // for the check of undecided '<' below: the token each node stands for
    auto addLiteral = [&](qsizetype from, qsizetype to, int token) {
        if (to <= from)
            return;
        Node node;
        node.kind = Kind::Literal;
        node.from = from;
        node.to = to;
        node.end = static_cast<int>(plan->nodes.size()) + 1;
        node.parent = open.empty() ? -1 : open.back();
        plan->nodes.push_back(node);
        tokenOfNode.push_back(token);
    };
    qsizetype last = 0;
    for (int k = 0; k < static_cast<int>(tokens.size()); ++k) {
        const Token& tok = tokens[static_cast<size_t>(k)];
        addLiteral(last, tok.from, -1);
        last = tok.to;
        if (tok.kind == TokenKind::Variable) {
            Node node;
            node.kind = Kind::Variable;
            node.from = tok.from;
            node.to = tok.to;
            node.innerFrom = tok.innerFrom;
            node.innerTo = tok.innerTo;
            node.end = static_cast<int>(plan->nodes.size()) + 1;
            node.id = plan->variables++;
            node.parent = open.empty() ? -1 : open.back();
            plan->nodes.push_back(node);
            tokenOfNode.push_back(k);
        } else if (tok.kind == TokenKind::Begin) {
            const QString name = t.mid(tok.innerFrom, tok.innerTo - tok.innerFrom).toString();
            int nameId = plan->m_nameIndex.value(name, -1);
            if (nameId < 0) {
                nameId = static_cast<int>(plan->names.size());
                plan->names.push_back(name);
                plan->m_nameIndex.insert(name, nameId);
            }
            Block block;
            block.name = nameId;
            if (name == u"ENCODE")
                block.special = kSpecialEncode;
            else if (name == u"SELECT")
                block.special = kSpecialSelect;
            else if (name == u"CALC")
                block.special = kSpecialCalc;
            else if (name == u"FIXLENGTH")
                block.special = kSpecialFixLength;
            Node node;
            node.kind = Kind::Block;
            node.from = tok.from;
            node.innerFrom = tok.to;
            node.id = static_cast<int>(plan->blocks.size());
            node.parent = open.empty() ? -1 : open.back();
            plan->blocks.push_back(std::move(block));
            open.push_back(static_cast<int>(plan->nodes.size()));
            plan->nodes.push_back(node);
            tokenOfNode.push_back(k);
        } else if (tok.pair < 0) {
            addLiteral(tok.from, tok.to, k); // an end tag without a begin stays as written
        } else {
            if (open.empty() ||
                plan->nodes[static_cast<size_t>(open.back())].from != tokens[static_cast<size_t>(tok.pair)].from)
                return nullptr; // blocks that overlap without nesting
            Node& node = plan->nodes[static_cast<size_t>(open.back())];
            node.innerTo = tok.from;
            node.to = tok.to;
            node.end = static_cast<int>(plan->nodes.size());
            open.pop_back();
        }
    }
    addLiteral(last, t.size(), -1);

    // A '<' that starts no tag, followed by text that could still become one of the engine's tags,
    // is allowed only right before a variable (whose value decides it).
    for (size_t i = 0; i < plan->nodes.size(); ++i) {
        const Node& node = plan->nodes[i];
        if (node.kind != Kind::Literal || tokenOfNode[i] >= 0)
            continue;
        const QStringView run = t.mid(node.from, node.to - node.from);
        const qsizetype lt = run.lastIndexOf(u'<');
        if (lt < 0 || !CouldStartTag(run.mid(lt).left(kTagClose.size())))
            continue;
        if (node.to == t.size())
            continue; // nothing follows
        if (i + 1 < plan->nodes.size() && plan->nodes[i + 1].kind == Kind::Variable &&
            plan->nodes[i + 1].from == node.to) {
            plan->nodes[i + 1].fragmentFrom = node.from + lt;
            continue;
        }
        return nullptr;
    }

    // The names inside each block.
    for (size_t i = 0; i < plan->nodes.size(); ++i) {
        const Node& node = plan->nodes[i];
        if (node.kind != Kind::Block)
            continue;
        std::vector<int>& inner = plan->blocks[static_cast<size_t>(node.id)].innerNames;
        for (int j = static_cast<int>(i) + 1; j < node.end; ++j) {
            const Node& child = plan->nodes[static_cast<size_t>(j)];
            if (child.kind != Kind::Block)
                continue;
            const int name = plan->blocks[static_cast<size_t>(child.id)].name;
            if (std::find(inner.begin(), inner.end(), name) == inner.end())
                inner.push_back(name);
        }
    }
    // Variables that may be row placeholders, and the parts of fixed-length blocks.
    for (Node& node : plan->nodes) {
        if (node.kind == Kind::Block) {
            Block& block = plan->blocks[static_cast<size_t>(node.id)];
            const QString& name = plan->names[static_cast<size_t>(block.name)];
            block.part = name == u"DATA"       ? 0
                         : name == u"LENGTH"   ? 1
                         : name == u"STEP"     ? 2
                         : name == u"PADRIGHT" ? 3
                                               : -1;
            continue;
        }
        if (node.kind != Kind::Variable)
            continue;
        QStringView key = t.mid(node.innerFrom, node.innerTo - node.innerFrom);
        if (!key.startsWith(u"ORVE_"))
            continue;
        key = key.mid(5);
        for (const auto& [suffix, kind] :
             {std::pair<QStringView, int>{u"_ROW_INDEX", 1}, {u"_ROW_COUNT", 2}, {u"_ROW_KEY", 3}}) {
            if (key.endsWith(suffix)) {
                node.placeName = plan->NameIndex(key.chopped(suffix.size()).toString());
                node.placeKind = kind;
                break;
            }
        }
    }
    MarkFixInPlace(*plan, tokenOfNode);
    return plan;
}

/**
 * A fixed-length block is resolved in place when nothing between substitution and the fixed-length
 * step can tell the difference:
 *   - no encode, calculated or case-condition block encloses it (they read its text);
 *   - it holds only its own parts, literal text without '<' and variables (values hold no '<');
 *   - on both sides, before any variable or other tag, its siblings show a character other than a
 *     space, so a selection block's blank-line rule, which looks through spaces only, never
 *     reaches it (neighbouring fixed-length blocks resolved in place are looked through as well).
 */
void QVNTemplatePlan::MarkFixInPlace(QVNTemplatePlan& plan, const std::vector<int>& tokenOfNode)
{
    const QStringView t(plan.text);
    auto nameOf = [&](const Node& node) -> const QString& {
        return plan.names[static_cast<size_t>(plan.blocks[static_cast<size_t>(node.id)].name)];
    };
    auto isFix = [&](const Node& node) {
        return node.kind == Kind::Block && plan.blocks[static_cast<size_t>(node.id)].special == kSpecialFixLength;
    };
    auto hasNonSpace = [&](const Node& node) {
        for (qsizetype k = node.from; k < node.to; ++k) {
            if (t.at(k) != u' ')
                return true;
        }
        return false;
    };
    std::vector<char> candidate(plan.nodes.size(), 0);
    for (size_t i = 0; i < plan.nodes.size(); ++i) {
        const Node& node = plan.nodes[i];
        if (!isFix(node))
            continue;
        bool ok = true;
        for (int a = node.parent; a >= 0 && ok; a = plan.nodes[static_cast<size_t>(a)].parent) {
            const QString& name = nameOf(plan.nodes[static_cast<size_t>(a)]);
            ok = name != u"ENCODE" && name != u"CALC" && name != u"CASE";
        }
        for (int j = static_cast<int>(i) + 1; j < node.end && ok; ++j) {
            const Node& child = plan.nodes[static_cast<size_t>(j)];
            if (child.kind == Kind::Literal)
                ok =
                    tokenOfNode[static_cast<size_t>(j)] < 0 && !t.mid(child.from, child.to - child.from).contains(u'<');
            else if (child.kind == Kind::Block) {
                const QString& name = nameOf(child);
                ok = child.parent == static_cast<int>(i) &&
                     (name == u"DATA" || name == u"LENGTH" || name == u"STEP" || name == u"PADRIGHT");
            }
        }
        candidate[i] = ok ? 1 : 0;
    }
    // The siblings of a node in order: the nodes with the same parent.
    auto sibling = [&](int i, int direction) -> int {
        const int parent = plan.nodes[static_cast<size_t>(i)].parent;
        if (direction > 0) {
            const int next = plan.nodes[static_cast<size_t>(i)].end;
            return next < static_cast<int>(plan.nodes.size()) && plan.nodes[static_cast<size_t>(next)].parent == parent
                       ? next
                       : -1;
        }
        for (int k = i - 1; k >= 0; --k) {
            if (plan.nodes[static_cast<size_t>(k)].parent == parent)
                return k;
            if (k == parent)
                return -1;
        }
        return -1;
    };
    auto shielded = [&](int i, int direction) {
        for (int k = sibling(i, direction); k >= 0; k = sibling(k, direction)) {
            const Node& node = plan.nodes[static_cast<size_t>(k)];
            if (node.kind == Kind::Literal && tokenOfNode[static_cast<size_t>(k)] < 0) {
                if (hasNonSpace(node))
                    return true;
                continue;
            }
            if (candidate[static_cast<size_t>(k)])
                continue;
            return false;
        }
        return false;
    };
    for (size_t i = 0; i < plan.nodes.size(); ++i) {
        if (!candidate[i] || !shielded(static_cast<int>(i), -1) || !shielded(static_cast<int>(i), 1))
            continue;
        Block& block = plan.blocks[static_cast<size_t>(plan.nodes[i].id)];
        block.fixInPlace = true;
        block.constantWidth = true;
        const Node& node = plan.nodes[i];
        for (int k = static_cast<int>(i) + 1; k < node.end; k = plan.nodes[static_cast<size_t>(k)].end) {
            const Node& child = plan.nodes[static_cast<size_t>(k)];
            if (child.kind != Kind::Block)
                continue;
            const QString& name = nameOf(child);
            if (name != u"LENGTH" && name != u"STEP")
                continue;
            for (int j = k + 1; j < child.end; ++j) {
                if (plan.nodes[static_cast<size_t>(j)].kind != Kind::Literal)
                    block.constantWidth = false;
            }
        }
    }
}
