#include "devices/toviklinestab.h"

#include "devices/fieldvalues.h"
#include "devices/framelo.h"
#include "journal/databaseparams.h"
#include "link/amodule.h"
#include "link/linevalues.h"
#include "link/tovikstatus.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

const QString TovikLinesTab::notAccepted = QStringLiteral("ВНИМАНИЕ! ПРИЕМКА НЕ ПРОВОДИЛАСЬ!");
const QString TovikLinesTab::accepted = QStringLiteral("ПРИЕМКА ПРОВЕДЕНА");
const QString TovikLinesTab::differs =
    QStringLiteral("ВНИМАНИЕ! НЕ СОВПАДАЮТ ПАРАМЕТРЫ ИЛИ ДАТА/ВРЕМЯ ПРИЕМКИ!");
const QString TovikLinesTab::notInDatabase = QStringLiteral("нет в базе");
const QString TovikLinesTab::notReadYet =
    QStringLiteral("Сверка с приёмкой: параметры линии ещё не прочитаны из прибора "
                   "(«Прочитать все»).");

namespace {

const char *const stateTexts[] = {"норма", "короткое замыкание", "обрыв", "выход за границы"};
const char displayTime[] = "hh:mm:ss dd.MM.yyyy";

// A stored norm or tolerance as millivolts; a decimal comma is read as a point.
bool storedMillivolts(const QString &text, qint64 *millivolts)
{
    QString number = text.trimmed();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double volts = number.toDouble(&ok);
    if (!ok)
        return false;
    *millivolts = LineValues::millivolts(volts);
    return true;
}

} // namespace

TovikLinesTab::TovikLinesTab(QWidget *form, Amodule *facade, ProjectDevice *device,
                             ProjectModel *model, const Host &host, QObject *parent)
    : QObject(parent)
    , amodule(facade)
    , device(device)
    , model(model)
    , host(host)
{
    QWidget *contents = form->findChild<QScrollArea *>(QStringLiteral("scrollAreaLo"))->widget();
    auto *grid = new QGridLayout(contents);
    for (int n = 0; n < lineCount; ++n) {
        auto *frame = new FrameLo(n, contents);
        // The line's settings hold no value before the unit gave them.
        for (QWidget *field : {static_cast<QWidget *>(frame->comboBoxLoCtrlEnable),
                               static_cast<QWidget *>(frame->spinBoxLoNorm),
                               static_cast<QWidget *>(frame->spinBoxLoThreshold)})
            FieldValues::clear(field);
        grid->addWidget(frame, n, 0);
        Line line;
        line.frame = frame;
        lines.append(line);
        connect(frame->pushButtonWrite, &QPushButton::clicked, this,
                [this, n] { on_pushButtonWriteLoParam_clicked(n); });
        connect(frame->pushButtonCalibLo, &QPushButton::clicked, this,
                [this, n] { on_pushButtonWriteLoCalib_clicked(n); });
        connect(frame->pushButtonCopyLoParams, &QPushButton::clicked, this,
                [this, n] { on_pushButtonCopyLoParams_clicked(n); });
        connect(frame->pushButtonSaveLoParams, &QPushButton::clicked, this,
                [this, n] { on_pushButtonSaveLoParams_clicked(n); });
    }
    // Offered at all times: each refuses with a message while the unit is not connected.
    auto button = [form](const char *name) {
        auto *found = form->findChild<QPushButton *>(QLatin1String(name));
        found->setEnabled(true);
        return found;
    };
    connect(button("pushButtonReadAllLo"), &QPushButton::clicked, this,
            [this] { on_pushButtonReadAllLo_clicked(); });
    connect(button("pushButtonWriteAllLo"), &QPushButton::clicked, this,
            [this] { on_pushButtonWriteAllLo_clicked(); });
    connect(button("pushButtonCalibAllLo"), &QPushButton::clicked, this,
            [this] { on_pushButtonCalibAllLo_clicked(); });
    for (int n = 0; n < lineCount; ++n)
        refreshVerdict(n);
}

QString TovikLinesTab::recordName(const char *name, int line)
{
    return QStringLiteral("desc_%1[%2]").arg(QLatin1String(name)).arg(line);
}

QStringList TovikLinesTab::readAllNames()
{
    QStringList names;
    for (int n = 0; n < lineCount; ++n)
        names << recordName("LoCalibValue", n) << recordName("LoCtrlDelta", n)
              << recordName("LoCalibTime", n) << recordName("LoCtrlEnable", n);
    return names;
}

