// Report files of the older engine, whose pages are Windows enhanced
// metafiles: they open with either header, show, print to PDF and hand their
// text to whatever replays the page, and a damaged page fails alone.
//
// The metafiles are written by libEMF through its GDI calls (EmfLibPages) and
// by a small record writer (EmfWriter.h) for what libEMF does not write; the
// page files around them by the program's own page list. Expected positions
// are worked out by hand from the records (and the published metrics of the
// Liberation fonts: ascent 0.905 em, descent 0.212 em, as Arial's).

#include "EmfLibPages.h"
#include "EmfWriter.h"
#include "Exception.h"
#include "RpEmfPlayer.h"
#include "RpPageList.h"
#include "RpPrinter.h"
#include "RpStream.h"
#include "TestUtil.h"

#include <QFontInfo>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPicture>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <gtest/gtest.h>

#include <bit>
#include <functional>

using EmfTest::TEmfWriter;

namespace {

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

// A page file of the given metafile pages, written by the page list; old
// turns it into the older engine's 124-byte header form.
QString ReportFile(const QList<QByteArray>& pages, bool compressed = false, bool old = false) {
    static int serial = 0;
    const QString name = TestUtil::Scratch().filePath(QStringLiteral("old%1.RPP").arg(++serial));
    TRpPageList list;
    list.SetStream(std::make_unique<TRpStream>());
    list.SetCompression(compressed);
    for (const QByteArray& page : pages)
        list.AppendPageData(page);
    list.WriteListHeader();
    list.SavePageFile(name);
    if (old) {
        const QByteArray file = TestUtil::ReadFile(name);
        QByteArray out = file.left(124);
        out.replace(12, 112, QByteArray(112, '\0'));
        out[21] = compressed ? 1 : 0;
        QByteArray records = file.mid(128);
        qint64 at = 0;
        while (at < records.size()) {
            const quint32 next = qFromLittleEndian<quint32>(records.constData() + at + 4);
            qToLittleEndian(quint32(next - 4), records.data() + at + 4);
            const qint64 back = next - 128 - 4;
            qToLittleEndian(quint32(at + 124), records.data() + back);
            at = next - 128;
        }
        TestUtil::WriteFile(name, out + records);
    }
    return name;
}

// A paint device that keeps every text drawn on it with its baseline-left
// point in millimetres, as a text search or a PDF would see it.
struct TText {
    QString Text;
    QPointF At;     // mm
    double EmMm;    // the font's em in mm
    double WidthMm; // advance of the whole string
    QString Family;
};

class TTextEngine : public QPaintEngine {
public:
    TTextEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    std::vector<TText> Texts;
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    Type type() const override { return QPaintEngine::User; }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QTransform t = painter()->transform();
        const double scale = std::sqrt(std::abs(t.determinant()));
        const QFont font = item.font();
        const QFontMetricsF metrics(font, paintDevice());
        const double px = font.pixelSize() > 0
                              ? font.pixelSize()
                              : font.pointSizeF() * paintDevice()->logicalDpiY() / 72.0;
        const double mm = 25.4 / paintDevice()->logicalDpiX();
        Texts.push_back({item.text(), t.map(p) * mm, px * scale * mm,
                         metrics.horizontalAdvance(item.text()) * scale * mm,
                         QFontInfo(font).family()});
    }
};

// The device has the pages' own resolution (the screen's), as the preview
// has at 100 %, so the picture plays without scaling.
class TTextDevice : public QPaintDevice {
public:
    mutable TTextEngine Engine;
    QPaintEngine* paintEngine() const override { return &Engine; }
    int metric(PaintDeviceMetric m) const override {
        const int dpi = qRound(TRpPrinter::ScreenDpi());
        switch (m) {
        case PdmWidth:
            return 2100 * dpi / 254;
        case PdmHeight:
            return 2970 * dpi / 254;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return dpi;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return 1;
        default:
            return QPaintDevice::metric(m);
        }
    }
};

// The texts of a page, drawn as the preview and printing draw it.
std::vector<TText> PageTexts(const QPicture& page) {
    TTextDevice device;
    QPainter painter(&device);
    TRpPrinter::DrawPage(painter, page, page.boundingRect());
    painter.end();
    return device.Engine.Texts;
}

const TText* Find(const std::vector<TText>& texts, const QString& text) {
    for (const TText& t : texts)
        if (t.Text == text)
            return &t;
    return nullptr;
}

// The page rendered at 4 pixels a millimetre on white.
QImage Render(const QPicture& page) {
    QImage image(840, 1188, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TRpPrinter::DrawPage(painter, page, QRectF(0, 0, 840, 1188));
    painter.end();
    return image;
}

QRgb At(const QImage& image, double xMm, double yMm) {
    return image.pixel(int(xMm * 4), int(yMm * 4));
}

bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 &&
           std::abs(qBlue(a) - qBlue(b)) < 40;
}

