#pragma once

#include "devices/descriptorwrites.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

// The tabs "Линии ППК", "Входы" and "Выходы" of the central unit form, which the four-line
// unit's window shares: the fire-panel (PPK) input controls, the three control inputs and
// the three outputs with their 14 signal assignments. It shows descriptor answers in the
// widgets and composes the reads and writes of each group; the window sends them.
class TovikIoTabs {
public:
    static constexpr int ppkCount = 8;
    static constexpr int inputCount = 3;
    static constexpr int outputCount = 3;
    static constexpr int assignCount = 14;

    // Finds the widgets by their object names in the form.
    explicit TovikIoTabs(QWidget *form);

    static QStringList ppkReads();
    // Input n (0-2): its state and control.
    static QStringList inputReads(int n);
    // The states of all three inputs, or of all three outputs (what the polls read).
    static QStringList inputStateReads();
    static QStringList outputStateReads();
    // Output k (0-2): state, polarity, the 14 assignments.
    static QStringList outputReads(int k);

    // False, with the reason, when a field holds no value.
    bool ppkWrites(QList<DescriptorWrites::Write> *writes, QString *refusal) const;
    bool inputWrites(int n, QList<DescriptorWrites::Write> *writes, QString *refusal) const;
    bool outputWrites(int k, QList<DescriptorWrites::Write> *writes, QString *refusal) const;

    // Shows a (good) descriptor answer; false when the name is none of these tabs'.
    bool show(const QString &name, int index, const QString &value);
    // The PPK input states of the status answer, two bits per input: 0 norm, 1 fire,
    // 2 line fault, 3 leaves the label as it is.
    void showPpkStates(quint64 states);

    QLabel *ppkStatus(int n) const { return ppkLabels[size_t(n)]; }

private:
    std::array<QComboBox *, ppkCount> ppkBoxes {};
    std::array<QLabel *, ppkCount> ppkLabels {};
    std::array<QLineEdit *, inputCount> inputStates {};
    std::array<QComboBox *, inputCount> inputControls {};
    std::array<QLineEdit *, outputCount> outputStates {};
    std::array<QComboBox *, outputCount> outputPolarities {};
    std::array<std::array<QCheckBox *, assignCount>, outputCount> assigns {};
};
