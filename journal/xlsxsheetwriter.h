#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QVector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// One journal worksheet "Журнал" written row by row through libxlsxwriter, for the two
// journal layouts (XlsxDatabase, XlsxJournal).
//
// Rows go straight to a temporary file, so memory stays small whatever the number of
// records. A worksheet holds at most 1048576 rows; records beyond that continue on
// further worksheets "Журнал (2)", "Журнал (3)", ... that repeat the header lines.
class XlsxSheetWriter {
public:
    struct HeaderLine {
        enum Style {
            Title, // bold, right-aligned, vertically centred, merged over all columns
            Merged, // plain, merged over all columns
            Empty,
            Columns, // one bold text per column
        };
        Style style;
        QStringList texts;
    };

    static constexpr int maxRows = 1048576;
    static const QString sheetName;

    // The workbook is written to a temporary file in `folder` (the system's temporary
    // folder when empty); a folder on the target's file system lets save() and the
    // caller of finishTemporary() move it into place instead of copying it.
    explicit XlsxSheetWriter(const QVector<double> &columnWidths,
                             const QString &folder = QString());
    ~XlsxSheetWriter();
    XlsxSheetWriter(const XlsxSheetWriter &) = delete;
    XlsxSheetWriter &operator=(const XlsxSheetWriter &) = delete;

    // Rows per worksheet before a continuation worksheet starts (at most maxRows).
    void setRowLimit(int rows) { m_rowLimit = qBound(1, rows, maxRows); }

    // Number of the last row written on the current worksheet (1-based, 0 before any).
    int row() const { return m_row; }
    int sheetCount() const { return m_sheets; }

    // Writes the header lines; they are repeated on continuation worksheets.
    void writeHeader(const QVector<HeaderLine> &lines);
    // Next row: one text per column, centred; `doubleHeight` for two-line texts.
    void addRow(const QStringList &texts, bool doubleHeight = false);
    // Writes the workbook and puts it at `path` (replacing a file there only once the
    // whole workbook is written). False when the workbook or the file could not be
    // written.
    bool save(const QString &path);
    // Completes the workbook in its temporary file and hands that file over: it is no
    // longer removed with the writer. Empty when the workbook could not be written.
    QString finishTemporary();
    // Gives a finished temporary file the permissions its target will have: those of the
    // file it replaces or, for a new file, those of any new file of the user (the umask
    // applied), never the private ones of a temporary file. A new target is created empty
    // for that, and `created` set; the caller removes it when the move fails.
    static bool takeTargetPermissions(const QString &temporaryPath, const QString &path,
                                      bool *created);

private:
    bool close();

    void startSheet();
    void writeHeaderLines();

    QTemporaryFile m_file;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_title = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_format *m_cell = nullptr;
    QVector<double> m_widths;
    QVector<HeaderLine> m_header;
    int m_row = 0;
    int m_rowLimit = maxRows;
    int m_sheets = 0;
    bool m_closed = false;
    bool m_failed = false;
};