QString Hex(QRgb c) {
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// The page of a one-page report holding the metafile.
std::unique_ptr<QPicture> Page(const QByteArray& emf) {
    TRpPrinter printer;
    printer.OpenReportFile(ReportFile({emf}));
    return printer.PageImage(1);
}

// Logical units of 0.1 mm for the writer's reference device (4 px a mm).
void TenthsOfMm(TEmfWriter& w) {
    w.Record(17, {8});         // SetMapMode(MM_ANISOTROPIC)
    w.Record(9, {2100, 2970}); // SetWindowExtEx
    w.Record(11, {840, 1188}); // SetViewportExtEx: 210 x 297 mm at 4 px a mm
}

TEmfWriter Writer() {
    return TEmfWriter({210, 297}, {1000, 800}, {250, 200});
}

} // namespace

// Both headers, coded and plain: every page shows with its text where it was
// written, and the paper is taken from the metafile's frame.
TEST(EmfPage, OldAndCurrentFilesShowTheirPages) {
    const QList<QByteArray> pages = {Bytes(EmfLib::ReportPage(1)), Bytes(EmfLib::ReportPage(2)),
                                     Bytes(EmfLib::ReportPage(3))};
    struct Case {
        bool old;
        bool compressed;
    };
    for (const Case c :
         {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(
            QStringLiteral("old %1, compressed %2").arg(c.old).arg(c.compressed).toStdString());
        TRpPrinter printer;
        const QString file = ReportFile(pages, c.compressed, c.old);
        printer.OpenReportFile(file);
        EXPECT_EQ(printer.PageList().HeaderBytes(), c.old ? 124 : 128);
        ASSERT_EQ(printer.PageCount(), 3);
        EXPECT_EQ(printer.PageSettings().PaperSize, QPageSize::A4);
        EXPECT_EQ(printer.PageSettings().Orientation, QPageLayout::Portrait);
        for (int n = 1; n <= 3; ++n) {
            std::unique_ptr<QPicture> page = printer.PageImage(n);
            ASSERT_TRUE(page);
            const std::vector<TText> texts = PageTexts(*page);
            const TText* title = Find(texts, QStringLiteral("Справка %1").arg(n));
            ASSERT_TRUE(title) << "page " << n;
            EXPECT_NEAR(title->At.x(), 20, 1);
            EXPECT_NEAR(title->At.y(), 30, 1);
        }
    }
}

// Text positions within 1 mm, sizes from the LOGFONT, faces through the
// substitution, ExtTextOutA bytes through the font's code page, and the
// spacing array giving the width.
TEST(EmfPage, TextStandsWhereItWasWritten) {
    const std::unique_ptr<QPicture> page = Page(Bytes(EmfLib::ReportPage(7)));
    ASSERT_TRUE(page);
    const std::vector<TText> texts = PageTexts(*page);
    struct Case {
        QString text;
        double x, y, em;
        QString family;
        double width; // 0: not fixed by the record
    };
    const Case cases[] = {
        {QStringLiteral("Справка 7"), 20, 30, 5, QStringLiteral("Liberation Sans"), 0},
        // Code page 1251 bytes D1 F3 EC E0 under RUSSIAN_CHARSET.
        {QStringLiteral("Сума"), 20, 60, 4, QStringLiteral("Liberation Mono"), 0},
    };
    // "Клиент 42" has its characters 2 mm apart, far from Times New Roman's
    // own widths: it is drawn in pieces, each starting where its first
    // letter stands (20 mm + 2 mm a letter), together the whole string.
    const QString client = QStringLiteral("Клиент 42");
    QString joined;
    for (const TText& t : texts) {
        if (std::abs(t.At.y() - 50) > 0.3)
            continue;
        EXPECT_NEAR(t.At.x(), 20 + 2 * joined.size(), 0.3) << t.Text.toStdString();
        EXPECT_EQ(t.Family, QStringLiteral("Liberation Serif"));
        joined += t.Text;
    }
    EXPECT_EQ(joined, client);
    for (const Case& c : cases) {
        const TText* t = Find(texts, c.text);
        ASSERT_TRUE(t) << c.text.toStdString();
        EXPECT_NEAR(t->At.x(), c.x, 1) << c.text.toStdString();
        EXPECT_NEAR(t->At.y(), c.y, 1) << c.text.toStdString();
        EXPECT_NEAR(t->EmMm, c.em, 0.1) << c.text.toStdString();
        EXPECT_EQ(t->Family, c.family) << c.text.toStdString();
        if (c.width > 0) {
            EXPECT_NEAR(t->WidthMm, c.width, 1) << c.text.toStdString();
        }
    }
}

// Lines and fills land on their pixels.
TEST(EmfPage, ShapesLandOnTheirPixels) {
    const std::unique_ptr<QPicture> page = Page(Bytes(EmfLib::ReportPage(1)));
    ASSERT_TRUE(page);
    const QImage image = Render(*page);
    struct Case {
        double x, y;
        QRgb color;
        const char* what;
    };
    const Case cases[] = {
        {100, 70, qRgb(0, 0, 255), "the blue line"},
        {100, 72, qRgb(255, 255, 255), "beside the 0.5 mm line"},
        {195, 70, qRgb(255, 255, 255), "past the line's end"},
        {40, 90, qRgb(255, 0, 0), "inside the red rectangle"},
        {19, 90, qRgb(255, 255, 255), "left of the rectangle"},
        {100, 90, qRgb(0, 255, 0), "the ellipse's centre"},
        {81, 81, qRgb(255, 255, 255), "the ellipse's box corner"},
        {160, 84, qRgb(255, 255, 0), "inside the triangle"},
        {142, 98, qRgb(255, 255, 255), "beside the triangle"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Near(At(image, c.x, c.y), c.color))
            << c.what << ": " << Hex(At(image, c.x, c.y)).toStdString();
}

// Mapping modes, origins, extents and world transforms: a red 10 x 10 mm
// square is meant at (100, 100) mm each time.
TEST(EmfPage, MappingAndTransformsPlaceTheDrawing) {
    using Records = std::function<void(TEmfWriter&)>;
    struct Case {
        const char* what;
        Records records;
    };
    const auto square = [](TEmfWriter& w, int l, int t, int r, int b) {
        w.Brush(1, qRgb(255, 0, 0));
        w.Select(1);
        w.Select(0x80000008); // NULL_PEN
        w.Rect(43, l, t, r, b);
    };
    const Case cases[] = {
        {"MM_TEXT: reference-device pixels (4 a mm)",
         [&](TEmfWriter& w) { square(w, 400, 400, 440, 440); }},
        {"MM_ANISOTROPIC in 0.1 mm",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             square(w, 1000, 1000, 1100, 1100);
         }},
        {"MM_LOMETRIC: y upwards",
         [&](TEmfWriter& w) {
             w.Record(17, {2});
             square(w, 1000, -1000, 1100, -1100);
         }},
        {"MM_HIMETRIC",
         [&](TEmfWriter& w) {
             w.Record(17, {3});
             square(w, 10000, -10000, 11000, -11000);
         }},
        {"window origin moves the drawing",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             w.Record(10, {-500, -500}); // SetWindowOrgEx
             square(w, 500, 500, 600, 600);
         }},
        {"viewport origin in device pixels",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             w.Record(12, {200, 200}); // SetViewportOrgEx: 50 mm
             square(w, 500, 500, 600, 600);
         }},
        {"ScaleWindowExtEx halves the window: units of 0.05 mm",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             w.Record(32, {2, 1, 2, 1});
             square(w, 2000, 2000, 2200, 2200);
         }},
        {"ScaleViewportExtEx doubles the viewport",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             w.Record(31, {2, 1, 2, 1});
             square(w, 500, 500, 550, 550);
         }},
        {"SetWorldTransform: a shift of 50 mm",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             const auto f = [](float v) { return qint32(std::bit_cast<quint32>(v)); };
             w.Record(35, {f(1), f(0), f(0), f(1), f(500), f(500)});
             square(w, 500, 500, 600, 600);
         }},
        {"ModifyWorldTransform: scale 2 after a shift",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             const auto f = [](float v) { return qint32(std::bit_cast<quint32>(v)); };
             w.Record(35, {f(1), f(0), f(0), f(1), f(0), f(0)});
             w.Record(36, {f(2), f(0), f(0), f(2), f(0), f(0), 2}); // MWT_LEFTMULTIPLY
             square(w, 500, 500, 550, 550);
         }},
        {"RestoreDC brings back the mapping saved",
         [&](TEmfWriter& w) {
             TenthsOfMm(w);
             w.Record(33, {});         // SaveDC
             w.Record(10, {900, 900}); // SetWindowOrgEx
             w.Record(34, {-1});       // RestoreDC
             square(w, 1000, 1000, 1100, 1100);
         }},
    };
    for (const Case& c : cases) {
        TEmfWriter w = Writer();
        c.records(w);
        const std::unique_ptr<QPicture> page = Page(w.Finish());
        ASSERT_TRUE(page) << c.what;
        const QImage image = Render(*page);
        EXPECT_TRUE(Near(At(image, 105, 105), qRgb(255, 0, 0)))
            << c.what << ": centre " << Hex(At(image, 105, 105)).toStdString();
        EXPECT_TRUE(Near(At(image, 98.5, 105), qRgb(255, 255, 255))) << c.what << ": left of it";
        EXPECT_TRUE(Near(At(image, 111.5, 111.5), qRgb(255, 255, 255)))
            << c.what << ": below right";
    }
}

