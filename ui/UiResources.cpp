#include "ui/UiResources.h"

#include <QString>

static void InitUiResourcesOnce() {
    Q_INIT_RESOURCE(ui);
}

namespace vt {

void EnsureUiResources() {
    static const bool done = (InitUiResourcesOnce(), true);
    (void)done;
}

QImage LoadBitmapResource(unsigned id) {
    EnsureUiResources();
    QImage img(QStringLiteral(":/vantorel/images/bmp%1.xpm").arg(id));
    if (img.isNull()) return img;
    return img.convertToFormat(QImage::Format_RGB32);
}

QPixmap LoadIconResource(unsigned id, int size) {
    EnsureUiResources();
    QPixmap pm(QStringLiteral(":/vantorel/images/icon%1.xpm").arg(id));
    if (pm.isNull() || pm.size() == QSize(size, size)) return pm;
    return pm.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QIcon LoadIconSet(unsigned id) {
    QIcon icon;
    for (int s : {16, 32, 48}) {
        QPixmap pm = LoadIconResource(id, s);
        if (!pm.isNull()) icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace vt
