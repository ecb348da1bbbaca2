#include "palette.h"

#include <QTest>

class TestPalette : public QObject
{
    Q_OBJECT

private slots:
    void knownCodesHaveTheirColours()
    {
        Palette palette;
        QVERIFY(!palette.isKnown("T02"));
        palette.loadsettings();
        QCOMPARE(palette.size(), 59);
        const struct
        {
            const char *code;
            QRgb colour;
        } expected[] = {
            {"T00", qRgb(0, 85, 0)},      {"T02", qRgb(0, 119, 0)},   {"T10", qRgb(0, 255, 0)},
            {"X00", qRgb(85, 85, 0)},     {"X10", qRgb(255, 255, 0)}, {"M00", qRgb(64, 64, 64)},
            {"M10", qRgb(224, 224, 224)}, {"W00", qRgb(0, 0, 170)},   {"W05", qRgb(0, 0, 255)},
            {"S01", qRgb(238, 0, 238)},   {"S02", qRgb(221, 0, 0)},   {"S13", qRgb(34, 0, 0)},
            {"S14", qRgb(32, 0, 0)},      {"S15", qRgb(24, 0, 0)},    {"S16", qRgb(22, 0, 0)},
            {"S17", qRgb(20, 0, 0)},      {"S18", qRgb(18, 0, 0)},    {"S19", qRgb(16, 0, 0)},
            {"S20", qRgb(8, 0, 0)},
        };
        for (const auto &e : expected) {
            QVERIFY2(palette.isKnown(e.code), e.code);
            QCOMPARE(palette.colour(e.code), e.colour);
        }
        // Brighter with the height for grass, placement, rock and water;
        // darker for solid from S02 on.
        for (const char letter : {'T', 'X', 'M', 'W', 'S'}) {
            int previous = letter == 'S' ? 256 * 3 : -1;
            for (int h = letter == 'S' ? 2 : 0; h <= (letter == 'W'   ? 5
                                                      : letter == 'S' ? 20
                                                                      : 10);
                 ++h) {
                QByteArray code(1, letter);
                code += QByteArray::number(h).rightJustified(2, '0');
                const QRgb c = palette.colour(code);
                const int sum = qRed(c) + qGreen(c) + qBlue(c);
                QVERIFY2(letter == 'S' ? sum < previous : sum > previous, code.constData());
                previous = sum;
            }
        }
        // Anything else is unknown: the comparison is exact and case-sensitive.
        for (const char *code : {"", "t02", "T2", "T002", "S00", "W06", "T11", "X11", " T0", "t0"})
            QVERIFY2(!palette.isKnown(code), code);
    }

    void pickerOffersEveryKnownCodeButX00()
    {
        const QList<QByteArray> picker = Palette::pickerCodes();
        QCOMPARE(picker.size(), 58);
        QCOMPARE(picker.at(0), QByteArray("T00"));
        QCOMPARE(picker.at(11), QByteArray("M00"));
        QCOMPARE(picker.at(22), QByteArray("S01"));
        QCOMPARE(picker.at(41), QByteArray("S20"));
        QCOMPARE(picker.at(42), QByteArray("W00"));
        QCOMPARE(picker.at(48), QByteArray("X01"));
        QCOMPARE(picker.last(), QByteArray("X10"));
        QVERIFY(!picker.contains("X00"));
        Palette palette;
        palette.loadsettings();
        const QList<QByteArray> known = Palette::knownCodes();
        QCOMPARE(known.size(), 59);
        QCOMPARE(QSet<QByteArray>(known.begin(), known.end()).size(), 59);
        for (const QByteArray &code : known)
            QVERIFY(palette.isKnown(code));
    }
};

QTEST_GUILESS_MAIN(TestPalette)
#include "tst_palette.moc"
