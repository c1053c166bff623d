#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <vector>

/// The markers of the tag language as the scanning functions and the compiled expansion look for them.
namespace QVNTagText {
inline constexpr QStringView kVarOpen = u"<ORVE>";
inline constexpr QStringView kVarClose = u"</ORVE>";
inline constexpr QStringView kTagOpen = u"<ORVE_";
inline constexpr QStringView kTagClose = u"</ORVE_";
} // namespace QVNTagText

/**
 * @brief A template parsed once into the tree the compiled expansion walks.
 *
 * The text is cut into literal runs, variables ("<ORVE>" key "</ORVE>") and blocks ("<ORVE_" name
 * ">" ... "</ORVE_" name ">", every name alike: repetition, selection, encode, calculated and
 * fixed-length blocks all keep their tags here). Compile() accepts only templates whose tags the
 * ordered rewriting cannot pair differently from this tree, whatever the values inserted (values
 * holding neither '<' nor '>', which the expansion checks as it goes):
 *   - the variable markers strictly alternate and no key holds '<';
 *   - for every name, begin and end tags alternate (a second begin before the end, or a begin
 *     without any end after it, is refused; end tags without a begin are plain text);
 *   - the paired blocks nest properly;
 *   - a '<' that starts no tag can never become the start of one: the text after it rules out
 *     "<ORVE>", "<ORVE_", "</ORVE>" and "</ORVE_" before the next tag, or the next tag is a
 *     variable, whose value the expansion then checks against the same four starts.
 * Anything else gives a null plan, and the caller expands the text with the rewriting rules.
 */
class QVNTemplatePlan
{
public:
    enum class Kind : std::uint8_t { Literal, Variable, Block };

    struct Node
    {
        Kind kind = Kind::Literal;
        qsizetype from = 0, to = 0;           // the node's text (a block: begin tag to end tag inclusive)
        qsizetype innerFrom = 0, innerTo = 0; // a variable's key; a block's body
        int end = 0;                          // the index after the node and its children
        int id = -1;                          // a variable's number; a block's index into blocks
        qsizetype fragmentFrom = -1;          // a variable after an undecided '<': where the '<' is
        int parent = -1;                      // the enclosing block's node
        // A variable named like a row placeholder: the block name and which one (1 index, 2 count, 3 key).
        int placeName = -1;
        int placeKind = 0;
    };

    struct Block
    {
        int name = -1; // index into names
        qsizetype beginTo = 0, endFrom = 0;
        std::vector<int> innerNames; // names of the blocks inside, each once
        std::uint8_t special = 0;    // one of the kSpecial* flags for the blocks the later steps resolve
        // A fixed-length block that may be resolved where it is written: what the steps between
        // substitution and the fixed-length step could see of it is the same before and after.
        bool fixInPlace = false;
        bool constantWidth = false; // in place, with width and step parts of literal text only
        int part = -1;              // a fixed-length part: 0 DATA, 1 LENGTH, 2 STEP, 3 PADRIGHT
    };

    static constexpr std::uint8_t kSpecialEncode = 1;
    static constexpr std::uint8_t kSpecialSelect = 2;
    static constexpr std::uint8_t kSpecialCalc = 4;
    static constexpr std::uint8_t kSpecialFixLength = 8;

    /// The plan of a text (after the tag-line rule), or null when the text is outside the shapes above.
    static std::shared_ptr<const QVNTemplatePlan> Compile(const QString& text);

    /// Whether a text could still grow into one of the engine's tag starts, or already starts with one.
    static bool CouldStartTag(QStringView text);

    int NameIndex(const QString& name) const { return m_nameIndex.value(name, -1); }

    QString text;
    std::vector<Node> nodes;
    std::vector<Block> blocks;
    std::vector<QString> names;
    int variables = 0;

private:
    static void MarkFixInPlace(QVNTemplatePlan& plan, const std::vector<int>& tokenOfNode);
    QHash<QString, int> m_nameIndex;
};
