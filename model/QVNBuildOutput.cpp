#include "QVNBuildOutput.h"

#include "QVNFunction.h"
#include "QVNKeepTags.h"
#include "QVNTextMerge.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

namespace {

const QString kManifest = QStringLiteral("manifest.json");
const QByteArray kPackMagic = QByteArrayLiteral("QUORVIN-BASE 1\n");

QString recordFolder(const QString& out)
{
    return out + QVNBuildOutput::RecordFolderName() + QLatin1Char('/');
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool readBytes(const QString& path, QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    bytes = f.readAll();
    return f.error() == QFileDevice::NoError;
}

// Writes `bytes` to a new file and syncs it, so a rename over an old file never exposes an empty one.
bool writeSynced(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (f.write(bytes) != bytes.size() || !f.flush())
        return false;
    return ::fsync(f.handle()) == 0;
}

// ---- protected regions -------------------------------------------------------------------------

struct Region
{
    QByteArray name;
    qsizetype bodyStart = 0; ///< first byte after the begin marker's line
    qsizetype bodyEnd = 0;   ///< first byte of the end marker's line
};

qsizetype lineStart(const QByteArray& text, qsizetype at)
{
    const qsizetype nl = text.lastIndexOf('\n', at);
    return nl < 0 ? 0 : nl + 1;
}

qsizetype nextLine(const QByteArray& text, qsizetype at)
{
    const qsizetype nl = text.indexOf('\n', at);
    return nl < 0 ? text.size() : nl + 1;
}

QByteArray markerName(const QByteArray& text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text.at(end))))
        ++end;
    return text.mid(from, end - from);
}

// The regions of a text: each begin marker paired with the next end marker of its name; a name's
// first region wins, an unclosed begin marker marks nothing.
QList<Region> regionsOf(const QByteArray& text)
{
    static const QByteArray begin = QString::fromUtf16(QVNKeepTags::kBeginMarker).toUtf8();
    static const QByteArray end = QString::fromUtf16(QVNKeepTags::kEndMarker).toUtf8();
    QList<Region> regions;
    qsizetype at = 0;
    while ((at = text.indexOf(begin, at)) >= 0) {
        Region r;
        r.name = markerName(text, at + begin.size());
        r.bodyStart = nextLine(text, at);
        const QByteArray close = end + r.name;
        qsizetype e = text.indexOf(close, r.bodyStart);
        while (e >= 0) {
            const qsizetype after = e + close.size();
            if (after >= text.size() || std::isspace(static_cast<unsigned char>(text.at(after))))
                break;
            e = text.indexOf(close, after);
        }
        if (r.name.isEmpty() || e < 0) {
            at += begin.size();
            continue;
        }
        r.bodyEnd = lineStart(text, e);
        if (r.bodyEnd < r.bodyStart) // both markers on one line: an empty region
            r.bodyEnd = r.bodyStart = e;
        const bool known =
            std::any_of(regions.cbegin(), regions.cend(), [&](const Region& o) { return o.name == r.name; });
        if (!known)
            regions.append(r);
        at = nextLine(text, e);
    }
    return regions;
}

QHash<QByteArray, QByteArray> regionBodies(const QByteArray& text)
{
    QHash<QByteArray, QByteArray> bodies;
    for (const Region& r : regionsOf(text))
        bodies.insert(r.name, text.mid(r.bodyStart, r.bodyEnd - r.bodyStart));
    return bodies;
}

// `text` with each region's body replaced by the body of the same name in `bodies`, when there is one.
QByteArray withBodies(const QByteArray& text, const QHash<QByteArray, QByteArray>& bodies)
{
    QByteArray result;
    qsizetype from = 0;
    for (const Region& r : regionsOf(text)) {
        const auto it = bodies.constFind(r.name);
        if (it == bodies.cend())
            continue;
        result.append(text.mid(from, r.bodyStart - from));
        result.append(*it);
        from = r.bodyEnd;
    }
    if (from == 0)
        return text;
    result.append(text.mid(from));
    return result;
}

// The hash a file is recorded by: its text with every region's body left out, so an edit inside a
// region is never an edit of the generated text.
QString hashOf(const QByteArray& text)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qsizetype from = 0;
    for (const Region& r : regionsOf(text)) {
        hash.addData(QByteArrayView(text).sliced(from, r.bodyStart - from));
        from = r.bodyEnd;
    }
    hash.addData(QByteArrayView(text).sliced(from));
    return QString::fromLatin1(hash.result().toHex());
}

bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

QList<QVNBuildOutput::Action> QVNBuildOutput::File::Choices() const
{
    switch (kind) {
    case Kind::New:
    case Kind::Unchanged:
        return {Action::Write, Action::Skip};
    case Kind::Removed:
        return {Action::Skip, Action::Delete};
    case Kind::Changed:
        return {Action::Write, Action::Skip, Action::WriteNew};
    default:
        return merged.isEmpty() ? QList<Action>{Action::WriteNew, Action::Skip, Action::Write}
                                : QList<Action>{Action::Merge, Action::WriteNew, Action::Skip, Action::Write};
    }
}

QVNBuildOutput::~QVNBuildOutput()
{
    Discard();
}

QString QVNBuildOutput::KindName(Kind kind)
{
    switch (kind) {
    case Kind::New:
        return QStringLiteral("new");
    case Kind::Unchanged:
        return QStringLiteral("unchanged");
    case Kind::Changed:
        return QStringLiteral("changed");
    case Kind::UserEdited:
        return QStringLiteral("edited by you");
    case Kind::Conflict:
        return QStringLiteral("conflict");
    case Kind::Removed:
        return QStringLiteral("no longer produced");
    }
    return QString();
}

QString QVNBuildOutput::ActionName(Action action)
{
    switch (action) {
    case Action::Write:
        return QStringLiteral("write");
    case Action::Skip:
        return QStringLiteral("keep");
    case Action::WriteNew:
        return QStringLiteral("write .new");
    case Action::Merge:
        return QStringLiteral("merge");
    case Action::Delete:
        return QStringLiteral("delete");
    }
    return QString();
}

bool QVNBuildOutput::ParsePolicy(const QString& text, ConflictPolicy& policy)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("merge"))
        policy = ConflictPolicy::Merge;
    else if (t == QLatin1String("new"))
        policy = ConflictPolicy::New;
    else if (t == QLatin1String("skip"))
        policy = ConflictPolicy::Skip;
    else if (t == QLatin1String("overwrite"))
        policy = ConflictPolicy::Overwrite;
    else
        return false;
    return true;
}

bool QVNBuildOutput::Begin(const QString& outFolder)
{
    Exceptions.Clear();
    Discard();
    m_out = QDir::cleanPath(QDir(outFolder).absolutePath());
    const QString parent = QFileInfo(m_out).absolutePath();
    if (QFileInfo(m_out).fileName().isEmpty()) {
        Exceptions.Add(QStringLiteral("the root folder cannot be an output folder"));
        return false;
    }
    m_out += QLatin1Char('/');
    // The output folder is made now, as a build always did, so a folder that cannot be made fails
    // before anything is built; it is removed again when nothing gets published into it.
    QVNFunction fn;
    m_madeOut = !QFileInfo(m_out).isDir();
    if (!fn.CreateFolder(m_out)) {
        Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }
    // Staging folders of builds that were killed are of no use to anyone.
    const QString prefix = QStringLiteral(".quorvin-stage-");
    const QStringList stale = QDir(parent).entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QString& name : stale) {
        const qint64 pid = name.mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong();
        if (pid != QCoreApplication::applicationPid() && !processRuns(pid))
            fn.DeleteFolder(parent + QLatin1Char('/') + name);
    }
    m_stage = parent + QLatin1Char('/') + prefix + QString::number(QCoreApplication::applicationPid()) +
              QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate(), 16) + QLatin1Char('/');
    if (!fn.CreateFolder(m_stage + QStringLiteral("files/")) || !fn.CreateFolder(m_stage + QStringLiteral("old/"))) {
        Exceptions.AddExceptions(fn.Exceptions);
        Discard();
        return false;
    }
    m_files = m_stage + QStringLiteral("files/");
    return true;
}

void QVNBuildOutput::Discard()
{
    if (!m_stage.isEmpty()) {
        QVNFunction fn;
        fn.DeleteFolder(m_stage);
    }
    if (m_madeOut && !m_out.isEmpty())
        QDir().rmdir(m_out); // only when still empty
    m_madeOut = false;
    m_stage.clear();
    m_files.clear();
}

