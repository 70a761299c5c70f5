#include "gui/translations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

bool Translations::install(QCoreApplication *app)
{
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    auto *translator = new QTranslator(app);
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ru"), folder)) {
        qDebug().noquote() << "Qt's Russian texts not found in" << folder;
        delete translator;
        return false;
    }
    app->installTranslator(translator);
    installed = translator;
    return true;
}
