#include "app/journalexportcommand.h"

#include "monitor/journalexporter.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

void JournalExportCommand::run(QWidget *parent, QSettings *settings, ProjectModel *project)
{
    if (!project || !project->logDb)
        return;
    const QString folder =
        settings->value(QStringLiteral("paths/savelogpath"), QString()).toString();
    QFileDialog dialog(parent, QStringLiteral("Сохранить журнал БД..."),
                       JournalExporter::proposedFileName(folder, QDate::currentDate()),
                       QStringLiteral("Файлы Excel (*.xlsx)"));
    dialog.setObjectName(QStringLiteral("journalFileDialog"));
    // The same dialog on every platform, and one that tests can drive.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString fileName = dialog.selectedFiles().value(0);
    if (fileName.isEmpty())
        return;
    qDebug().noquote() << QStringLiteral("Selected db xlsx file ") + fileName;
    const QFileInfo info(fileName);
    settings->setValue(QStringLiteral("paths/savelogpath"), info.absolutePath());

    if (!JournalExporter::exportDatabase(project->logDb, project, fileName)) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QStringLiteral("Ошибка при создании файла."), QMessageBox::Ok, parent);
        box.exec();
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Выполнено"),
                    QStringLiteral("Журнал сохранён в файл ") + info.fileName() + QLatin1Char('.'),
                    QMessageBox::Ok, parent);
    box.exec();
}
