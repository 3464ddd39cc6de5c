#pragma once
// The program's one way of putting a file on disk. The new contents go to a
// temporary file in the target's folder, are written completely, synced to
// the disk and closed, each step checked; only then is the temporary file
// renamed over the target. A failure at any point removes the temporary
// file and leaves whatever was at the target before byte-identical, so a
// full disk, a vanished folder or a crash mid-save never costs a saved file.
// There is deliberately no fallback that writes into the old file in place:
// a folder that cannot take the temporary file refuses the save.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quill {

struct FileResult {
    bool ok = false;
    QString message; // names the file and says why; empty when ok
    QString reason;  // the same without the file's name
};

// Writes `data` to `path`, under exactly that name. Symbolic links at
// `path` are followed: the file they lead to is replaced and the links are
// kept. A new file gets the usual permissions (0666 less the umask, or the
// folder's default ACL); a replaced one keeps its permissions and, where
// the process may set them, its owner and group. Only regular files are
// replaced. Other hard links to a replaced file keep the old contents.
FileResult writeFileAtomically(const QString& path, std::span<const std::uint8_t> data);

} // namespace quill