// ---- Polling and answers ----

void TovikLinesTab::tick(bool shown)
{
    ++pollCounter;
    if (readCountdown > 0 && --readCountdown == 0)
        on_pushButtonReadAllLo_clicked();
    // A list read runs alone: its progress counts its own answers.
    if (valuesOutstanding || !host.linked() || amodule->readListSize() > 0)
        return;
    if (!shown && pollCounter % hiddenTabPollTicks != 0)
        return;
    if (amodule->getParam(QStringLiteral("LO_CURRENT_VALUES")) == Amodule::Queued)
        valuesOutstanding = true;
}

void TovikLinesTab::linkLost()
{
    valuesOutstanding = false;
    readCountdown = 0;
    // What the next connection reads is compared afresh.
    for (int n = 0; n < lineCount; ++n) {
        lines[n].read = 0;
        refreshVerdict(n);
    }
}

bool TovikLinesTab::showDescriptor(const QString &name, int index, const QString &value,
                                   bool failed)
{
    int bit = 0;
    if (name == QLatin1String("LoCtrlEnable"))
        bit = EnableRead;
    else if (name == QLatin1String("LoCalibValue"))
        bit = ValueRead;
    else if (name == QLatin1String("LoCtrlDelta"))
        bit = DeltaRead;
    else if (name == QLatin1String("LoCalibTime"))
        bit = TimeRead;
    else
        return false;
    if (index < 0 || index >= lineCount)
        return true;
    Line &line = lines[index];
    FrameLo *frame = line.frame;
    // A failed answer changes nothing, but the line's value is then not known to be the
    // unit's: the verdict waits for a good one.
    line.read &= ~bit;
    const QString text = value.trimmed();
    bool shown = false;
    if (failed) {
        shown = false;
    } else if (bit == EnableRead) {
        if (text == QStringLiteral("нет") || text == QStringLiteral("да")) {
            frame->comboBoxLoCtrlEnable->setCurrentIndex(text == QStringLiteral("да") ? 1 : 0);
            shown = true;
        }
    } else if (bit == ValueRead || bit == DeltaRead) {
        QDoubleSpinBox *box = bit == ValueRead ? frame->spinBoxLoNorm : frame->spinBoxLoThreshold;
        bool ok = false;
        const int millivolts = text.toInt(&ok);
        const double volts = millivolts / 1000.0;
        if (ok && volts >= box->minimum() && volts <= box->maximum()) {
            box->setValue(volts);
            FieldValues::given(box);
            shown = true;
        }
    } else {
        const QDateTime time = TovikStatus::parseUnitTime(text);
        if (time.isValid()) {
            frame->lineEditCalibDateTime->setText(time.toString(QLatin1String(displayTime)));
            shown = true;
        }
    }
    if (shown)
        line.read |= bit;
    refreshVerdict(index);
    return true;
}

void TovikLinesTab::showCurrentValues(const QString &value, bool failed)
{
    valuesOutstanding = false;
    if (failed)
        return;
    const LineValues values = LineValues::parse(value);
    if (!values.valid)
        return;
    for (int n = 0; n < lineCount; ++n) {
        lines[n].frame->lineEditLoVoltage->setText(
            values.measured[size_t(n)] ? LineValues::voltsText(values.values[size_t(n)])
                                       : QStringLiteral("ошибка"));
        refreshVerdict(n);
    }
}

void TovikLinesTab::showStatus(const TovikStatus &status)
{
    if (!status.valid || !status.hasLines)
        return;
    for (int n = 0; n < lineCount; ++n) {
        const int state = TovikStatus::twoBitState(status.lines, n + 1);
        QLineEdit *edit = lines[n].frame->lineEditLoState;
        edit->setText(QString::fromUtf8(stateTexts[state]));
        edit->setStyleSheet(state == 0 ? QStringLiteral("color: green;")
                                       : QStringLiteral("color: red;"));
    }
}

// ---- The acceptance record ----

void TovikLinesTab::loadRecord(int n)
{
    Record &record = lines[n].record;
    if (record.loaded)
        return;
    DatabaseParams *db = model ? model->paramsDb : nullptr;
    if (!db)
        return;
    record.loaded = true;
    QDateTime time;
    record.complete =
        db->lastParam(device->id_obj, recordName("LoCtrlEnable", n), record.control, time) &&
        db->lastParam(device->id_obj, recordName("LoCalibValue", n), record.norm, time) &&
        db->lastParam(device->id_obj, recordName("LoCtrlDelta", n), record.tolerance, time) &&
        db->lastParam(device->id_obj, recordName("LoCalibTime", n), record.time, time);
}

