#pragma once

#include "QVNError.h"
#include "QVNProgress.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

/**
 * @brief Where a build's files go before they reach the output folder, and how they get there.
 *
 * A build writes into a staging folder beside the output folder (same file system). Classify then
 * compares every staged file with the output folder and with the record of the last build (the
 * manifest, `docs/build-manifest.md`), carries the user's protected regions over, and proposes an
 * action per file that never overwrites a user's edit silently. Publish moves the chosen files into
 * the output folder one by one by rename, so a kill leaves each file either old or new; a cancel or
 * a failure while publishing puts back every file it had replaced. Discard (also run by the
 * destructor) removes the staging folder; the output folder is then exactly as it was.
 *
 * Error contract: Begin, Classify and Publish clear Exceptions and return false with one line per
 * failure. Single-threaded; one object per build.
 */
class QVNBuildOutput
{
public:
    enum class Kind {
        New,        ///< not in the output folder
        Unchanged,  ///< the output folder holds exactly this text
        Changed,    ///< changed by this build; the user has not edited the file since the last one
        UserEdited, ///< edited by the user since the last build; this build produces the same text
        Conflict,   ///< edited by the user and changed by this build (or no record of the last build)
        Removed     ///< produced by the last build, not by this one; still in the output folder
    };
    enum class Action {
        Write,    ///< the generated text replaces the file
        Skip,     ///< the file stays as it is
        WriteNew, ///< the generated text goes to FILE.new beside the file
        Merge,    ///< the three-way merge of the last generated text, the user's file and this build
        Delete    ///< a file no longer produced is removed
    };
    /// What a conflict gets by default: a clean merge else FILE.new, always FILE.new, keep the
    /// user's file, or the generated text.
    enum class ConflictPolicy { Merge, New, Skip, Overwrite };

    struct File
    {
        QString path; ///< relative to the output folder, "/"-separated
        Kind kind = Kind::New;
        Action action = Action::Write;
        QByteArray generated; ///< this build's text, with the user's regions carried over
        QByteArray current;   ///< the file in the output folder (empty when there is none)
        QByteArray merged;    ///< the three-way merge, when the last generated text is on record
        bool mergeClean = false;
        QStringList notes; ///< why the proposed action is what it is (vanished regions, no record ...)
        /// The actions this file may take.
        QList<Action> Choices() const;
    };

    QVNBuildOutput() = default;
    ~QVNBuildOutput();
    QVNBuildOutput(const QVNBuildOutput&) = delete;
    QVNBuildOutput& operator=(const QVNBuildOutput&) = delete;

    QVNError Exceptions;

    /// Makes the output folder when missing (removed again by Discard while still empty) and a fresh
    /// staging folder beside it, and removes staging folders of processes that no longer run.
    /// StageFolder() is where the build writes.
    bool Begin(const QString& outFolder);
    /// The folder the build writes into, ending in "/"; empty before Begin.
    const QString& StageFolder() const { return m_files; }
    const QString& OutputFolder() const { return m_out; }

    /// Compares the staged files with the output folder and the last build's record; proposes
    /// each file's action under `policy`.
    bool Classify(ConflictPolicy policy = ConflictPolicy::Merge);
    QList<File>& Files() { return m_list; }
    const QList<File>& Files() const { return m_list; }
    /// Sets every conflict's action by `policy` (Merge falls back to WriteNew when unclean).
    void ApplyPolicy(ConflictPolicy policy);
    /// True when publishing the chosen actions would change any file of the output folder.
    bool WouldChange() const;

    /**
     * @brief Carries out the chosen actions and records this build (`model`, `version`).
     *
     * `progress` gets one empty message per file; setting its cancel flag puts back every file
     * replaced so far and returns false with Canceled() true. A file that cannot be written does
     * the same. The staging folder is removed in every case.
     */
    bool Publish(const QString& model, const QString& version, const QVNProgressListener& progress = {});
    bool Canceled() const { return m_canceled; }
    /// Removes the staging folder (nothing is published).
    void Discard();

    /// The text of a class or an action, as the preview and the command line show it.
    static QString KindName(Kind kind);
    static QString ActionName(Action action);
    /// Parses "merge", "new", "skip" or "overwrite"; false for anything else.
    static bool ParsePolicy(const QString& text, ConflictPolicy& policy);

    /// The folder below the output folder that holds the record of the last build.
    static QString RecordFolderName() { return QStringLiteral(".quorvin"); }

private:
    struct Record
    {
        QHash<QString, QString> hashes; ///< path -> hash of the generated text without region bodies
        QHash<QString, QByteArray> bases;
        QString pack; ///< the file name of the base texts
        bool present = false;
        /// What the records killed builds wrote aside before they moved their files say: every hash
        /// one of them recorded for a path (several builds may have been killed one after another,
        /// each having moved some files).
        QHash<QString, QSet<QString>> pendingHashes;
    };
    bool ReadRecord(Record& record);
    bool WriteRecord(const QString& model, const QString& version, QString& manifestTemp, QString& packName);
    void Rollback();

    struct Step
    {
        QString target;
        QString backup; ///< the old file's second name in the staging folder; empty when none
        bool created = false;
    };
    QString m_out;
    QString m_stage;
    QString m_files;
    Record m_record;
    QList<File> m_list;
    QList<Step> m_journal;
    QStringList m_createdFolders;
    bool m_canceled = false;
    bool m_madeOut = false; ///< Begin made the output folder; Discard removes it while empty
};