// Alignment flags against the reference point (100, 100) mm; the string
// "ABCD" is 40 mm wide by its spacing array; Arial 5 mm: ascent 4.53 mm,
// descent 1.06 mm.
TEST(EmfPage, TextAlignmentMovesTheString) {
    struct Case {
        quint32 align;
        double left, baseline;
        const char* what;
    };
    const Case cases[] = {
        {24, 100, 100, "TA_BASELINE | TA_LEFT"},
        {26, 60, 100, "TA_RIGHT: ends at the point"},
        {30, 80, 100, "TA_CENTER"},
        {0, 100, 104.53, "TA_TOP: the point is the top of the cell"},
        {8, 100, 98.94, "TA_BOTTOM: the point is the bottom of the cell"},
    };
    for (const Case& c : cases) {
        TEmfWriter w = Writer();
        TenthsOfMm(w);
        w.Font(1, -50, QStringLiteral("Arial"));
        w.Select(1);
        w.Record(18, {1}); // TRANSPARENT
        w.Record(22, {qint32(c.align)});
        w.Text(1000, 1000, TEmfWriter::Utf16(QStringLiteral("ABCD")), true, {100, 100, 100, 100});
        const std::unique_ptr<QPicture> page = Page(w.Finish());
        ASSERT_TRUE(page);
        const std::vector<TText> texts = PageTexts(*page);
        ASSERT_EQ(texts.size(), 1u) << c.what << ": drawn as one string";
        EXPECT_NEAR(texts[0].At.x(), c.left, 0.5) << c.what;
        EXPECT_NEAR(texts[0].At.y(), c.baseline, 0.5) << c.what;
        EXPECT_NEAR(texts[0].WidthMm, 40, 1) << c.what;
    }
}

