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

std::filesystem::path FindResource(const std::string& name)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path folder = program.parent_path();
        for (const std::filesystem::path& file : {folder / name, folder.parent_path() / "share" / "sentivo" / name})
            if (std::filesystem::exists(file, error))
                return file;
    }
    return name;
}

std::filesystem::path DefaultPicturesFolder(bool startedFromMenu)
{
    if (!startedFromMenu)
        return {};
    return Location(QStandardPaths::PicturesLocation, "/Sentivo");
}
