#include "devices/descriptorwrites.h"

void DescriptorWrites::add(const QList<Write> &sent, const QStringList &unsent, const Done &done)
{
    if (sent.isEmpty()) {
        if (done)
            done(unsent, false);
        return;
    }
    lists.append({sent, unsent, done});
}

bool DescriptorWrites::answered(const QString &name, bool ok)
{
    for (int i = 0; i < lists.size(); ++i) {
        List &list = lists[i];
        for (int j = 0; j < list.waiting.size(); ++j) {
            if (list.waiting.at(j).name != name)
                continue;
            // The books are kept first: the actions below may start other writes.
            const Write write = list.waiting.takeAt(j);
            if (!ok)
                list.failed.append(write.label);
            List ended;
            const bool over = list.waiting.isEmpty();
            if (over)
                ended = lists.takeAt(i);
            if (ok && write.confirmed)
                write.confirmed();
            if (over && ended.done)
                ended.done(ended.failed, false);
            return true;
        }
    }
    return false;
}

void DescriptorWrites::abandon()
{
    const QList<List> ended = lists;
    lists.clear();
    for (const List &list : ended) {
        QStringList failed = list.failed;
        for (const Write &write : list.waiting)
            failed.append(write.label);
        if (list.done)
            list.done(failed, true);
    }
}