namespace {

// One manifest and the pack it names; false when the manifest is missing or damaged.
bool readManifest(const QString& folder, const QString& file, QHash<QString, QString>& hashes,
                  QHash<QString, QByteArray>& bases, QString* packName = nullptr)
{
    QByteArray bytes;
    if (!readBytes(folder + file, bytes))
        return false;
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(bytes, &error).object();
    if (error.error != QJsonParseError::NoError || root.value(QStringLiteral("format")).toInt() != 1)
        return false;
    for (const QJsonValue& v : root.value(QStringLiteral("files")).toArray()) {
        const QJsonObject o = v.toObject();
        hashes.insert(o.value(QStringLiteral("path")).toString(), o.value(QStringLiteral("sha256")).toString());
    }
    const QString pack = root.value(QStringLiteral("base")).toString();
    if (packName)
        *packName = pack;
    QByteArray data;
    if (pack.isEmpty() || pack.contains(QLatin1Char('/')) || !readBytes(folder + pack, data) ||
        !data.startsWith(kPackMagic))
        return true;
    // Records of "path\n" "size\n" then the bytes.
    qsizetype at = kPackMagic.size();
    while (at < data.size()) {
        const qsizetype nl1 = data.indexOf('\n', at);
        const qsizetype nl2 = nl1 < 0 ? -1 : data.indexOf('\n', nl1 + 1);
        if (nl2 < 0)
            break;
        const QString path = QString::fromUtf8(data.mid(at, nl1 - at));
        bool ok = false;
        const qsizetype size = data.mid(nl1 + 1, nl2 - nl1 - 1).toLongLong(&ok);
        if (!ok || size < 0 || nl2 + 1 + size > data.size())
            break;
        bases.insert(path, data.mid(nl2 + 1, size));
        at = nl2 + 1 + size;
    }
    return true;
}

} // namespace

bool QVNBuildOutput::ReadRecord(Record& record)
{
    record = Record();
    const QString folder = recordFolder(m_out);
    if (QFileInfo::exists(folder + kManifest) && !QFileInfo(folder + kManifest).isReadable()) {
        Exceptions.Add(QStringLiteral("cannot read \"%1\"").arg(folder + kManifest));
        return false;
    }
    // A damaged record is no record: every existing file then counts as possibly edited.
    record.present = readManifest(folder, kManifest, record.hashes, record.bases, &record.pack);
    // The record a killed build had written aside: the files it had already moved are its output,
    // not the user's edits.
    for (const QString& name :
         QDir(folder).entryList({QStringLiteral(".manifest-*.tmp")}, QDir::Files | QDir::Hidden)) {
        const qint64 pid = name.mid(10).section(QLatin1Char('.'), 0, 0).toLongLong();
        if (pid == QCoreApplication::applicationPid() || processRuns(pid))
            continue;
        QHash<QString, QString> hashes;
        QHash<QString, QByteArray> bases;
        readManifest(folder, name, hashes, bases);
        for (auto h = hashes.cbegin(); h != hashes.cend(); ++h)
            record.pendingHashes[h.key()].insert(h.value());
    }
    return true;
}

