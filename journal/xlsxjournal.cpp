#include "journal/xlsxjournal.h"

#include "journal/databasewrapper.h"
#include "journal/xlsxsheetwriter.h"

XlsxJournal::XlsxJournal(QObject *parent)
    : QObject(parent)
    , m_writer(new XlsxSheetWriter({20, 20, 80}))
{
}

XlsxJournal::~XlsxJournal() = default;

void XlsxJournal::writeHeader(const QDateTime &creationTime, const QString &deviceName,
                              uint64_t serial)
{
    using Line = XlsxSheetWriter::HeaderLine;
    m_writer->writeHeader({
        {Line::Title, {deviceName + QStringLiteral(". ") + tr("Журнал событий.")}},
        {Line::Merged,
         {tr("Серийный номер устройства:") + QString::number(serial) + QLatin1Char('.')}},
        {Line::Merged,
         {tr("Время создания файла:") + DatabaseWrapper::timeText(creationTime) +
          QLatin1Char('.')}},
        {Line::Empty, {}},
        {Line::Columns, {tr("Время"), tr("Тип"), tr("Описание события")}},
    });
}

void XlsxJournal::addRow(const QStringList &texts)
{
    m_writer->addRow(texts.mid(0, 3));
}

bool XlsxJournal::save(const QString &path)
{
    return m_writer->save(path);
}

int XlsxJournal::row() const
{
    return m_writer->row();
}