void TovikLinesTab::refreshVerdict(int n)
{
    Line &line = lines[n];
    FrameLo *frame = line.frame;
    QLabel *verdict = frame->labelInspectionMessage;
    auto say = [verdict](const QString &text, bool good) {
        verdict->setText(text);
        verdict->setStyleSheet(good ? QStringLiteral("color: green;")
                                    : QStringLiteral("color: red;"));
    };
    if (!model || !model->paramsDb) {
        say(QStringLiteral("База параметров проекта не открыта: сверка с приёмкой невозможна."),
            false);
        return;
    }
    loadRecord(n);
    const Record &record = line.record;
    if (!record.complete) {
        // Fields copied from the unit and not saved yet stay for "Сохранить в базе".
        if (!line.edited) {
            for (QLineEdit *edit : {frame->lineEditControlOnBase, frame->lineEditNormaBase,
                                    frame->lineEditThresholdBase, frame->lineEditDateTimeBase})
                edit->setText(notInDatabase);
        }
        say(notAccepted, false);
        return;
    }
    if (!line.edited) {
        frame->lineEditControlOnBase->setText(record.control);
        frame->lineEditNormaBase->setText(record.norm);
        frame->lineEditThresholdBase->setText(record.tolerance);
        frame->lineEditDateTimeBase->setText(record.time);
    }
    if ((line.read & AllRead) != AllRead) {
        verdict->setText(notReadYet);
        verdict->setStyleSheet(QStringLiteral("color: gray;"));
        return;
    }
    qint64 norm = 0;
    qint64 tolerance = 0;
    const bool same = frame->comboBoxLoCtrlEnable->currentText() == record.control &&
        storedMillivolts(record.norm, &norm) &&
        norm == LineValues::millivolts(frame->spinBoxLoNorm->value()) &&
        storedMillivolts(record.tolerance, &tolerance) &&
        tolerance == LineValues::millivolts(frame->spinBoxLoThreshold->value()) &&
        frame->lineEditCalibDateTime->text() == record.time;
    say(same ? accepted : differs, same);
}

void TovikLinesTab::on_pushButtonCopyLoParams_clicked(int n)
{
    Line &line = lines[n];
    FrameLo *frame = line.frame;
    frame->lineEditControlOnBase->setText(frame->comboBoxLoCtrlEnable->currentText());
    frame->lineEditDateTimeBase->setText(frame->lineEditCalibDateTime->text());
    frame->lineEditNormaBase->setText(frame->spinBoxLoNorm->cleanText());
    frame->lineEditThresholdBase->setText(frame->spinBoxLoThreshold->cleanText());
    line.edited = true;
    frame->setAcceptanceEdited(true);
    refreshVerdict(n);
}

void TovikLinesTab::on_pushButtonSaveLoParams_clicked(int n)
{
    Line &line = lines[n];
    FrameLo *frame = line.frame;
    const QString control = frame->lineEditControlOnBase->text();
    const QString norm = frame->lineEditNormaBase->text();
    const QString tolerance = frame->lineEditThresholdBase->text();
    const QString time = frame->lineEditDateTimeBase->text();
    // Only values that came from the unit are a record: never "нет в базе", an empty
    // field or a line not read yet.
    qint64 millivolts = 0;
    QString missing;
    if (control != QStringLiteral("откл") && control != QStringLiteral("вкл"))
        missing = QStringLiteral("Контроль линии");
    else if (!storedMillivolts(norm, &millivolts))
        missing = QStringLiteral("Норма");
    else if (!storedMillivolts(tolerance, &millivolts))
        missing = QStringLiteral("Допуск");
    else if (!QDateTime::fromString(time, QLatin1String(displayTime)).isValid())
        missing = QStringLiteral("Дата/время");
    const QString title = QStringLiteral("Линия оповещения %1").arg(n + 1);
    if (!missing.isEmpty()) {
        host.error(QStringLiteral("Приёмка не сохранена: поле «%1» не содержит значения из "
                                  "прибора (%2). Прочитайте линию и нажмите «Установить данными "
                                  "из прибора».")
                       .arg(missing, title));
        return;
    }
    DatabaseParams *db = model ? model->paramsDb : nullptr;
    const QList<QPair<QString, QString>> values = {
        {recordName("LoCtrlEnable", n), control},
        {recordName("LoCalibValue", n), norm},
        {recordName("LoCtrlDelta", n), tolerance},
        {recordName("LoCalibTime", n), time},
    };
    if (!db || !db->insertParams(device->id_obj, values, QDateTime::currentDateTime())) {
        host.error(QStringLiteral("Приёмка не сохранена: ошибка записи в базу параметров (%1).")
                       .arg(title));
        return;
    }
    line.record.loaded = true;
    line.record.complete = true;
    line.record.control = control;
    line.record.norm = norm;
    line.record.tolerance = tolerance;
    line.record.time = time;
    line.edited = false;
    frame->setAcceptanceEdited(false);
    refreshVerdict(n);
    host.information(QStringLiteral("Приёмка"),
                     QStringLiteral("Приёмка сохранена в базе (%1).").arg(title));
}

