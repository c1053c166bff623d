#include "QVNTextMerge.h"

#include <git2.h>

#include <memory>

namespace {

// libgit2 keeps global state; it is set up once and left for the process's end.
void ensureInit()
{
    static const int once = git_libgit2_init();
    (void)once;
}

struct PatchFree
{
    void operator()(git_patch* p) const { git_patch_free(p); }
};
using PatchPtr = std::unique_ptr<git_patch, PatchFree>;

// git_buf and git_merge_file_result are values whose contents libgit2 owns; these free them on scope exit.
class Buf
{
public:
    Buf() = default;
    ~Buf() { git_buf_dispose(&m_buf); }
    Buf(const Buf&) = delete;
    Buf& operator=(const Buf&) = delete;
    git_buf* get() { return &m_buf; }
    QByteArray bytes() const { return m_buf.ptr ? QByteArray(m_buf.ptr, qsizetype(m_buf.size)) : QByteArray(); }

private:
    git_buf m_buf = GIT_BUF_INIT;
};

class MergeResult
{
public:
    MergeResult() = default;
    ~MergeResult() { git_merge_file_result_free(&m_result); }
    MergeResult(const MergeResult&) = delete;
    MergeResult& operator=(const MergeResult&) = delete;
    git_merge_file_result* get() { return &m_result; }

private:
    git_merge_file_result m_result{};
};

PatchPtr makePatch(const QByteArray& before, const QByteArray& after, const QByteArray& path)
{
    ensureInit();
    git_diff_options options = GIT_DIFF_OPTIONS_INIT;
    options.context_lines = 3;
    git_patch* patch = nullptr;
    if (git_patch_from_buffers(&patch, before.constData(), size_t(before.size()), path.constData(), after.constData(),
                               size_t(after.size()), path.constData(), &options) != 0)
        return nullptr;
    return PatchPtr(patch);
}

} // namespace

bool QVNTextMerge::IsBinary(const QByteArray& text)
{
    return text.contains('\0');
}

QByteArray QVNTextMerge::UnifiedDiff(const QByteArray& before, const QByteArray& after, const QString& path)
{
    if (before == after)
        return QByteArray();
    const QByteArray name = path.toUtf8();
    if (IsBinary(before) || IsBinary(after))
        return "Binary file " + name + " differs\n";
    PatchPtr patch = makePatch(before, after, name);
    Buf buf;
    if (!patch || git_patch_to_buf(buf.get(), patch.get()) != 0)
        return "Cannot compare " + name + "\n";
    // libgit2 writes a "diff --git" line first; the unified form starts at "---".
    QByteArray text = buf.bytes();
    const qsizetype start = text.indexOf("\n--- ");
    return start >= 0 ? text.mid(start + 1) : text;
}

QList<QVNTextMerge::DiffLine> QVNTextMerge::DiffLines(const QByteArray& before, const QByteArray& after)
{
    QList<DiffLine> lines;
    if (before == after || IsBinary(before) || IsBinary(after))
        return lines;
    PatchPtr patch = makePatch(before, after, QByteArrayLiteral("file"));
    if (!patch)
        return lines;
    const size_t hunks = git_patch_num_hunks(patch.get());
    for (size_t h = 0; h < hunks; ++h) {
        const git_diff_hunk* hunk = nullptr;
        size_t count = 0;
        if (git_patch_get_hunk(&hunk, &count, patch.get(), h) != 0)
            break;
        lines.append({DiffLine::Hunk, QByteArray(hunk->header, qsizetype(hunk->header_len)).trimmed()});
        for (size_t l = 0; l < count; ++l) {
            const git_diff_line* line = nullptr;
            if (git_patch_get_line_in_hunk(&line, patch.get(), h, l) != 0)
                break;
            QByteArray text(line->content, qsizetype(line->content_len));
            while (text.endsWith('\n') || text.endsWith('\r'))
                text.chop(1);
            switch (line->origin) {
            case GIT_DIFF_LINE_ADDITION:
                lines.append({DiffLine::Added, text});
                break;
            case GIT_DIFF_LINE_DELETION:
                lines.append({DiffLine::Removed, text});
                break;
            case GIT_DIFF_LINE_CONTEXT:
                lines.append({DiffLine::Context, text});
                break;
            default: // the "no newline at end of file" notes
                break;
            }
        }
    }
    return lines;
}

bool QVNTextMerge::Merge(const QByteArray& base, const QByteArray& ours, const QByteArray& theirs, QByteArray& merged)
{
    merged.clear();
    if (IsBinary(base) || IsBinary(ours) || IsBinary(theirs))
        return false;
    ensureInit();
    git_merge_file_input inBase = GIT_MERGE_FILE_INPUT_INIT;
    git_merge_file_input inOurs = GIT_MERGE_FILE_INPUT_INIT;
    git_merge_file_input inTheirs = GIT_MERGE_FILE_INPUT_INIT;
    inBase.ptr = base.constData();
    inBase.size = size_t(base.size());
    inOurs.ptr = ours.constData();
    inOurs.size = size_t(ours.size());
    inTheirs.ptr = theirs.constData();
    inTheirs.size = size_t(theirs.size());
    git_merge_file_options options = GIT_MERGE_FILE_OPTIONS_INIT;
    options.ancestor_label = "last build";
    options.our_label = "your file";
    options.their_label = "this build";
    MergeResult result;
    if (git_merge_file(result.get(), &inBase, &inOurs, &inTheirs, &options) != 0)
        return false;
    merged = QByteArray(result.get()->ptr, qsizetype(result.get()->len));
    return result.get()->automergeable != 0;
}
