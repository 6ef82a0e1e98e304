#include "ui/templates/Resources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void RegisterCompiledResources()
{
    Q_INIT_RESOURCE(res);
}

void EnsureResources()
{
    static const bool registered = (RegisterCompiledResources(), true);
    (void)registered;
}

QIcon AppIcon()
{
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/sentivo/images/icon128-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/sentivo/images/icon128-16.png"), QSize(16, 16));
    return icon;
}

QPixmap ResourceBitmap(int id)
{
    EnsureResources();
    const QString path = QStringLiteral(":/sentivo/images/bitmap%1.bmp").arg(id);
    if (!QFile::exists(path))
        return {};
    return QPixmap(path);
}

QString ResourceString(int id)
{
    EnsureResources();
    static const QJsonObject table = [] {
        QFile file(QStringLiteral(":/sentivo/strings.json"));
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }();
    return table.value(QString::number(id)).toString();
}
