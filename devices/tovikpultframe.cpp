#include "devices/tovikpultframe.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

TovikPultFrame::TovikPultFrame(const QString &title, int number, QWidget *parent)
    : QFrame(parent)
    , checkBoxPultEnable(new QCheckBox(this))
    , lineEditPultSerial(new QLineEdit(this))
    , lineEditPultState(new QLineEdit(this))
    , labelPultState(new QLabel(this))
{
    checkBoxPultEnable->setObjectName(QStringLiteral("checkBoxPultEnable"));
    lineEditPultSerial->setObjectName(QStringLiteral("lineEditPultSerial"));
    lineEditPultState->setObjectName(QStringLiteral("lineEditPultState"));
    checkBoxPultEnable->setText(QStringLiteral("Включить %1 %2").arg(title.toLower()).arg(number));
    lineEditPultSerial->setReadOnly(true);
    lineEditPultState->setReadOnly(true);
    lineEditPultState->setText(QStringLiteral("неизвестно"));
    lineEditPultState->setStyleSheet(QStringLiteral("color: gray;"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(checkBoxPultEnable, 2);
    layout->addWidget(new QLabel(QStringLiteral("Серийный номер"), this));
    layout->addWidget(lineEditPultSerial, 1);
    layout->addWidget(new QLabel(QStringLiteral("Состояние"), this));
    layout->addWidget(lineEditPultState, 1);
    layout->addWidget(labelPultState, 1);
    labelPultState->hide();
    connect(checkBoxPultEnable, &QCheckBox::stateChanged, this,
            [this](int state) { on_checkBoxPultEnable_stateChanged(state); });
    on_checkBoxPultEnable_stateChanged(Qt::Unchecked);
}

bool TovikPultFrame::isChecked() const
{
    // A box not read yet is partly checked: no row is enabled by it.
    return checkBoxPultEnable->checkState() == Qt::Checked;
}

void TovikPultFrame::setChecked(bool checked)
{
    checkBoxPultEnable->setChecked(checked);
}

qint64 TovikPultFrame::serial() const
{
    bool ok = false;
    const qint64 value = lineEditPultSerial->text().toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

bool TovikPultFrame::setSerial(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0)
        return false;
    lineEditPultSerial->setText(QString::number(value));
    return true;
}

void TovikPultFrame::setState(const QString &text)
{
    lineEditPultState->setText(text);
    lineEditPultState->setStyleSheet(QString());
}

void TovikPultFrame::setLinkState(const QString &text, const QString &styleSheet)
{
    labelPultState->setText(text);
    labelPultState->setStyleSheet(styleSheet);
    labelPultState->show();
}

QString TovikPultFrame::state() const
{
    return lineEditPultState->text();
}

void TovikPultFrame::on_checkBoxPultEnable_stateChanged(int state)
{
    const bool on = state != Qt::Unchecked;
    lineEditPultSerial->setEnabled(on);
    lineEditPultState->setEnabled(on);
}
