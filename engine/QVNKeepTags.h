#pragma once

#include <QString>

/**
 * @brief The tag pair that marks a region of an output whose text belongs to the user.
 *
 * A template writes `<ORVE_KEEPBEGIN>NAME</ORVE_KEEPBEGIN>` and `<ORVE_KEEPEND>NAME</ORVE_KEEPEND>`
 * inside comments of the output's own language; the engine turns them, as its very last step, into
 * the plain markers "quorvin-keep-begin: NAME" and "quorvin-keep-end: NAME", which a later build
 * finds again in the user's file. The lines between the two marker lines are the region's text.
 * A name is trimmed and its inner runs of white space become "_", so it is one word. A tag that is
 * not closed on its own line stays as written. Texts without "<ORVE_KEEP" are never touched.
 */
namespace QVNKeepTags {

inline constexpr char16_t kBeginMarker[] = u"quorvin-keep-begin: ";
inline constexpr char16_t kEndMarker[] = u"quorvin-keep-end: ";

/// The text with every complete region tag replaced by its marker.
QString Apply(const QString& text);

} // namespace QVNKeepTags