// ---- Reads and writes ----

void TovikLinesTab::on_pushButtonReadAllLo_clicked()
{
    // Not connected: nothing to read, as with every "Прочитать" of the window.
    if (host.linked())
        host.read(readAllNames());
}

QList<FieldValues::Field> TovikLinesTab::lineFields(int n) const
{
    const FrameLo *frame = lines.at(n).frame;
    const QString title = QStringLiteral("линия оповещения %1").arg(n + 1);
    return {{frame->comboBoxLoCtrlEnable, QStringLiteral("Контроль линии (%1)").arg(title)},
            {frame->spinBoxLoNorm, QStringLiteral("Норма (%1)").arg(title)},
            {frame->spinBoxLoThreshold, QStringLiteral("Допуск (%1)").arg(title)}};
}

bool TovikLinesTab::complete(const QList<int> &which)
{
    QList<FieldValues::Field> fields;
    for (int n : which)
        fields += lineFields(n);
    const QStringList missing = FieldValues::missing(fields);
    if (missing.isEmpty())
        return true;
    host.error(FieldValues::incomplete(missing));
    return false;
}

void TovikLinesTab::lineWrites(int n, QList<DescriptorWrites::Write> *writes) const
{
    const FrameLo *frame = lines.at(n).frame;
    const QList<FieldValues::Field> fields = lineFields(n);
    writes->append({recordName("LoCtrlEnable", n),
                    QString::number(frame->comboBoxLoCtrlEnable->currentIndex()),
                    fields.at(0).label, nullptr});
    writes->append({recordName("LoCalibValue", n),
                    QString::number(LineValues::millivolts(frame->spinBoxLoNorm->value())),
                    fields.at(1).label, nullptr});
    writes->append({recordName("LoCtrlDelta", n),
                    QString::number(LineValues::millivolts(frame->spinBoxLoThreshold->value())),
                    fields.at(2).label, nullptr});
}

void TovikLinesTab::on_pushButtonWriteLoParam_clicked(int n)
{
    if (!complete({n}))
        return;
    QList<DescriptorWrites::Write> writes;
    lineWrites(n, &writes);
    host.write(writes, QString(), [this, n] { refreshVerdict(n); });
}

void TovikLinesTab::on_pushButtonWriteAllLo_clicked()
{
    QList<int> all;
    for (int n = 0; n < lineCount; ++n)
        all << n;
    if (!complete(all))
        return;
    QList<DescriptorWrites::Write> writes;
    for (int n = 0; n < lineCount; ++n)
        lineWrites(n, &writes);
    host.write(writes, QString(), [this] {
        for (int n = 0; n < lineCount; ++n)
            refreshVerdict(n);
    });
}

void TovikLinesTab::calibrate(const QList<int> &which)
{
    if (!host.linked()) {
        host.error(QStringLiteral("Калибровка не выполнена: устройство не подключено."));
        return;
    }
    QList<DescriptorWrites::Write> writes;
    for (int n : which) {
        writes.append({recordName("LoCtrlCalibCmd", n), QStringLiteral("1"),
                       QStringLiteral("Калибровка (линия оповещения %1)").arg(n + 1), nullptr});
        // The norm and the calibration time change: the verdict waits for the re-read.
        lines[n].read &= ~(ValueRead | TimeRead);
        refreshVerdict(n);
    }
    host.write(writes, QStringLiteral("Калибровка выполнена."), nullptr);
    readCountdown = calibrationReadDelay;
}

void TovikLinesTab::on_pushButtonWriteLoCalib_clicked(int n)
{
    calibrate({n});
}

void TovikLinesTab::on_pushButtonCalibAllLo_clicked()
{
    calibrate({0, 1, 2, 3, 4, 5, 6, 7});
}