bool QVNBuildOutput::Classify(ConflictPolicy policy)
{
    Exceptions.Clear();
    m_list.clear();
    if (m_files.isEmpty()) {
        Exceptions.Add(QStringLiteral("nothing was staged"));
        return false;
    }
    if (!ReadRecord(m_record))
        return false;

    // What the build produced.
    QStringList produced;
    const QDir stage(m_files);
    QDirIterator it(m_files, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        produced.append(stage.relativeFilePath(it.next()));
    std::sort(produced.begin(), produced.end());
    const QSet<QString> producedSet(produced.cbegin(), produced.cend());

    // Files of the last build this one no longer produces; their regions may move to a new file
    // (a renamed table gives its file a new name).
    QHash<QByteArray, QList<QByteArray>> orphanBodies;
    QStringList removed;
    for (auto h = m_record.hashes.cbegin(); h != m_record.hashes.cend(); ++h) {
        if (producedSet.contains(h.key()) || !QFileInfo(m_out + h.key()).isFile())
            continue;
        removed.append(h.key());
        QByteArray text;
        if (readBytes(m_out + h.key(), text)) {
            const auto bodies = regionBodies(text);
            for (auto b = bodies.cbegin(); b != bodies.cend(); ++b)
                orphanBodies[b.key()].append(b.value());
        }
    }
    std::sort(removed.begin(), removed.end());

    for (const QString& path : produced) {
        File f;
        f.path = path;
        if (!readBytes(m_files + path, f.generated)) {
            Exceptions.Add(QStringLiteral("cannot read the staged file \"%1\"").arg(path));
            return false;
        }
        const QString target = m_out + path;
        const bool exists = QFileInfo(target).isFile();
        if (exists && !readBytes(target, f.current)) {
            Exceptions.Add(QStringLiteral("cannot read \"%1\"").arg(target));
            return false;
        }
        // The user's regions go into the new text; a region the new text no longer has is a conflict.
        const QList<Region> regions = regionsOf(f.generated);
        if (!regions.isEmpty() || exists) {
            QHash<QByteArray, QByteArray> bodies = exists ? regionBodies(f.current) : QHash<QByteArray, QByteArray>();
            QStringList vanished;
            for (auto b = bodies.cbegin(); b != bodies.cend(); ++b) {
                const bool kept =
                    std::any_of(regions.cbegin(), regions.cend(), [&](const Region& r) { return r.name == b.key(); });
                if (!kept)
                    vanished.append(QString::fromUtf8(b.key()));
            }
            for (const Region& r : regions) {
                const auto orphan = orphanBodies.constFind(r.name);
                if (!bodies.contains(r.name) && orphan != orphanBodies.cend() && orphan->size() == 1) {
                    bodies.insert(r.name, orphan->first());
                    f.notes.append(QStringLiteral("region \"%1\" taken from a file no longer produced")
                                       .arg(QString::fromUtf8(r.name)));
                }
            }
            const QByteArray carried = withBodies(f.generated, bodies);
            if (carried != f.generated) {
                f.generated = carried;
                if (!writeSynced(m_files + path, f.generated)) {
                    Exceptions.Add(QStringLiteral("cannot write the staged file \"%1\"").arg(path));
                    return false;
                }
            }
            for (const QString& name : vanished)
                f.notes.append(
                    QStringLiteral("region \"%1\" is no longer produced; your text stays in the file").arg(name));
            if (!vanished.isEmpty())
                f.kind = Kind::Conflict;
        }

        // The hash the last build recorded; a file only a killed build wrote has that build's.
        const QSet<QString> pending = m_record.pendingHashes.value(path);
        const auto last = m_record.hashes.constFind(path);
        const std::optional<QString> recorded = last != m_record.hashes.cend() ? std::optional<QString>(*last)
                                                : pending.isEmpty()            ? std::nullopt
                                                                    : std::optional<QString>(*pending.cbegin());
        if (!exists) {
            f.kind = Kind::New;
        } else if (f.kind == Kind::Conflict) {
            // a vanished region: decided above
        } else if (f.current == f.generated) {
            f.kind = Kind::Unchanged;
        } else if (!recorded) {
            f.kind = Kind::Conflict;
            f.notes.append(QStringLiteral("the file was not written by the last build"));
        } else {
            const QString currentHash = hashOf(f.current);
            const bool fromKilledBuild = pending.contains(currentHash);
            const bool userEdited = currentHash != *recorded && !fromKilledBuild;
            const bool buildChanged = hashOf(f.generated) != *recorded;
            f.kind = !userEdited ? Kind::Changed : buildChanged ? Kind::Conflict : Kind::UserEdited;
        }
        if (f.kind == Kind::Conflict) {
            const auto base = m_record.bases.constFind(path);
            if (base != m_record.bases.cend())
                f.mergeClean = QVNTextMerge::Merge(*base, f.current, f.generated, f.merged);
            else
                f.notes.append(QStringLiteral("the text of the last build is not on record, so it cannot be merged"));
            if (!f.mergeClean && !f.merged.isEmpty())
                f.notes.append(QStringLiteral("your changes and this build's overlap"));
        }
        m_list.append(f);
    }
    for (const QString& path : removed) {
        File f;
        f.path = path;
        f.kind = Kind::Removed;
        readBytes(m_out + path, f.current);
        m_list.append(f);
    }
    std::sort(m_list.begin(), m_list.end(), [](const File& a, const File& b) { return a.path < b.path; });
    ApplyPolicy(policy);
    return true;
}

void QVNBuildOutput::ApplyPolicy(ConflictPolicy policy)
{
    for (File& f : m_list) {
        switch (f.kind) {
        case Kind::New:
        case Kind::Changed:
            f.action = Action::Write;
            break;
        case Kind::Unchanged:
        case Kind::UserEdited:
        case Kind::Removed:
            f.action = Action::Skip;
            break;
        case Kind::Conflict:
            switch (policy) {
            case ConflictPolicy::Merge:
                f.action = f.mergeClean ? Action::Merge : Action::WriteNew;
                break;
            case ConflictPolicy::New:
                f.action = Action::WriteNew;
                break;
            case ConflictPolicy::Skip:
                f.action = Action::Skip;
                break;
            case ConflictPolicy::Overwrite:
                f.action = Action::Write;
                break;
            }
            break;
        }
    }
}

bool QVNBuildOutput::WouldChange() const
{
    return std::any_of(m_list.cbegin(), m_list.cend(), [this](const File& f) {
        if (f.action == Action::WriteNew) {
            QByteArray existing; // an unresolved conflict gives the same FILE.new build after build
            return !readBytes(m_out + f.path + QStringLiteral(".new"), existing) || existing != f.generated;
        }
        return f.action != Action::Skip && !(f.kind == Kind::Unchanged && f.action == Action::Write);
    });
}

// The record: manifest.json (documented in docs/build-manifest.md) and the pack of the generated
// texts it names. The pack gets a new name every build and the manifest is renamed into place
// last, so a kill leaves the old record or the new one, each with its own pack.
bool QVNBuildOutput::WriteRecord(const QString& model, const QString& version, QString& manifestTemp, QString& packName)
{
    const QString folder = recordFolder(m_out);
    if (!QDir().mkpath(folder)) {
        Exceptions.Add(QStringLiteral("cannot create the folder \"%1\"").arg(folder));
        return false;
    }
    QJsonArray files;
    QByteArray pack = kPackMagic;
    const auto add = [&](const QString& path, const QString& hash, const QByteArray& base) {
        files.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("sha256"), hash}});
        pack += path.toUtf8() + '\n' + QByteArray::number(base.size()) + '\n' + base;
    };
    for (const File& f : m_list) {
        const bool taken = f.action == Action::Write || f.action == Action::Merge ||
                           (f.kind == Kind::Unchanged && f.action == Action::Skip);
        if (f.kind != Kind::Removed && (taken || !m_record.hashes.contains(f.path))) {
            add(f.path, hashOf(f.generated), f.generated);
        } else if (f.action != Action::Delete && m_record.hashes.contains(f.path)) {
            // Kept as it was: the next build compares with the same record, so an unresolved
            // conflict stays one.
            add(f.path, m_record.hashes.value(f.path), m_record.bases.value(f.path));
        }
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    packName = QStringLiteral("base-%1-%2.pack")
                   .arg(now.toString(QStringLiteral("yyyyMMddhhmmsszzz")))
                   .arg(QCoreApplication::applicationPid());
    const QJsonObject root{{QStringLiteral("format"), 1},        {QStringLiteral("model"), model},
                           {QStringLiteral("version"), version}, {QStringLiteral("time"), now.toString(Qt::ISODate)},
                           {QStringLiteral("base"), packName},   {QStringLiteral("files"), files}};
    manifestTemp = folder + QStringLiteral(".manifest-%1.tmp").arg(QCoreApplication::applicationPid());
    if (!writeSynced(folder + packName, pack) ||
        !writeSynced(manifestTemp, QJsonDocument(root).toJson(QJsonDocument::Indented))) {
        Exceptions.Add(QStringLiteral("cannot write the build record in \"%1\": %2").arg(folder, systemError()));
        QFile::remove(folder + packName);
        QFile::remove(manifestTemp);
        return false;
    }
    return true;
}

