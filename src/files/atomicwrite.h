#pragma once
// The program's one way of putting a file on disk. The new contents go to a
// temporary file in the target's folder, are written completely, synced to
// the disk and closed, each step checked; only then is the temporary file
// renamed over the target. A failure at any point removes the temporary
// file and leaves whatever was at the target before byte-identical, so a
// full disk, a vanished folder or a crash mid-save never costs a saved file.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quill {

struct FileResult {
    bool ok = false;
    QString message; // empty when ok
};

// Writes `data` to `path`, under exactly that name. A symbolic link at
// `path` is followed: its target is replaced and the link kept. A new file
// gets the usual permissions (0666 less the umask), a replaced one keeps
// its own.
FileResult writeFileAtomically(const QString& path, std::span<const std::uint8_t> data);

} // namespace quill
