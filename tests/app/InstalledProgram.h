#pragma once
// The program as a user gets it: installed into a prefix of its own, once per test binary.
#include "tests/support/TestDirectory.h"

#include <QProcess>
#include <QTemporaryDir>

inline QString InstalledProgram()
{
    static QTemporaryDir prefix;
    static const int status = QProcess::execute("cmake", {"--install", QString::fromStdString(BinaryDir().string()),
                                                           "--prefix", prefix.path()});
    return status == 0 ? prefix.path() + "/bin/sentivo" : QString();
}
