#include "journal/auditxlsx.h"

#include "journal/xlsxsheetwriter.h"

#include <QFileInfo>

QStringList AuditXlsx::columns()
{
    return {QStringLiteral("№"),
            QStringLiteral("Время (UTC)"),
            QStringLiteral("Пользователь"),
            QStringLiteral("Компьютер"),
            QStringLiteral("Устройство"),
            QStringLiteral("Действие"),
            QStringLiteral("Подробности"),
            QStringLiteral("Хэш")};
}

bool AuditXlsx::write(const QVector<AuditRecord> &records, const QString &path)
{
    XlsxSheetWriter writer({8, 24, 16, 16, 28, 22, 60, 66}, QFileInfo(path).absolutePath());
    writer.writeHeader({{XlsxSheetWriter::HeaderLine::Title, {QStringLiteral("Журнал изменений")}},
                        {XlsxSheetWriter::HeaderLine::Columns, columns()}});
    for (const AuditRecord &record : records)
        writer.addRow({QString::number(record.sequence), record.time, record.user, record.host,
                       record.device, record.action, record.details, record.hash});
    return writer.save(path);
}