// ExtTextOutA through the font's character set; an irregular spacing array
// places each letter on its own.
TEST(EmfPage, AnsiTextAndIrregularSpacing) {
    struct Case {
        int charSet;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {204, QByteArray("\xCA\xEB\xE8\xE5\xED\xF2"), QStringLiteral("Клиент")}, // RUSSIAN
        {1, QByteArray("\xCA\xEB\xE8\xE5\xED\xF2"), QStringLiteral("Клиент")},   // DEFAULT: 1251
        {0, QByteArray("Caf\xE9"), QStringLiteral("Café")},                      // ANSI: 1252
        {238, QByteArray("\x8A\xE8"), QStringLiteral("Šč")},                     // EASTEUROPE
    };
    for (const Case& c : cases) {
        TEmfWriter w = Writer();
        TenthsOfMm(w);
        w.Font(1, -40, QStringLiteral("Arial"), c.charSet);
        w.Select(1);
        w.Text(200, 200, c.bytes, false);
        const std::unique_ptr<QPicture> page = Page(w.Finish());
        ASSERT_TRUE(page);
        const std::vector<TText> texts = PageTexts(*page);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].Text, c.text) << "charset " << c.charSet;
    }

    // Justified: the space takes 30 mm, the letters their own width.
    TEmfWriter w = Writer();
    TenthsOfMm(w);
    w.Font(1, -40, QStringLiteral("Arial"));
    w.Select(1);
    w.Record(22, {24});
    w.Text(200, 200, TEmfWriter::Utf16(QStringLiteral("A B")), true, {27, 300, 27});
    const std::unique_ptr<QPicture> page = Page(w.Finish());
    const std::vector<TText> texts = PageTexts(*page);
    const TText* b = Find(texts, QStringLiteral("B"));
    ASSERT_TRUE(b) << "letters drawn one by one";
    EXPECT_NEAR(b->At.x(), 20 + 2.7 + 30, 0.3);
}

