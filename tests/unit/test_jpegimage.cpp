#include "platform/jpegimage.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

using hy::decodeJpeg;

class TestJpegImage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void decodesPictures_data();
    void decodesPictures();
    void rejectsDamagedData_data();
    void rejectsDamagedData();
    void survivesRandomDamage();
    void decodesReducedWhenAsked_data();
    void decodesReducedWhenAsked();

private:
    QByteArray m_about;
    QByteArray m_sample; // small RGB picture written by Qt's JPEG writer
};

namespace {

QByteArray writeWithQt(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot write %s sample: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

// Left half one colour, right half another: a real edge, a known mean.
QImage twoTone(QSize size, QColor left, QColor right, QImage::Format format = QImage::Format_RGB888)
{
    QImage image(size, QImage::Format_RGB888);
    image.fill(right);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), left);
    return image.convertToFormat(format);
}

// Qt cannot write CMYK, so these samples come straight from libjpeg. The
// values are stored inverted, as Adobe's programs do (libjpeg then writes the
// Adobe marker that tells readers so).
QByteArray writeCmyk(QSize size, const uchar (&inverted)[4], J_COLOR_SPACE stored)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(size.width());
    c.image_height = JDIMENSION(size.height());
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, stored);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(size.width()) * 4);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = inverted[i % 4];
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    jpeg_destroy_compress(&c);
    return bytes;
}

// Number of components in the frame header, to be sure a sample is of the
// kind its row claims.
int frameComponents(const QByteArray& jpeg)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC2)
            return uchar(jpeg[i + 9]);
    }
    return -1;
}

QColor meanColour(const QImage& rgb)
{
    qint64 sum[3] = {};
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width() * 3; ++x)
            sum[x % 3] += line[x];
    }
    const qint64 n = qint64(rgb.width()) * rgb.height();
    return QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
}

int distinctColours(const QImage& rgb)
{
    QSet<QRgb> seen;
    for (int y = 0; y < rgb.height(); y += 2)
        for (int x = 0; x < rgb.width(); x += 2)
            seen.insert(rgb.pixel(x, y));
    return int(seen.size());
}

} // namespace

void TestJpegImage::initTestCase()
{
    QFile about(QStringLiteral(HY_SOURCE_DIR "/resources/about.jpg"));
    QVERIFY2(about.open(QIODevice::ReadOnly), qPrintable(about.errorString()));
    m_about = about.readAll();
    QVERIFY2(QImageWriter::supportedImageFormats().contains("jpeg"),
             "Qt's JPEG plugin (qt6-image-formats / libqjpeg) is needed to write the samples");
    m_sample = writeWithQt(twoTone({64, 48}, QColor(228, 87, 46), QColor(18, 128, 106)), "jpeg");
}

void TestJpegImage::decodesPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("components");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("mean"); // invalid: not checked
    QTest::addColumn<int>("minColours");

    const QColor coral(228, 87, 46), teal(18, 128, 106);
    const QColor mixed((228 + 18) / 2, (87 + 128) / 2, (46 + 106) / 2);
    QTest::newRow("about.jpg") << m_about << 3 << QSize(800, 920) << QColor() << 1000;
    QTest::newRow("rgb baseline") << m_sample << 3 << QSize(64, 48) << mixed << 2;
    QTest::newRow("rgb progressive") << writeWithQt(twoTone({64, 48}, coral, teal), "jpeg", true)
                                     << 3 << QSize(64, 48) << mixed << 2;
    QTest::newRow("odd size 17x9")
        << writeWithQt(twoTone({17, 9}, teal, teal), "jpeg") << 3 << QSize(17, 9) << teal << 1;
    QTest::newRow("1x1") << writeWithQt(twoTone({1, 1}, coral, coral), "jpeg") << 3 << QSize(1, 1)
                         << coral << 1;
    QTest::newRow("grayscale") << writeWithQt(twoTone({40, 30}, QColor(40, 40, 40),
                                                      QColor(200, 200, 200),
                                                      QImage::Format_Grayscale8),
                                              "jpeg")
                               << 1 << QSize(40, 30) << QColor(120, 120, 120) << 2;
    // Dark red: C 0, M 255, Y 255, K 64, stored inverted as 255, 0, 0, 191.
    const uchar darkRed[4] = {255, 0, 0, 191};
    QTest::newRow("cmyk") << writeCmyk({24, 16}, darkRed, JCS_CMYK) << 4 << QSize(24, 16)
                          << QColor(191, 0, 0) << 1;
    QTest::newRow("ycck") << writeCmyk({24, 16}, darkRed, JCS_YCCK) << 4 << QSize(24, 16)
                          << QColor(191, 0, 0) << 1;
}

void TestJpegImage::decodesPictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, components);
    QFETCH(QSize, size);
    QFETCH(QColor, mean);
    QFETCH(int, minColours);
    QCOMPARE(frameComponents(bytes), components);

    const QImage image = decodeJpeg(bytes);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB888);
    QVERIFY2(distinctColours(image) >= minColours, "picture came out blank");
    if (mean.isValid()) {
        const QColor got = meanColour(image);
        const int off =
            std::max({std::abs(got.red() - mean.red()), std::abs(got.green() - mean.green()),
                      std::abs(got.blue() - mean.blue())});
        QVERIFY2(
            off <= 6,
            qPrintable(QStringLiteral("mean colour %1, expected %2").arg(got.name(), mean.name())));
    }

    // Pixel by pixel against Qt's own JPEG reader.
    const QImage reference = QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB888);
    QCOMPARE(reference.size(), size);
    int worst = 0;
    for (int y = 0; y < size.height(); ++y) {
        const uchar* a = image.constScanLine(y);
        const uchar* b = reference.constScanLine(y);
        for (int x = 0; x < size.width() * 3; ++x)
            worst = std::max(worst, std::abs(a[x] - b[x]));
    }
    QVERIFY2(worst <= 2, qPrintable(QStringLiteral("differs from Qt's reader by %1").arg(worst)));
}

