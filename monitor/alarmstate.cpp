#include "monitor/alarmstate.h"

#include <QTimer>

AlarmState::AlarmState(QObject *parent)
    : QObject(parent)
    , repeat(new QTimer(this))
{
    repeat->setInterval(defaultRepeatMs);
    connect(repeat, &QTimer::timeout, this, &AlarmState::ring);
}

void AlarmState::setEnabled(bool on)
{
    enabled = on;
    if (!enabled)
        setSounding(false);
}

void AlarmState::setRepeatInterval(int milliseconds)
{
    repeat->setInterval(qMax(1, milliseconds));
}

void AlarmState::faultArrived()
{
    if (!enabled)
        return;
    setSounding(true);
    // Each new fault rings at once; the repetition counts from it.
    repeat->start();
    emit ring();
}

void AlarmState::setUnacknowledged(int count)
{
    if (count == pending)
        return;
    pending = qMax(0, count);
    emit unacknowledgedChanged(pending);
    if (pending == 0)
        setSounding(false);
}

void AlarmState::silence()
{
    setSounding(false);
}

void AlarmState::setSounding(bool on)
{
    if (!on)
        repeat->stop();
    if (sounding == on)
        return;
    sounding = on;
    emit soundingChanged(sounding);
}
