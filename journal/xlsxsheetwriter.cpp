#include "journal/xlsxsheetwriter.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <xlsxwriter.h>

const QString XlsxSheetWriter::sheetName = QStringLiteral("Журнал");

namespace {

constexpr double defaultRowHeight = 15.0;
// Longest text a cell holds.
constexpr int maxCellBytes = 32767;

QByteArray cellText(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > maxCellBytes) {
        utf8.truncate(maxCellBytes);
        // Do not cut a character in two.
        while (!utf8.isEmpty() && (uchar(utf8.back()) & 0xc0) == 0x80)
            utf8.chop(1);
        if (!utf8.isEmpty() && uchar(utf8.back()) >= 0xc0)
            utf8.chop(1);
    }
    return utf8;
}

} // namespace

XlsxSheetWriter::XlsxSheetWriter(const QVector<double> &columnWidths, const QString &folder)
    : m_file((folder.isEmpty() ? QDir::tempPath() : folder) +
             QStringLiteral("/.norda-journal-XXXXXX.xlsx"))
    , m_widths(columnWidths)
{
    if (!m_file.open()) {
        m_failed = true;
        return;
    }
    m_file.close();
    const QByteArray name = QFile::encodeName(m_file.fileName());
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    m_workbook = workbook_new_opt(name.constData(), &options);
    if (!m_workbook) {
        m_failed = true;
        return;
    }
    m_title = workbook_add_format(m_workbook);
    format_set_bold(m_title);
    format_set_align(m_title, LXW_ALIGN_RIGHT);
    format_set_align(m_title, LXW_ALIGN_VERTICAL_CENTER);
    m_bold = workbook_add_format(m_workbook);
    format_set_bold(m_bold);
    m_cell = workbook_add_format(m_workbook);
    format_set_align(m_cell, LXW_ALIGN_CENTER);
    format_set_align(m_cell, LXW_ALIGN_VERTICAL_CENTER);
    format_set_text_wrap(m_cell);
    startSheet();
}

XlsxSheetWriter::~XlsxSheetWriter()
{
    if (m_workbook && !m_closed)
        workbook_close(m_workbook);
}

void XlsxSheetWriter::startSheet()
{
    ++m_sheets;
    const QString name =
        m_sheets == 1 ? sheetName : QStringLiteral("%1 (%2)").arg(sheetName).arg(m_sheets);
    m_sheet = workbook_add_worksheet(m_workbook, name.toUtf8().constData());
    if (!m_sheet) {
        m_failed = true;
        return;
    }
    for (int column = 0; column < m_widths.size(); ++column)
        worksheet_set_column(m_sheet, column, column, m_widths.at(column), nullptr);
    m_row = 0;
}

void XlsxSheetWriter::writeHeader(const QVector<HeaderLine> &lines)
{
    m_header = lines;
    writeHeaderLines();
}

void XlsxSheetWriter::writeHeaderLines()
{
    if (!m_sheet || m_closed)
        return;
    const lxw_col_t lastColumn = lxw_col_t(qMax(0, int(m_widths.size()) - 1));
    for (const HeaderLine &line : qAsConst(m_header)) {
        const lxw_row_t r = lxw_row_t(m_row++);
        switch (line.style) {
        case HeaderLine::Title:
        case HeaderLine::Merged:
            worksheet_merge_range(m_sheet, r, 0, r, lastColumn,
                                  cellText(line.texts.value(0)).constData(),
                                  line.style == HeaderLine::Title ? m_title : nullptr);
            break;
        case HeaderLine::Columns:
            for (int column = 0; column < line.texts.size(); ++column)
                worksheet_write_string(m_sheet, r, lxw_col_t(column),
                                       cellText(line.texts.at(column)).constData(), m_bold);
            break;
        case HeaderLine::Empty:
            break;
        }
    }
}

void XlsxSheetWriter::addRow(const QStringList &texts, bool doubleHeight)
{
    if (!m_sheet || m_closed)
        return;
    if (m_row >= m_rowLimit) {
        startSheet();
        writeHeaderLines();
        if (!m_sheet)
            return;
    }
    const lxw_row_t r = lxw_row_t(m_row++);
    if (doubleHeight)
        worksheet_set_row(m_sheet, r, 2 * defaultRowHeight, nullptr);
    for (int column = 0; column < texts.size(); ++column) {
        if (worksheet_write_string(m_sheet, r, lxw_col_t(column),
                                   cellText(texts.at(column)).constData(), m_cell) != LXW_NO_ERROR)
            m_failed = true;
    }
}

bool XlsxSheetWriter::close()
{
    if (!m_workbook || m_failed)
        return false;
    if (!m_closed) {
        m_closed = true;
        if (workbook_close(m_workbook) != LXW_NO_ERROR) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

QString XlsxSheetWriter::finishTemporary()
{
    if (!close())
        return QString();
    m_file.setAutoRemove(false);
    return m_file.fileName();
}

bool XlsxSheetWriter::takeTargetPermissions(const QString &temporaryPath, const QString &path,
                                            bool *created)
{
    QFile target(path);
    *created = false;
    if (!target.exists()) {
        // Created by the system's rules, as any new file of the user.
        if (!target.open(QIODevice::WriteOnly))
            return false;
        target.close();
        *created = true;
    }
    if (QFile::setPermissions(temporaryPath, target.permissions()))
        return true;
    if (*created)
        target.remove();
    return false;
}

bool XlsxSheetWriter::save(const QString &path)
{
    if (!close())
        return false;
    bool created = false;
    if (!takeTargetPermissions(m_file.fileName(), path, &created))
        return false;
    // Moved into place when the temporary file is on the target's file system: the
    // target is replaced at once, and never by a partial file.
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(),
                    QFile::encodeName(path).constData()) == 0) {
        m_file.setAutoRemove(false);
        return true;
    }
    QFile source(m_file.fileName());
    QSaveFile copy(path);
    bool copied = source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly);
    while (copied && !source.atEnd()) {
        const QByteArray chunk = source.read(1 << 20);
        copied = !chunk.isEmpty() && copy.write(chunk) == chunk.size();
    }
    if (copied && copy.commit())
        return true;
    copy.cancelWriting();
    if (created)
        QFile::remove(path);
    return false;
}
