#include "project/projectmodel.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(NORDA_VERSION));
    QLabel window(QStringLiteral("Конфигуратор NORDA-СЕТЬ"));
    window.setWindowTitle(QStringLiteral("Конфигуратор NORDA-СЕТЬ (версия %1)").arg(NORDA_VERSION));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
