// The metafile player: any bytes taken as the records of a page of the
// older engine (after a valid header, so the records themselves are what
// varies), played into a picture and that picture shown on a small image,
// as the preview would.

#include "Exception.h"
#include "FuzzTargets.h"
#include "RpEmfPlayer.h"

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QtEndian>

namespace Fuzz {

void EmfPage(const std::uint8_t* data, std::size_t size) {
    // EMR_HEADER of an A4 page for a reference device of 4 pixels a mm.
    QByteArray page(88, '\0');
    const auto put = [&](int offset, quint32 value) {
        qToLittleEndian(value, page.data() + offset);
    };
    put(0, 1);
    put(4, 88);
    put(32, 21000);
    put(36, 29700);
    put(40, TRpEmfPlayer::Signature);
    put(44, 0x10000);
    put(48, quint32(88 + size));
    put(56, 16);
    put(72, 1000);
    put(76, 800);
    put(80, 250);
    put(84, 200);
    page += Bytes(data, size);
    try {
        const std::unique_ptr<QPicture> picture = TRpEmfPlayer::ToPicture(page, 96);
        QImage image(84, 119, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(0.1, 0.1);
        painter.drawPicture(0, 0, *picture);
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
