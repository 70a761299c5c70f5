#pragma once

#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;

// One row of the central unit's RS-485 bus: a console ("Пульт") or an extension unit
// ("Блок расширения") with its enable box, serial number and state. The serial number and
// state fields are enabled while the box is ticked.
class TovikPultFrame : public QFrame {
    Q_OBJECT

public:
    // `title` "Пульт" or "Блок расширения", `number` from 1.
    TovikPultFrame(const QString &title, int number, QWidget *parent = nullptr);

    // Ticked (a box that holds no value yet is not).
    bool isChecked() const;
    void setChecked(bool checked);
    // The serial number field as a decimal integer; -1 when it holds none.
    qint64 serial() const;
    // Shows a decimal serial number; false (and nothing shown) for a text that is none.
    bool setSerial(const QString &text);
    void setState(const QString &text);
    QString state() const;

    QCheckBox *enableBox() const { return checkBoxPultEnable; }
    // Whether the unit has the row switched on, as it last answered or confirmed a write:
    // 1 on, 0 off, -1 not known. The box is the user's until written.
    int unitEnabled() const { return m_unitEnabled; }
    void setUnitEnabled(bool on) { m_unitEnabled = on ? 1 : 0; }
    // The state the unit's status reports for the row ("Состояние: подключен"), in its
    // colour; hidden until the first report.
    void setLinkState(const QString &text, const QString &styleSheet);
    QLabel *linkStateLabel() const { return labelPultState; }

    void on_checkBoxPultEnable_stateChanged(int state);

private:
    QCheckBox *checkBoxPultEnable;
    QLineEdit *lineEditPultSerial;
    QLineEdit *lineEditPultState;
    QLabel *labelPultState;
    int m_unitEnabled = -1;
};
