#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The descriptor write lists a window has sent and not seen answered yet. A list is one
// user action ("Записать" of one group): its writes go out in order, each answer is matched
// to the oldest list still waiting for a write of that name, and when the last write of a
// list is answered the list ends, once, with the writes that failed. A confirmed write
// runs its own action then (the project changes only after the device said OK).
class DescriptorWrites {
public:
    struct Write {
        // As sent, with the "desc_" prefix; the facade reports it so.
        QString name;
        QString value;
        // What the user calls it, for the message about a failed write.
        QString label;
        // Runs when the device answered OK to this write.
        std::function<void()> confirmed;
    };
    // `failed`: the labels of the writes that failed or were never answered; `linkLost`:
    // the list ended because the link went before every write was answered.
    using Done = std::function<void(const QStringList &failed, bool linkLost)>;

    // A list whose writes have been queued; `unsent` are those that could not be queued
    // (they count as failed, and no answer is awaited for them). A list with nothing to
    // wait for ends at once.
    void add(const QList<Write> &sent, const QStringList &unsent, const Done &done);
    // The answer to a write of `name`: false when no list waits for one.
    bool answered(const QString &name, bool ok);
    // The link went: every list still waiting ends, its unanswered writes failed.
    void abandon();
    bool isEmpty() const { return lists.isEmpty(); }

private:
    struct List {
        QList<Write> waiting;
        QStringList failed;
        Done done;
    };
    QList<List> lists;
};
