#pragma once

#include <QByteArray>
#include <QString>

#include "platform/UniqueFd.h"

struct stat;

namespace nms {

// Replaces a file's content so that a crash or power cut at any moment
// leaves either the old file or the new one: the bytes go to a temporary
// file in the same directory, are flushed to the disk, and the temporary
// file is renamed over the old one. The new file keeps the old one's
// permissions (and owner, where allowed); a new file gets the usual mode
// for the user's umask. Nothing is left behind when it fails.
class AtomicFileWriter {
public:
    // True when the file now holds exactly these bytes; otherwise the old
    // file is untouched and errorText() says why.
    bool replace(const QString& path, const QByteArray& bytes);
    QString errorText() const { return m_errorText; }

    // Removes the temporary files that writers of this file left beside it
    // when they were killed mid-write. A temporary file carries its
    // writer's process id; it is removed only when no process of that id
    // runs, or when the one that does started after the file was last
    // written (the id was reused). A live writer's file is never touched.
    // Returns how many were removed.
    static int removeAbandonedTemporaries(const QString& path);

private:
    bool fail(const QString& what, int error);
    // fail() with the reason in errno and the file's path in the step's %1.
    bool failWithErrno(const QString& step, const QString& path);
    UniqueFd createTemporary(const QByteArray& directory, const QByteArray& baseName,
                             QByteArray& temporaryPath);
    // Gives the new file the old one's owner and mode (when there was one),
    // writes the bytes, flushes and closes it.
    bool fillTemporary(UniqueFd file, const struct stat* old, const QByteArray& bytes,
                       const QString& path);

    QString m_errorText;
};

} // namespace nms