// Bitmaps of every depth and coding through StretchDIBits, BitBlt and
// StretchBlt: a 4 x 2 picture over (100, 100)-(140, 120) mm, 10 mm a pixel.
TEST(EmfPage, BitmapsOfEveryDepthAndCoding) {
    const QRgb palette[8] = {qRgb(255, 0, 0),     qRgb(0, 255, 0),  qRgb(0, 0, 255),
                             qRgb(255, 255, 255), qRgb(0, 0, 0),    qRgb(255, 255, 0),
                             qRgb(0, 255, 255),   qRgb(255, 0, 255)};
    // Top row colours 0..3, bottom row 4..7 (1 bit: black and white only).
    struct Dib {
        int bpp;
        int compression;
    };
    const auto make = [&](Dib d, QByteArray& bmi, QByteArray& bits) {
        const int colors = d.bpp <= 8 ? (d.bpp == 1 ? 2 : 8) : 0;
        const auto index = [d](int row, int col) {
            const int i = row * 4 + col;
            return d.bpp == 1 ? (i % 2) : i;
        };
        // Returned: holds copies of what it uses.
        const auto color = [index, d, &palette](int row, int col) {
            return d.bpp == 1 ? (index(row, col) ? qRgb(255, 255, 255) : qRgb(0, 0, 0))
                              : palette[index(row, col)];
        };
        bmi.clear();
        for (qint32 v : {40, 4, 2})
            TEmfWriter::Put(bmi, quint32(v));
        TEmfWriter::Put(bmi, quint32(1 | d.bpp << 16));
        for (qint32 v : {d.compression, 0, 0, 0, colors, 0})
            TEmfWriter::Put(bmi, quint32(v));
        for (int i = 0; i < colors; ++i) {
            const QRgb c = d.bpp == 1 ? (i ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) : palette[i];
            bmi += char(qBlue(c));
            bmi += char(qGreen(c));
            bmi += char(qRed(c));
            bmi += char(0);
        }
        bits.clear();
        // Rows bottom-up.
        for (int row = 1; row >= 0; --row) {
            QByteArray line;
            if (d.compression == 1) { // RLE8: an encoded run, then an absolute one
                line += char(1);
                line += char(index(row, 0));
                line += char(0);
                line += char(3);
                for (int col = 1; col < 4; ++col)
                    line += char(index(row, col));
                line += char(0); // pad to 16 bits
                line += char(0);
                line += char(0);             // end of line
            } else if (d.compression == 2) { // RLE4: two-pixel runs
                line += char(2);
                line += char(index(row, 0) << 4 | index(row, 1));
                line += char(2);
                line += char(index(row, 2) << 4 | index(row, 3));
                line += char(0);
                line += char(0);
            } else {
                for (int col = 0; col < 4; ++col) {
                    const QRgb c = color(row, col);
                    switch (d.bpp) {
                    case 1:
                        if (col == 0)
                            line += char(0);
                        line[0] = char(line[0] | index(row, col) << (7 - col));
                        break;
                    case 4:
                        if (col % 2 == 0)
                            line += char(index(row, col) << 4);
                        else
                            line[col / 2] = char(line[col / 2] | index(row, col));
                        break;
                    case 8:
                        line += char(index(row, col));
                        break;
                    default:
                        line += char(qBlue(c));
                        line += char(qGreen(c));
                        line += char(qRed(c));
                        if (d.bpp == 32)
                            line += char(0);
                    }
                }
                while (line.size() % 4)
                    line += char(0);
            }
            bits += line;
        }
        if (d.compression)
            bits += QByteArray("\0\1", 2); // end of bitmap
        while (bits.size() % 4)
            bits += char(0);
        return color;
    };
    const auto f = [](float v) { return qint32(std::bit_cast<quint32>(v)); };
    const Dib dibs[] = {{1, 0}, {4, 0}, {8, 0}, {24, 0}, {32, 0}, {8, 1}, {4, 2}};
    for (const Dib& d : dibs) {
        for (const quint32 type : {81u, 76u, 77u}) {
            SCOPED_TRACE(QStringLiteral("%1 bits, compression %2, record %3")
                             .arg(d.bpp)
                             .arg(d.compression)
                             .arg(type)
                             .toStdString());
            QByteArray bmi, bits;
            const auto color = make(d, bmi, bits);
            TEmfWriter w = Writer();
            TenthsOfMm(w);
            if (type == 81) { // StretchDIBits
                w.Record(81,
                         {0, 0, 0, 0, 1000, 1000, 0, 0, 4, 2, 80, qint32(bmi.size()),
                          qint32(80 + bmi.size()), qint32(bits.size()), 0, 0x00CC0020, 400, 200},
                         bmi + bits);
            } else if (type == 76) { // BitBlt: the source transform maps 0.1 mm to pixels
                w.Record(76,
                         {0,
                          0,
                          0,
                          0,
                          1000,
                          1000,
                          400,
                          200,
                          0x00CC0020,
                          0,
                          0,
                          f(0.01f),
                          f(0),
                          f(0),
                          f(0.01f),
                          f(0),
                          f(0),
                          0,
                          0,
                          100,
                          qint32(bmi.size()),
                          qint32(100 + bmi.size()),
                          qint32(bits.size())},
                         bmi + bits);
            } else { // StretchBlt
                w.Record(77,
                         {0,
                          0,
                          0,
                          0,
                          1000,
                          1000,
                          400,
                          200,
                          0x00CC0020,
                          0,
                          0,
                          f(1),
                          f(0),
                          f(0),
                          f(1),
                          f(0),
                          f(0),
                          0,
                          0,
                          108,
                          qint32(bmi.size()),
                          qint32(108 + bmi.size()),
                          qint32(bits.size()),
                          4,
                          2},
                         bmi + bits);
            }
            const std::unique_ptr<QPicture> page = Page(w.Finish());
            ASSERT_TRUE(page);
            const QImage image = Render(*page);
            for (int row = 0; row < 2; ++row)
                for (int col = 0; col < 4; ++col)
                    EXPECT_TRUE(Near(At(image, 105 + col * 10, 105 + row * 10), color(row, col)))
                        << "pixel " << col << "," << row << ": "
                        << Hex(At(image, 105 + col * 10, 105 + row * 10)).toStdString();
        }
    }

    // A negative destination width mirrors the picture; a source reaching
    // past the bitmap draws only the bitmap's part.
    QByteArray bmi, bits;
    const auto color = make({24, 0}, bmi, bits);
    for (const bool past : {false, true}) {
        TEmfWriter w = Writer();
        TenthsOfMm(w);
        // Past: 8 source columns of which the bitmap has 4, on 80 mm.
        w.Record(81,
                 {0, 0, 0, 0, 1400, 1000, 0, 0, past ? 8 : 4, 2, 80, qint32(bmi.size()),
                  qint32(80 + bmi.size()), qint32(bits.size()), 0, 0x00CC0020, past ? -800 : -400,
                  200},
                 bmi + bits);
        const QImage image = Render(*Page(w.Finish()));
        for (int col = 0; col < 4; ++col) {
            // Mirrored from x = 140 mm leftwards: column col stands at
            // 130-140 mm less 10 mm a column (past: the bitmap's four
            // columns on the right half of 60-140 mm).
            const double x = 135 - col * 10;
            EXPECT_TRUE(Near(At(image, x, 105), color(0, col)))
                << "past " << past << ", column " << col << ": "
                << Hex(At(image, x, 105)).toStdString();
        }
        if (past) {
            EXPECT_TRUE(Near(At(image, 95, 105), qRgb(255, 255, 255)))
                << "outside the bitmap nothing is drawn";
        }
    }
}

