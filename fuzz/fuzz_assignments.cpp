// The config.ini assignment reader: the assignments composed into any downloaded file read
// back as written, and every other line of the file stays as it was, byte for byte. In a
// file with a lone CR line end, a blank line beside a removed line may go (the CR before and
// the LF after meet as one CRLF): there every line that is not blank stays as it was, in
// order, its line end aside.
//
// Input: one byte choosing the group, then the file, a NUL, the path for signal 1 (UTF-8),
// a NUL, the path for signal 2.
#include "fuzz/fuzzcheck.h"
#include "link/assignmentconfig.h"
#include "link/initext.h"

#include <QList>

namespace {

// The text with both keys of the group removed: what compose() must leave alone.
QByteArray withoutAssignments(const QByteArray &bytes, const QString &group)
{
    IniText text(bytes);
    text.remove(group, QStringLiteral("file_1"));
    text.remove(group, QStringLiteral("file_2"));
    return text.bytes();
}

// The lines that are not blank, each ended by an LF, for a file with a lone CR.
QByteArray nonBlankLines(const QByteArray &bytes)
{
    QByteArray result;
    for (const QByteArray &line : bytes.split('\n')) {
        for (const QByteArray &part : line.split('\r')) {
            if (!part.isEmpty())
                result += part + '\n';
        }
    }
    return result;
}

bool hasLoneCr(const QByteArray &bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r' && (i + 1 == bytes.size() || bytes.at(i + 1) != '\n'))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    if (size < 1)
        return 0;
    const QString group =
        (data[0] & 1) ? QStringLiteral("audiofiles") : QStringLiteral("pult_files");
    const QList<QByteArray> parts = Fuzz::bytes(data + 1, size - 1).split('\0');
    const QByteArray file = parts.value(0);
    const QString paths[] = {QString::fromUtf8(parts.value(1)), QString::fromUtf8(parts.value(2))};

    AssignmentConfig config(group);
    config.setDownloaded(file);
    FUZZ_CHECK(config.downloaded() == file);
    QByteArray composed;
    QString error;
    if (!config.compose(paths[0], paths[1], &composed, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }

    AssignmentConfig reread(group);
    reread.setDownloaded(composed);
    for (int signal = 1; signal <= 2; ++signal)
        FUZZ_CHECK(reread.assignment(signal) == paths[signal - 1]);

    // Apart from the two keys, at most a line end after a last line without one and the
    // group's header line were added at the end.
    QByteArray before = withoutAssignments(file, group);
    QByteArray after = withoutAssignments(composed, group);
    if (hasLoneCr(file)) {
        before = nonBlankLines(before);
        after = nonBlankLines(after);
    }
    if (after != before) {
        FUZZ_CHECK(after.startsWith(before));
        const QByteArray added = after.mid(before.size()).trimmed();
        FUZZ_CHECK(added.isEmpty() || added == "[" + group.toLatin1() + "]");
    }
    return 0;
}
