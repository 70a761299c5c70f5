#pragma once

#include <QFrame>

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The frame of one alarm line of the central unit: what the unit reports (calibration
// time, state, measured value), its settings (control, norm, tolerance) with "Выполнить
// калибровку" and "Записать", and the acceptance record kept in the parameter database
// with its verdict. The logic is TovikLinesTab's; this is the widgets.
class FrameLo : public QFrame {
    Q_OBJECT

public:
    // `line` from 0; the group is titled "Линия оповещения " + (line + 1).
    explicit FrameLo(int line, QWidget *parent = nullptr);

    int line() const { return m_line; }

    QGroupBox *groupBoxLo;
    QLineEdit *lineEditCalibDateTime;
    QLineEdit *lineEditLoState;
    QLineEdit *lineEditLoVoltage;
    QDoubleSpinBox *spinBoxLoThreshold;
    QComboBox *comboBoxLoCtrlEnable;
    QDoubleSpinBox *spinBoxLoNorm;
    QPushButton *pushButtonCalibLo;
    QPushButton *pushButtonWrite;
    QGroupBox *groupBoxInspection;
    QLineEdit *lineEditDateTimeBase;
    QLineEdit *lineEditNormaBase;
    QLineEdit *lineEditControlOnBase;
    QLineEdit *lineEditThresholdBase;
    QPushButton *pushButtonCopyLoParams;
    QPushButton *pushButtonSaveLoParams;
    QLabel *labelInspectionMessage;

    // The acceptance fields in italics (copied from the unit, not saved yet) or upright.
    void setAcceptanceEdited(bool edited);

private:
    int m_line;
};