// Text options and the remaining shapes, each a row of records in units of
// 0.1 mm with the colours expected at points (mm).
TEST(EmfPage, TextOptionsAndShapes) {
    using Records = std::function<void(TEmfWriter&)>;
    const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255), blue = qRgb(0, 0, 255),
               black = qRgb(0, 0, 0);
    const QByteArray block = TEmfWriter::Utf16(QStringLiteral("\u2588")); // a full block
    struct Case {
        const char* what;
        Records records;
        QList<std::pair<QPointF, QRgb>> expect;
    };
    const auto redBrush = [](TEmfWriter& w) {
        w.Brush(1, qRgb(255, 0, 0));
        w.Select(1);
        w.Select(0x80000008);
    };
    const auto bigFont = [](TEmfWriter& w) {
        w.Font(2, -200, QStringLiteral("DejaVu Sans")); // 20 mm
        w.Select(2);
        w.Record(18, {1});  // TRANSPARENT
        w.Record(22, {24}); // TA_BASELINE
    };
    const Case cases[] = {
        {"ETO_OPAQUE fills its rectangle with the background colour",
         [&](TEmfWriter& w) {
             w.Record(25, {qint32(TEmfWriter::ColorRef(blue))});
             w.Text(1000, 1100, TEmfWriter::Utf16(QStringLiteral(".")), true, {}, 0x2,
                    QRect(1000, 1000, 400, 200));
         },
         {{{130, 115}, blue}, {{145, 115}, white}}},
        {"ETO_CLIPPED keeps the text inside its rectangle",
         [&](TEmfWriter& w) {
             bigFont(w);
             w.Text(1000, 1300, block, true, {}, 0x4, QRect(1000, 1000, 50, 300));
         },
         {{{102, 125}, black}, {{110, 125}, white}}},
        {"SetTextColor",
         [&](TEmfWriter& w) {
             bigFont(w);
             w.Record(24, {qint32(TEmfWriter::ColorRef(red))});
             w.Text(1000, 1300, block, true);
         },
         {{{104, 125}, red}}},
        {"RoundRect: rounded corners",
         [&](TEmfWriter& w) {
             redBrush(w);
             w.Record(44, {1000, 1000, 1400, 1200, 100, 100});
         },
         {{{120, 110}, red}, {{100.4, 100.4}, white}}},
        {"Pie: counter-clockwise from three o'clock to twelve",
         [&](TEmfWriter& w) {
             redBrush(w);
             w.Record(47, {1000, 1000, 1400, 1400, 1400, 1200, 1200, 1000});
         },
         {{{130, 110}, red}, {{110, 130}, white}, {{110, 110}, white}}},
        {"Arc draws its outline only",
         [&](TEmfWriter& w) {
             w.Pen(3, red, 20);
             w.Select(3);
             w.Record(45, {1000, 1000, 1400, 1400, 1400, 1200, 1000, 1200});
         },
         {{{120, 100.2}, red}, {{120, 110}, white}, {{120, 139.8}, white}}},
        {"Polyline (32-bit) with a 2 mm pen",
         [&](TEmfWriter& w) {
             w.Pen(3, red, 20);
             w.Select(3);
             w.Record(4, {0, 0, 0, 0, 2, 1000, 1200, 1400, 1200});
         },
         {{{120, 120}, red}, {{120, 123}, white}}},
        {"PolyPolygon16: two squares",
         [&](TEmfWriter& w) {
             redBrush(w);
             w.Record(91, {0, 0, 0, 0, 2, 8, 4, 4, 1000 | 1000 << 16, 1100 | 1000 << 16,
                           1100 | 1100 << 16, 1000 | 1100 << 16, 1200 | 1000 << 16,
                           1300 | 1000 << 16, 1300 | 1100 << 16, 1200 | 1100 << 16});
         },
         {{{105, 105}, red}, {{125, 105}, red}, {{115, 105}, white}}},
        {"ExtCreatePen: a geometric pen 2 mm wide",
         [&](TEmfWriter& w) {
             w.Record(95, {3, 0, 0, 0, 0, 0x10000, 20, 0, qint32(TEmfWriter::ColorRef(red)), 0, 0});
             w.Select(3);
             w.Record(27, {1000, 1200});
             w.Record(54, {1400, 1200});
         },
         {{{120, 120.8}, red}, {{120, 123}, white}}},
    };
    for (const Case& c : cases) {
        TEmfWriter w = Writer();
        TenthsOfMm(w);
        c.records(w);
        const std::unique_ptr<QPicture> page = Page(w.Finish());
        ASSERT_TRUE(page) << c.what;
        const QImage image = Render(*page);
        for (const auto& [p, color] : c.expect)
            EXPECT_TRUE(Near(At(image, p.x(), p.y()), color))
                << c.what << " at " << p.x() << "," << p.y() << ": "
                << Hex(At(image, p.x(), p.y())).toStdString();
    }
}

