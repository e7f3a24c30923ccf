#pragma once

#include <QString>

namespace ProgramFolder {

// The folder of the running executable, without a trailing separator, found
// through the resolved executable path so a link in bin/ still finds the
// files that ship beside the real program.
QString path();

// `relative` written with either separator ("\x\o.cjs" or "x/o.cjs"),
// appended to `folder`.
QString join(const QString &folder, const QString &relative);

} // namespace ProgramFolder
