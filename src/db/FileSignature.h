#pragma once

#include <ctime>

#include <sys/stat.h>

namespace nms {

// What identifies one state of a file on disk without reading it: the file
// (device and inode, which an atomic rename changes), its size, and its
// modification and status-change times to the nanosecond. The status-change
// time cannot be set back by a program, so a rewrite that restores the old
// modification time is still seen.
struct FileSignature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileSignature of(const struct stat& status)
    {
        FileSignature signature;
        signature.device = status.st_dev;
        signature.inode = status.st_ino;
        signature.size = status.st_size;
        signature.modified = status.st_mtim;
        signature.changed = status.st_ctim;
        return signature;
    }

    static bool before(const timespec& a, const timespec& b)
    {
        return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
    }

    // True when both times lie before the given instant.
    bool settledBefore(const timespec& instant) const
    {
        return before(modified, instant) && before(changed, instant);
    }

    bool operator==(const FileSignature& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

} // namespace nms