// Clipping, regions and ROP2, each against a red fill of (50, 50)-(200, 200) mm.
TEST(EmfPage, ClippingRegionsAndRop2) {
    using Records = std::function<void(TEmfWriter&)>;
    // A region of one rectangle, in device pixels (4 a mm).
    const auto region = [](int l, int t, int r, int b) {
        QByteArray data;
        for (qint32 v : {32, 1, 1, 16, l, t, r, b, l, t, r, b})
            TEmfWriter::Put(data, quint32(v));
        return data;
    };
    struct Case {
        const char* what;
        Records records;
        QList<QPointF> red;
        QList<QPointF> white;
    };
    const Case cases[] = {
        {"IntersectClipRect keeps the inside",
         [](TEmfWriter& w) { w.Rect(30, 1000, 1000, 1500, 1500); },
         {{120, 120}},
         {{60, 60}, {160, 120}}},
        {"ExcludeClipRect cuts a hole",
         [](TEmfWriter& w) { w.Rect(29, 1000, 1000, 1500, 1500); },
         {{60, 60}, {160, 120}},
         {{120, 120}}},
        {"RestoreDC drops the clip",
         [](TEmfWriter& w) {
             w.Record(33, {});
             w.Rect(30, 1000, 1000, 1500, 1500);
             w.Record(34, {-1});
         },
         {{60, 60}, {120, 120}},
         {}},
        {"ExtSelectClipRgn RGN_COPY",
         [&](TEmfWriter& w) {
             const QByteArray r = region(400, 400, 600, 600);
             w.Record(75, {qint32(r.size()), 5}, r);
         },
         {{120, 120}},
         {{60, 60}, {160, 160}}},
        {"SelectClipRgn(NULL) after a clip",
         [&](TEmfWriter& w) {
             w.Rect(30, 1000, 1000, 1500, 1500);
             w.Record(75, {0, 5});
         },
         {{60, 60}, {120, 120}},
         {}},
        {"R2_NOP draws nothing", [](TEmfWriter& w) { w.Record(20, {11}); }, {}, {{120, 120}}},
    };
    for (const Case& c : cases) {
        TEmfWriter w = Writer();
        TenthsOfMm(w);
        c.records(w);
        w.Brush(1, qRgb(255, 0, 0));
        w.Select(1);
        w.Select(0x80000008);
        w.Rect(43, 500, 500, 2000, 2000);
        const std::unique_ptr<QPicture> page = Page(w.Finish());
        ASSERT_TRUE(page) << c.what;
        const QImage image = Render(*page);
        for (const QPointF& p : c.red)
            EXPECT_TRUE(Near(At(image, p.x(), p.y()), qRgb(255, 0, 0)))
                << c.what << " at " << p.x() << "," << p.y();
        for (const QPointF& p : c.white)
            EXPECT_TRUE(Near(At(image, p.x(), p.y()), qRgb(255, 255, 255)))
                << c.what << " at " << p.x() << "," << p.y();
    }

    // FillRgn with a blue brush, FrameRgn 2 px wide in green.
    TEmfWriter w = Writer();
    w.Brush(1, qRgb(0, 0, 255));
    w.Brush(2, qRgb(0, 255, 0));
    const QByteArray fill = region(400, 400, 600, 600);
    w.Record(71, {400, 400, 600, 600, qint32(fill.size()), 1}, fill);
    const QByteArray frame = region(600, 400, 760, 600);
    w.Record(72, {600, 400, 760, 600, qint32(frame.size()), 2, 8, 8}, frame);
    const std::unique_ptr<QPicture> page = Page(w.Finish());
    const QImage image = Render(*page);
    EXPECT_TRUE(Near(At(image, 120, 120), qRgb(0, 0, 255))) << "filled region";
    EXPECT_TRUE(Near(At(image, 151, 120), qRgb(0, 255, 0))) << "frame's left edge";
    EXPECT_TRUE(Near(At(image, 170, 120), qRgb(255, 255, 255))) << "inside the frame";
}

