#include "iconpainter.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (app.arguments().size() != 2) {
        err << "Usage: norda-iconpainter RESOURCES_DIR\n";
        return 1;
    }
    const QDir root(app.arguments().at(1));
    int failures = 0;
    for (const IconPainter::Icon &icon : IconPainter::icons()) {
        const QString path = root.filePath(icon.path);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!IconPainter::render(icon).save(path, "PNG")) {
            err << "cannot write " << path << '\n';
            ++failures;
        }
    }
    return failures == 0 ? 0 : 2;
}
