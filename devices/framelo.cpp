#include "devices/framelo.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

namespace {

template<typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLineEdit *readOnly(QLineEdit *edit)
{
    edit->setReadOnly(true);
    return edit;
}

// Wide enough for the longest of `samples`: a field squeezed below its text shows only
// the text's end ("нет в базе" would read "в базе").
void fitTo(QLineEdit *edit, const QStringList &samples)
{
    int text = 0;
    for (const QString &sample : samples)
        text = qMax(text, edit->fontMetrics().horizontalAdvance(sample));
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QMargins margins = edit->textMargins();
    // QLineEdit's own margins around the text and the cursor.
    constexpr int lineEditMargins = 2 * 2 + 2;
    const QSize contents(text + margins.left() + margins.right() + lineEditMargins,
                         edit->sizeHint().height());
    edit->setMinimumWidth(
        edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, edit).width());
}

QDoubleSpinBox *volts(QDoubleSpinBox *box)
{
    box->setDecimals(3);
    box->setRange(0.0, 99.999);
    box->setSingleStep(0.1);
    box->setSuffix(QStringLiteral(" В"));
    return box;
}

} // namespace

FrameLo::FrameLo(int line, QWidget *parent)
    : QFrame(parent)
    , groupBoxLo(named(new QGroupBox(this), "groupBoxLo"))
    , lineEditCalibDateTime(readOnly(named(new QLineEdit, "lineEditCalibDateTime")))
    , lineEditLoState(readOnly(named(new QLineEdit, "lineEditLoState")))
    , lineEditLoVoltage(readOnly(named(new QLineEdit, "lineEditLoVoltage")))
    , spinBoxLoThreshold(volts(named(new QDoubleSpinBox, "spinBoxLoThreshold")))
    , comboBoxLoCtrlEnable(named(new QComboBox, "comboBoxLoCtrlEnable"))
    , spinBoxLoNorm(volts(named(new QDoubleSpinBox, "spinBoxLoNorm")))
    , pushButtonCalibLo(
          named(new QPushButton(QStringLiteral("Выполнить калибровку")), "pushButtonCalibLo"))
    , pushButtonWrite(named(new QPushButton(QStringLiteral("Записать")), "pushButtonWrite"))
    , groupBoxInspection(named(new QGroupBox(QStringLiteral("Приёмка")), "groupBoxInspection"))
    , lineEditDateTimeBase(readOnly(named(new QLineEdit, "lineEditDateTimeBase")))
    , lineEditNormaBase(readOnly(named(new QLineEdit, "lineEditNormaBase")))
    , lineEditControlOnBase(readOnly(named(new QLineEdit, "lineEditControlOnBase")))
    , lineEditThresholdBase(readOnly(named(new QLineEdit, "lineEditThresholdBase")))
    , pushButtonCopyLoParams(named(new QPushButton(QStringLiteral("Установить данными из прибора")),
                                   "pushButtonCopyLoParams"))
    , pushButtonSaveLoParams(
          named(new QPushButton(QStringLiteral("Сохранить в базе")), "pushButtonSaveLoParams"))
    , labelInspectionMessage(named(new QLabel, "labelInspectionMessage"))
    , m_line(line)
{
    setObjectName(QStringLiteral("frameLo%1").arg(line + 1));
    groupBoxLo->setTitle(QStringLiteral("Линия оповещения %1").arg(line + 1));
    comboBoxLoCtrlEnable->addItems({QStringLiteral("откл"), QStringLiteral("вкл")});
    comboBoxLoCtrlEnable->setCurrentIndex(-1);
    labelInspectionMessage->setWordWrap(true);

    auto *unit = new QFormLayout;
    unit->addRow(QStringLiteral("Дата/время калибровки (в приборе)"), lineEditCalibDateTime);
    unit->addRow(QStringLiteral("Текущее состояние"), lineEditLoState);
    unit->addRow(QStringLiteral("Текущее значение, В"), lineEditLoVoltage);
    unit->addRow(QStringLiteral("Контроль линии"), comboBoxLoCtrlEnable);
    unit->addRow(QStringLiteral("Норма, В"), spinBoxLoNorm);
    unit->addRow(QStringLiteral("Допуск, В"), spinBoxLoThreshold);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pushButtonCalibLo);
    buttons->addWidget(pushButtonWrite);
    unit->addRow(buttons);

    auto *record = new QFormLayout(groupBoxInspection);
    record->addRow(QStringLiteral("Дата/время приёмки (в базе)"), lineEditDateTimeBase);
    record->addRow(QStringLiteral("Норма на момент приёмки (в базе), В"), lineEditNormaBase);
    record->addRow(QStringLiteral("Контроль линии на момент приемки (в базе)"),
                   lineEditControlOnBase);
    record->addRow(QStringLiteral("Допуск на момент приемки (в базе), В"), lineEditThresholdBase);
    auto *recordButtons = new QHBoxLayout;
    recordButtons->addWidget(pushButtonCopyLoParams);
    recordButtons->addWidget(pushButtonSaveLoParams);
    record->addRow(recordButtons);
    record->addRow(labelInspectionMessage);

    // What the unit reports beside its acceptance record, every text whole: a line is as
    // wide as a laptop screen allows.
    const QString time = QStringLiteral("00:00:00 00.00.0000");
    const QString absent = QStringLiteral("нет в базе");
    fitTo(lineEditCalibDateTime, {time});
    fitTo(lineEditLoState,
          {QStringLiteral("короткое замыкание"), QStringLiteral("выход за границы")});
    fitTo(lineEditLoVoltage, {QStringLiteral("00.000")});
    for (QLineEdit *edit :
         {lineEditDateTimeBase, lineEditNormaBase, lineEditControlOnBase, lineEditThresholdBase})
        fitTo(edit, {time, absent});
    comboBoxLoCtrlEnable->setMinimumWidth(comboBoxLoCtrlEnable->sizeHint().width());

    auto *columns = new QHBoxLayout(groupBoxLo);
    columns->addLayout(unit);
    columns->addWidget(groupBoxInspection);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(groupBoxLo);
}

void FrameLo::setAcceptanceEdited(bool edited)
{
    for (QLineEdit *edit :
         {lineEditDateTimeBase, lineEditNormaBase, lineEditControlOnBase, lineEditThresholdBase}) {
        QFont font = edit->font();
        font.setItalic(edited);
        edit->setFont(font);
    }
}
