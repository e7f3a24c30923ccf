#pragma once

#include <QString>

namespace FileCheck {

// True only when `path` names an existing regular file (links followed). A
// folder, a FIFO or a device of that name counts as missing. Never throws.
// Dot-files count as normal files: on this platform a leading dot is a naming
// habit, not an attribute a user would expect to hide a logo.
bool exists(const QString &path) noexcept;

} // namespace FileCheck
