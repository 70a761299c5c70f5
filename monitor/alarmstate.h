#pragma once

#include <QObject>

class QTimer;

// Whether the monitoring console's alarm sounds. A new fault starts it; it repeats every
// repeat interval until every fault is acknowledged or an operator silences it; a fault
// newer than the silencing starts it again. The sound itself is the window's business:
// it plays on every ring().
class AlarmState : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultRepeatMs = 4000;

    explicit AlarmState(QObject *parent = nullptr);

    // [monitor] sound: off, nothing ever sounds.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled; }
    void setRepeatInterval(int milliseconds);
    bool isSounding() const { return sounding; }
    int unacknowledged() const { return pending; }

public slots:
    // A fault was recorded (not its clearing).
    void faultArrived();
    // The number of events not yet acknowledged; none left stops the alarm.
    void setUnacknowledged(int count);
    // "Отключить звук".
    void silence();

signals:
    // Play the sound once (now, and at every repetition).
    void ring();
    void soundingChanged(bool sounding);
    void unacknowledgedChanged(int count);

private:
    void setSounding(bool on);

    QTimer *repeat = nullptr;
    bool enabled = true;
    bool sounding = false;
    int pending = 0;
};