void QVNBuildOutput::Rollback()
{
    for (auto s = m_journal.crbegin(); s != m_journal.crend(); ++s) {
        const QByteArray target = QFile::encodeName(s->target);
        if (!s->backup.isEmpty())
            ::rename(QFile::encodeName(s->backup).constData(), target.constData());
        else if (s->created)
            ::unlink(target.constData());
    }
    for (auto d = m_createdFolders.crbegin(); d != m_createdFolders.crend(); ++d)
        QDir().rmdir(*d);
    m_journal.clear();
    m_createdFolders.clear();
}

bool QVNBuildOutput::Publish(const QString& model, const QString& version, const QVNProgressListener& progress)
{
    Exceptions.Clear();
    m_canceled = false;
    m_journal.clear();
    m_createdFolders.clear();
    if (m_stage.isEmpty()) {
        Exceptions.Add(QStringLiteral("nothing was staged"));
        return false;
    }
    // The record is written aside before any file moves.
    const QString canonicalOut = QFileInfo(m_out).canonicalFilePath() + QLatin1Char('/');
    const QString folder = recordFolder(m_out);
    const bool recordFolderExisted = QFileInfo(folder).isDir();
    QString manifestTemp, packName;
    if (!WriteRecord(model, version, manifestTemp, packName)) {
        if (!recordFolderExisted)
            QDir().rmdir(folder);
        Rollback();
        Discard();
        return false;
    }
    int backups = 0;
    bool ok = true;
    const auto fail = [&](const QString& line) {
        Exceptions.Add(line);
        ok = false;
    };
    for (const File& f : m_list) {
        if (progress) {
            progress(QString(), m_canceled);
            if (m_canceled)
                break;
        }
        if (f.action == Action::Skip || (f.kind == Kind::Unchanged && f.action == Action::Write))
            continue;
        const QString target = m_out + f.path + (f.action == Action::WriteNew ? QStringLiteral(".new") : QString());
        // No folder on the way may lead out of the output folder through a link.
        QString probe = QFileInfo(target).absolutePath();
        QStringList missing;
        while (!QFileInfo::exists(probe) && !QFileInfo(probe).isSymLink() && probe.size() > m_out.size()) {
            missing.prepend(probe);
            probe = QFileInfo(probe).absolutePath();
        }
        const QString resolved = QFileInfo(probe).canonicalFilePath() + QLatin1Char('/');
        if (resolved.size() <= 1 || !resolved.startsWith(canonicalOut)) {
            fail(QStringLiteral("\"%1\" would be written outside the output folder through a link").arg(f.path));
            break;
        }
        for (const QString& dir : missing) {
            if (!QDir().mkdir(dir)) {
                fail(QStringLiteral("cannot create the folder \"%1\": %2").arg(dir, systemError()));
                break;
            }
            m_createdFolders.append(dir);
        }
        if (!ok)
            break;
        const QByteArray targetName = QFile::encodeName(target);
        Step step;
        step.target = target;
        const bool present = QFileInfo::exists(target) || QFileInfo(target).isSymLink();
        if (present) {
            // A second name for the old file lets a cancel put it back with its bytes and times.
            step.backup = m_stage + QStringLiteral("old/") + QString::number(++backups);
            if (::link(targetName.constData(), QFile::encodeName(step.backup).constData()) != 0)
                step.backup.clear();
        }
        if (f.action == Action::Delete) {
            if (step.backup.isEmpty() || ::unlink(targetName.constData()) != 0) {
                fail(QStringLiteral("cannot delete \"%1\": %2").arg(f.path, systemError()));
                break;
            }
            m_journal.append(step);
            continue;
        }
        const QString source = m_files + f.path;
        if (f.action == Action::Merge && !writeSynced(source, f.merged)) {
            fail(QStringLiteral("cannot write the merged text of \"%1\"").arg(f.path));
            break;
        }
        if (::rename(QFile::encodeName(source).constData(), targetName.constData()) != 0) {
            fail(QStringLiteral("cannot write \"%1\": %2").arg(f.path, systemError()));
            break;
        }
        step.created = !present;
        m_journal.append(step);
    }
    if (ok && !m_canceled &&
        ::rename(QFile::encodeName(manifestTemp).constData(), QFile::encodeName(folder + kManifest).constData()) != 0)
        fail(QStringLiteral("cannot write the build record \"%1\": %2").arg(folder + kManifest, systemError()));
    if (!ok || m_canceled) {
        QFile::remove(manifestTemp);
        QFile::remove(folder + packName);
        if (!recordFolderExisted)
            QDir().rmdir(folder);
        Rollback();
        Discard();
        return false;
    }
    // Packs no record names any more, and what killed builds left (older builds, killed builds).
    for (const QString& name : QDir(folder).entryList({QStringLiteral("base-*.pack")}, QDir::Files))
        if (name != packName)
            QFile::remove(folder + name);
    for (const QString& name : QDir(folder).entryList({QStringLiteral(".manifest-*.tmp")}, QDir::Files | QDir::Hidden))
        QFile::remove(folder + name);
    m_journal.clear();
    m_createdFolders.clear();
    m_madeOut = false; // published: the folder stays
    Discard();
    return true;
}
