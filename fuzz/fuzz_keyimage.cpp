// The key image builder fed with projects read from fuzzed files: every image it builds
// is one the console can walk, entry by entry and record by record, to its last byte.
#include "fuzz/fuzzcheck.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectfile.h"
#include "project/projectmodel.h"

namespace {

quint32 littleEndian(const QByteArray &bytes, int at, int size)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint32(uchar(bytes.at(at + i))) << (8 * i);
    return value;
}

// Walks an image as the console does; the number of entries, or -1 where it does not add up.
int entryCount(const QByteArray &image)
{
    if (image.size() < 6 || littleEndian(image, 0, 4) != quint32(image.size()) ||
        littleEndian(image, 4, 2) != 1)
        return -1;
    int at = 6;
    int entries = 0;
    while (at < image.size()) {
        if (image.size() - at < 2)
            return -1;
        const int length = int(littleEndian(image, at, 2));
        at += 2;
        if (length < 2 || image.size() - at < length)
            return -1;
        const int end = at + length;
        if (uchar(image.at(at)) != (entries & 0xFF))
            return -1;
        const int nameLength = uchar(image.at(at + 1));
        if (nameLength > 32 || end - (at + 2) < nameLength)
            return -1;
        int record = at + 2 + nameLength;
        while (record < end) {
            const int recordLength = uchar(image.at(record));
            // flags, type, serial and the mask length at least
            if (recordLength < 7 || end - (record + 1) < recordLength)
                return -1;
            const uchar flags = uchar(image.at(record + 1));
            const int maskLengthAt =
                record + 7 + ((flags & 0x40) ? 4 : 0) + ((flags & 0x20) ? 1 : 0);
            if (maskLengthAt > record + recordLength)
                return -1;
            const int maskLength = uchar(image.at(maskLengthAt));
            if (maskLength < 1 || maskLength > 8 ||
                maskLengthAt + maskLength != record + recordLength)
                return -1;
            record += 1 + recordLength;
        }
        if (record != end)
            return -1;
        at = end;
        ++entries;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    static const QString input = Fuzz::scratchPath("keys.mpj");
    if (!Fuzz::write(input, Fuzz::bytes(data, size)))
        return 0;
    ProjectModel project(ProjectModel::Journals::None);
    if (ProjectFile::read(&project, input) != 0)
        return 0;
    const QList<ProjectDevice *> devices = project.allDevices();
    for (const ProjectDevice *device : devices) {
        QByteArray image("unchanged");
        QString error;
        if (!keyConfigImage(device, &image, &error)) {
            FUZZ_CHECK(image == "unchanged");
            FUZZ_CHECK(!error.isEmpty());
            continue;
        }
        const int entries = entryCount(image);
        FUZZ_CHECK(entries >= 0);
        FUZZ_CHECK(entries == (isConsoleType(device->type) ? device->buttonCount() : 0));
    }
    return 0;
}
