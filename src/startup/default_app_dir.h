#pragma once

#include <QString>

namespace corvex {

/// The Application folder when the command line names none: the program's
/// own folder `programDir` when it holds main.ini (a copy without the
/// package, as the product always ran); else, on Windows, the data folder
/// the package recorded (HKLM\Software\Corvex, value DataFolder), where the
/// package keeps the company's files apart from the program; else the
/// program's folder, whose missing main.ini start-up then names.
QString defaultAppDir(const QString& programDir);

}  // namespace corvex
