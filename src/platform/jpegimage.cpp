#include "platform/jpegimage.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE

#include <jpeglib.h>

#include <jerror.h>

namespace hy {
namespace {

// libjpeg reports a fatal error through error_exit, which by default prints
// and calls exit(). Ours jumps back into decodeInto() instead. The library's
// struct comes first so that cinfo->err can be cast back to the whole.
struct ErrorHandler
{
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    bool damaged; // a warning said picture data is missing or garbled
};

[[noreturn]] void jumpOut(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorHandler*>(cinfo->err)->jump, 1);
}

// Warnings (level -1) go on decoding with made-up data; the ones below mean
// the result would not be the picture that was stored. Cosmetic ones (an
// unknown JFIF revision, stray bytes between markers, a bad ICC profile) are
// let through. Trace messages (level >= 0) are ignored.
void noteMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        reinterpret_cast<ErrorHandler*>(cinfo->err)->damaged = true;
        break;
    default:
        break;
    }
}

void printNothing(j_common_ptr) {}

// Everything that must survive the jump back from jumpOut() lives in the
// caller's frame, not in decodeInto()'s, so nothing there is left with an
// indeterminate value or a skipped destructor.
struct Decode
{
    jpeg_decompress_struct cinfo{}; // zeroed: jpeg_destroy looks at cinfo.mem
    ErrorHandler err{};
    QImage image;
};

// Adobe's CMYK JPEGs (the only kind in practice; libjpeg marks them with
// saw_Adobe_marker) store the components inverted: 255 means no ink.
void cmykToRgb(const JSAMPLE* in, uchar* out, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const int k = inverted ? in[3] : 255 - in[3];
        for (int c = 0; c < 3; ++c) {
            const int v = inverted ? in[c] : 255 - in[c];
            out[c] = uchar((v * k + 127) / 255);
        }
    }
}

// The largest reduction libjpeg offers that keeps the picture at least
// `atLeast` big.
unsigned int scaleDenominator(const jpeg_decompress_struct& cinfo, QSize atLeast)
{
    if (!atLeast.isValid())
        return 1;
    for (unsigned int denom : {8u, 4u, 2u}) {
        const unsigned int w = (cinfo.image_width + denom - 1) / denom;
        const unsigned int h = (cinfo.image_height + denom - 1) / denom;
        if (w >= unsigned(atLeast.width()) && h >= unsigned(atLeast.height()))
            return denom;
    }
    return 1;
}

bool decodeInto(QByteArrayView data, QSize atLeast, Decode& d)
{
    jpeg_decompress_struct& cinfo = d.cinfo;
    cinfo.err = jpeg_std_error(&d.err.mgr);
    d.err.mgr.error_exit = jumpOut;
    d.err.mgr.emit_message = noteMessage;
    d.err.mgr.output_message = printNothing;
    d.err.damaged = false;
    if (setjmp(d.err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || d.err.damaged) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK; // libjpeg has no CMYK to RGB step
        break;
    default:
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (qint64(cinfo.image_width) * cinfo.image_height > MaxJpegPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = scaleDenominator(cinfo, atLeast);

    jpeg_start_decompress(&cinfo);
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    if (cinfo.output_components != (cmyk ? 4 : 3)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    d.image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (d.image.isNull()) { // out of memory
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The CMYK row comes from the library's pool, which jpeg_destroy frees.
    JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                           JPOOL_IMAGE, cinfo.output_width * 4, 1)
                              : nullptr;
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar* line = d.image.scanLine(int(cinfo.output_scanline));
        JSAMPROW row = cmyk ? cmykRow[0] : line;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            break; // cannot happen with a memory source; treated as damage below
        if (cmyk)
            cmykToRgb(row, line, cinfo.output_width, cinfo.saw_Adobe_marker);
    }
    const bool complete = cinfo.output_scanline == cinfo.output_height;
    if (complete)
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return complete && !d.err.damaged;
}

} // namespace

QImage decodeJpeg(QByteArrayView data, QSize atLeast)
{
    if (data.isEmpty())
        return {};
    Decode d;
    if (!decodeInto(data, atLeast, d))
        return {};
    return d.image;
}

} // namespace hy