void TestJpegImage::rejectsDamagedData_data()
{
    QTest::addColumn<QByteArray>("bytes");

    // Where the entropy-coded data of about.jpg starts: just after the
    // start-of-scan segment.
    const qsizetype sos = m_about.indexOf(QByteArray("\xFF\xDA", 2));
    QVERIFY(sos > 0);
    const qsizetype scanData = sos + 2 + ((uchar(m_about[sos + 2]) << 8) | uchar(m_about[sos + 3]));

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("start marker only") << m_about.left(2);
    QTest::newRow("cut inside the tables") << m_about.left(sos / 2);
    QTest::newRow("header only, no scan data") << m_about.left(scanData);
    QTest::newRow("half the file") << m_about.left(m_about.size() / 2);
    QTest::newRow("all but the last 64 bytes") << m_about.left(m_about.size() - 64);
    QTest::newRow("end marker missing") << m_about.left(m_about.size() - 2);
    QTest::newRow("small file, last scan bytes cut") << m_sample.left(m_sample.size() - 6);

    QByteArray random(4096, Qt::Uninitialized);
    QRandomGenerator rng(20240601);
    for (char& c : random)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << random;
    QTest::newRow("start marker, then random bytes") << QByteArray("\xFF\xD8", 2) + random;

    // The sample's scan data replaced by noise: the Huffman decoder stumbles.
    QByteArray garbled = m_sample;
    const qsizetype sampleScan = garbled.indexOf(QByteArray("\xFF\xDA", 2)) + 14;
    for (qsizetype i = sampleScan; i < garbled.size() - 2; ++i)
        garbled[i] = char(rng.bounded(256) | 0x01); // never 0xFF 0x00 stuffing
    QTest::newRow("scan data replaced by noise") << garbled;

    QByteArray huge = m_sample; // frame header claims 60000 x 60000 pixels
    const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
    QVERIFY(sof > 0);
    huge[sof + 5] = huge[sof + 7] = char(60000 >> 8);
    huge[sof + 6] = huge[sof + 8] = char(60000 & 0xFF);
    QTest::newRow("frame larger than the limit") << huge;

    QTest::newRow("png file") << writeWithQt(twoTone({16, 16}, Qt::red, Qt::blue), "png");
}

void TestJpegImage::rejectsDamagedData()
{
    QFETCH(QByteArray, bytes);
    const QImage image = decodeJpeg(bytes);
    QVERIFY2(image.isNull(),
             qPrintable(
                 QStringLiteral("decoded a %1x%2 picture").arg(image.width()).arg(image.height())));
}

// Bytes overwritten anywhere in a small file: whatever comes out is either
// nothing or a whole picture, and the process is still here afterwards.
void TestJpegImage::survivesRandomDamage()
{
    QRandomGenerator rng(7);
    int rejected = 0;
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes = m_sample;
        for (int n = 1 + round % 4; n > 0; --n)
            bytes[rng.bounded(int(bytes.size()))] = char(rng.bounded(256));
        const QImage image = decodeJpeg(bytes);
        if (image.isNull()) {
            ++rejected;
            continue;
        }
        QCOMPARE(image.format(), QImage::Format_RGB888);
        QVERIFY(qint64(image.width()) * image.height() <= hy::MaxJpegPixels);
    }
    qInfo("damaged copies rejected: %d of 2000", rejected);
    QVERIFY(rejected > 0);
}

void TestJpegImage::decodesReducedWhenAsked_data()
{
    QTest::addColumn<QSize>("atLeast");
    QTest::addColumn<QSize>("decoded");
    QTest::newRow("no wish") << QSize() << QSize(800, 920);
    QTest::newRow("the about box") << QSize(188, 218) << QSize(200, 230);
    QTest::newRow("exactly a quarter") << QSize(200, 230) << QSize(200, 230);
    QTest::newRow("a bit more than a quarter") << QSize(201, 230) << QSize(400, 460);
    QTest::newRow("tiny") << QSize(10, 10) << QSize(100, 115);
    QTest::newRow("larger than the picture") << QSize(1000, 1000) << QSize(800, 920);
}

void TestJpegImage::decodesReducedWhenAsked()
{
    QFETCH(QSize, atLeast);
    QFETCH(QSize, decoded);
    const QImage image = hy::decodeJpeg(m_about, atLeast);
    QCOMPARE(image.size(), decoded);
    // The same picture: its mean colour matches the full decode's.
    const QImage full =
        hy::decodeJpeg(m_about).scaled(decoded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto mean = [](const QImage& im) {
        qint64 sum[3] = {0, 0, 0};
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x) {
                const QRgb p = im.pixel(x, y);
                sum[0] += qRed(p);
                sum[1] += qGreen(p);
                sum[2] += qBlue(p);
            }
        const qint64 n = qint64(im.width()) * im.height();
        return QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
    };
    const QColor a = mean(image);
    const QColor b = mean(full);
    QVERIFY(qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 &&
            qAbs(a.blue() - b.blue()) <= 3);
}

QTEST_GUILESS_MAIN(TestJpegImage)
#include "test_jpegimage.moc"
