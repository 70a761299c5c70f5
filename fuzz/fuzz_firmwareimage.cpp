// The firmware image loader: any file is an image or refused with a reason, and every
// page an image hands out lies within its payload.
#include "fuzz/fuzzcheck.h"
#include "project/firmwareimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    static const QString input = Fuzz::scratchPath("image.norda");
    const QByteArray bytes = Fuzz::bytes(data, size);
    if (!Fuzz::write(input, bytes))
        return 0;
    FirmwareImage image;
    if (!image.load(input)) {
        FUZZ_CHECK(!image.valid());
        FUZZ_CHECK(image.loadError() != FirmwareImage::LoadError::None);
        FUZZ_CHECK(!image.errorString().isEmpty());
        return 0;
    }
    FUZZ_CHECK(image.valid());
    FUZZ_CHECK(bytes.startsWith("nord"));
    FUZZ_CHECK(image.size() <= FirmwareImage::maxPayloadSize);
    FUZZ_CHECK(image.size() <= bytes.size() - FirmwareImage::headerSize);
    FUZZ_CHECK(bytes.mid(FirmwareImage::headerSize, image.size()) == image.data());
    FUZZ_CHECK(quint64(image.flashBase()) + quint64(image.size()) <= 0x100000000ULL);
    // Pages from the first to one past the end, and addresses around the area.
    for (uint32_t offset = 0; offset <= uint32_t(image.size()) + 256; offset += 256) {
        const QByteArray page = image.chunk(image.flashBase() + offset, 256);
        if (!page.isEmpty())
            FUZZ_CHECK(page == image.data().mid(int(offset), 256));
        else
            FUZZ_CHECK(offset + 256 > uint32_t(image.size()));
    }
    FUZZ_CHECK(image.chunk(image.flashBase() - 1, 2).isEmpty());
    FUZZ_CHECK(image.chunk(image.flashBase(), 0xFFFFFFFFu).isEmpty() || image.size() == 0);
    return 0;
}
