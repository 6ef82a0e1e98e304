#include "settings/AppPaths.h"

#include <QFile>
#include <QStandardPaths>

namespace {

std::filesystem::path Location(QStandardPaths::StandardLocation location, const char* below)
{
    return QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString() + below;
}

}  // namespace

std::filesystem::path ConfigFolder()
{
    return Location(QStandardPaths::GenericConfigLocation, "/Corvane");
}

std::filesystem::path DataFolder()
{
    return Location(QStandardPaths::GenericDataLocation, "/Corvane/Sentivo");
}