// A damaged record fails its own page with a clear message; the pages
// around it still show, and nothing reads outside the data (ASan).
TEST(EmfPage, DamagedPageFailsAlone) {
    const auto withRecord = [](const std::function<void(TEmfWriter&)>& add) {
        TEmfWriter w = Writer();
        add(w);
        return w.Finish();
    };
    struct Case {
        const char* what;
        QByteArray page;
    };
    QByteArray runsPast = withRecord([](TEmfWriter& w) { w.Rect(43, 0, 0, 10, 10); });
    qToLittleEndian(quint32(4000), runsPast.data() + 108 + 4); // the rectangle's size
    const Case cases[] = {
        {"a record running past the page", runsPast},
        {"a negative point count", withRecord([](TEmfWriter& w) {
             w.Record(87, {0, 0, 10, 10, -1, 0, 0});
         })},
        {"more points than the record holds", withRecord([](TEmfWriter& w) {
             w.Record(87, {0, 0, 10, 10, 1000, 0, 0});
         })},
        {"polygon counts beyond the points", withRecord([](TEmfWriter& w) {
             w.Record(91, {0, 0, 10, 10, 1, 2, 50, 0, 0, 0});
         })},
        {"a text running past its record", withRecord([](TEmfWriter& w) {
             w.Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 5000, 76, 0, 0, 0, 0, 0, 0});
         })},
        {"a spacing array past its record", withRecord([](TEmfWriter& w) {
             w.Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 2, 76, 0, 0, 0, 0, 0, 80}, "A\0B\0");
         })},
        {"a bitmap larger than its record", withRecord([](TEmfWriter& w) {
             QByteArray bmi;
             for (qint32 v : {40, 1000, 1000, 1 | 24 << 16, 0, 0, 0, 0, 0, 0})
                 TEmfWriter::Put(bmi, quint32(v));
             w.Record(
                 81, {0, 0, 0, 0, 0, 0, 0, 0, 1000, 1000, 80, 40, 120, 64, 0, 0x00CC0020, 100, 100},
                 bmi + QByteArray(64, '\0'));
         })},
        {"a bitmap whose offsets point outside", withRecord([](TEmfWriter& w) {
             w.Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 0x7FFFFFF0, 16, 0, 0x00CC0020, 100,
                           100});
         })},
        {"a text stretched thousands of times its width", withRecord([](TEmfWriter& w) {
             w.Record(17, {8});
             w.Record(9, {2100, 2970});
             w.Record(11, {8913568, 1188});
             w.Font(1, -50, QStringLiteral("Arial"));
             w.Select(1);
             w.Text(200, 500, TEmfWriter::Utf16(QStringLiteral("Клиент")), true);
         })},
        {"a region larger than its record", withRecord([](TEmfWriter& w) {
             w.Record(75, {48, 5, 32, 1, 100000, 0, 0, 0, 10, 10});
         })},
    };
    for (const Case& c : cases) {
        TRpPrinter printer;
        const QByteArray good = Bytes(EmfLib::ReportPage(1));
        printer.OpenReportFile(ReportFile({good, c.page, good}));
        ASSERT_EQ(printer.PageCount(), 3) << c.what;
        EXPECT_TRUE(printer.PageImage(1)) << c.what;
        try {
            printer.PageImage(2);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().startsWith(
                QStringLiteral("Page 2 of the report cannot be shown. Its metafile is damaged: ")))
                << c.what << ": " << e.message().toStdString();
        }
        EXPECT_TRUE(printer.PageImage(3)) << c.what;
    }
}

// Records the player does not know (a comment, a made-up type) are passed
// over; the drawing after them shows.
TEST(EmfPage, UnknownRecordsAreSkipped) {
    TEmfWriter w = Writer();
    TenthsOfMm(w);
    w.Record(70, {8}, QByteArray("comment!"));
    w.Record(9999, {1, 2, 3});
    w.Brush(1, qRgb(255, 0, 0));
    w.Select(1);
    w.Rect(43, 1000, 1000, 1100, 1100);
    const std::unique_ptr<QPicture> page = Page(w.Finish());
    ASSERT_TRUE(page);
    EXPECT_TRUE(Near(At(Render(*page), 105, 105), qRgb(255, 0, 0)));
}

// The PDF of an old report holds its pages at A4 with their text, as a
// reader that is not ours (poppler) finds it.
TEST(EmfPage, OldReportSavesAsPdfWithItsText) {
    TRpPrinter printer;
    printer.OpenReportFile(
        ReportFile({Bytes(EmfLib::ReportPage(1)), Bytes(EmfLib::ReportPage(2))}, true, true));
    const QString pdf = TestUtil::Scratch().filePath(QStringLiteral("old.pdf"));
    printer.SavePdf(pdf);
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(30000);
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(infoText.contains(QRegularExpression(QStringLiteral("Pages:\\s+2"))))
        << infoText.toStdString();
    EXPECT_TRUE(infoText.contains(QRegularExpression(QStringLiteral("Page size:\\s+595"))))
        << infoText.toStdString();
    for (int n = 1; n <= 2; ++n) {
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(n), QStringLiteral("-l"),
                    QString::number(n), pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        const QString out = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(out.contains(QStringLiteral("Справка %1").arg(n))) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("Сума"))) << out.toStdString();
    }
}
