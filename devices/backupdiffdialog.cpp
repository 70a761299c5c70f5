#include "devices/backupdiffdialog.h"

#include "link/devicepaths.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

BackupDiffDialog::BackupDiffDialog(const QList<DeviceRestoreJob::Difference> &differences,
                                   const QString &message, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("BackupDiffDialog"));
    setWindowTitle(QStringLiteral("Восстановление конфигурации"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowModality(Qt::ApplicationModal);
    resize(640, 420);

    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(message, this);
    label->setObjectName(QStringLiteral("labelMessage"));
    label->setWordWrap(true);
    layout->addWidget(label);

    table = new QTableWidget(differences.size(), 3, this);
    table->setObjectName(QStringLiteral("tableDifferences"));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Параметр"), QStringLiteral("Устройство"), QStringLiteral("Файл")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < differences.size(); ++row) {
        const DeviceRestoreJob::Difference &diff = differences.at(row);
        const QString name = diff.file ? DevicePaths::toDisplay(diff.name) : diff.name;
        const QString device = diff.file && diff.device == QLatin1String("absent")
            ? QStringLiteral("нет файла")
            : diff.device;
        int column = 0;
        for (const QString &text : {name, device, diff.backup})
            table->setItem(row, column++, new QTableWidgetItem(text));
    }
    table->resizeColumnsToContents();
    layout->addWidget(table);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *write = new QPushButton(QStringLiteral("Записать"), this);
    write->setObjectName(QStringLiteral("pushButtonWrite"));
    auto *cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QStringLiteral("pushButtonCancel"));
    cancel->setDefault(true);
    buttons->addWidget(write);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(write, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}
