#pragma once

#include <QString>

// A one-line progress bar on standard error ("erase [#######.............]  35%"), redrawn
// in place. Shown when standard error is a terminal, or when forced (--progress).
class CliProgress {
public:
    static void setForced(bool forced);
    static bool enabled();

    // Starts a bar for `total` units (bytes, addresses).
    CliProgress(const QString &label, qint64 total);
    ~CliProgress();

    void update(qint64 done);
    // Draws the bar full and ends its line.
    void finish();

private:
    void draw(int percent);

    QString label;
    qint64 total;
    int shown = -1;
    bool finished = false;
};
