#include "AppIcon.h"

#include <QDirIterator>

namespace mandel {

QIcon explorerIcon()
{
    // One file per size under :/icons/hicolor/<N>x<N>/apps; QIcon picks the
    // nearest size for each use (title bar, task switcher, About box).
    QIcon icon;
    QDirIterator it(QStringLiteral(":/icons/hicolor"), {QStringLiteral("*.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        icon.addFile(it.next());
    return icon;
}

} // namespace mandel
