#include "journal/xlsxdatabase.h"

#include "journal/databasewrapper.h"
#include "journal/xlsxsheetwriter.h"

XlsxDatabase::XlsxDatabase(QObject *parent, const QString &folder)
    : QObject(parent)
    , m_writer(new XlsxSheetWriter({20, 40, 80}, folder))
{
}

XlsxDatabase::~XlsxDatabase() = default;

void XlsxDatabase::writeHeader(const QDateTime &creationTime)
{
    using Line = XlsxSheetWriter::HeaderLine;
    m_writer->writeHeader({
        {Line::Title, {tr("Журнал неисправностей")}},
        {Line::Merged,
         {tr("Время создания файла:") + DatabaseWrapper::timeText(creationTime) +
          QLatin1Char('.')}},
        {Line::Empty, {}},
        {Line::Columns, {tr("Время"), tr("Устройство"), tr("Событие")}},
    });
}

void XlsxDatabase::addRecord(const QDateTime &time, const ExportDevice *device,
                             const QString &eventText)
{
    if (!device) {
        addRow(time, tr("Неизвестное устройство"), eventText);
        return;
    }
    QString deviceText = device->typeName;
    const bool tagged = !device->tag.isEmpty();
    if (tagged)
        deviceText += QLatin1Char('\n') + device->tag;
    m_writer->addRow({DatabaseWrapper::timeText(time), deviceText, eventText}, tagged);
}

void XlsxDatabase::addRow(const QDateTime &time, const QString &deviceText,
                          const QString &eventText)
{
    m_writer->addRow({DatabaseWrapper::timeText(time), deviceText, eventText});
}

bool XlsxDatabase::save(const QString &path)
{
    return m_writer->save(path);
}

QString XlsxDatabase::finishTemporary()
{
    return m_writer->finishTemporary();
}

int XlsxDatabase::row() const
{
    return m_writer->row();
}
