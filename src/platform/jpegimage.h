#pragma once

#include <QByteArrayView>
#include <QImage>

namespace hy {

// Largest picture decodeJpeg() accepts, in pixels (64 Mpx, 192 MiB as RGB).
// A header that claims more is treated as damaged rather than allocated.
inline constexpr qint64 MaxJpegPixels = qint64(64) * 1024 * 1024;

// Decodes a JPEG file held in memory into a QImage::Format_RGB888 image.
// Colour (YCbCr, RGB), grayscale and CMYK/YCCK pictures all come out as RGB;
// baseline, progressive and arithmetic-coded files are read.
//
// Anything that is not a complete, sound JPEG picture gives a null QImage:
// empty or foreign data, a damaged header, a file cut short anywhere (even
// just its end marker), entropy data the library reports as corrupt, an
// unsupported colour space, or a picture larger than MaxJpegPixels. A half
// decoded picture is never returned. Nothing is printed and the process is
// never ended, whatever the input. Safe to call from any thread.
//
// With `atLeast`, a picture that is larger than needed is decoded at 1/2,
// 1/4 or 1/8 of its size (libjpeg scales while it decodes, which is much
// cheaper than decoding in full and scaling down), never below `atLeast`.
QImage decodeJpeg(QByteArrayView data, QSize atLeast = {});

} // namespace hy
