#pragma once

#include <QString>

// Files that hold a secret (the FTP password) are for their owner's eyes only. On Linux the
// file's mode says so (written 0600); on Windows, where the mode is only a read-only flag, the
// file gets a protected access list that grants the current user and SYSTEM alone, whatever
// its folder would pass on.
namespace OwnerOnly {

// Restricts the file; fails with Windows' reason when its access list cannot be set.
void restrict(const QString& path);

} // namespace OwnerOnly
