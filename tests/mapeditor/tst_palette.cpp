#include "palette.h"

#include <QTest>

class TestPalette : public QObject
{
    Q_OBJECT

private slots:
    void knownCodesHaveTheirColours()
    {
        Palette palette;
        palette.loadsettings();
        QCOMPARE(palette.size(), 59);
        const QList<QPair<const char *, QRgb>> expected = {
            {"T00", qRgb(0, 85, 0)},      {"T02", qRgb(0, 119, 0)},   {"T10", qRgb(0, 255, 0)},
            {"X00", qRgb(85, 85, 0)},     {"X10", qRgb(255, 255, 0)}, {"M00", qRgb(64, 64, 64)},
            {"M10", qRgb(224, 224, 224)}, {"W00", qRgb(0, 0, 170)},   {"W05", qRgb(0, 0, 255)},
            {"S01", qRgb(238, 0, 238)},   {"S02", qRgb(221, 0, 0)},   {"S13", qRgb(34, 0, 0)},
            {"S14", qRgb(32, 0, 0)},      {"S15", qRgb(24, 0, 0)},    {"S16", qRgb(22, 0, 0)},
            {"S17", qRgb(20, 0, 0)},      {"S18", qRgb(18, 0, 0)},    {"S19", qRgb(16, 0, 0)},
            {"S20", qRgb(8, 0, 0)}};
        for (const auto &[code, colour] : expected) {
            QVERIFY2(palette.isKnown(code), code);
            QCOMPARE(palette.colour(code), colour);
        }
        // The comparison is exact and case-sensitive.
        for (const char *code : {"", "t02", "T2", "T002", "S00", "W06", "T11", "X11", " T0"})
            QVERIFY2(!palette.isKnown(code), code);
        for (const QByteArray &code : Palette::knownCodes())
            QVERIFY(palette.isKnown(code));
    }

    void pickerOffersEveryKnownCodeButX00InOrder()
    {
        const QList<QByteArray> picker = Palette::pickerCodes();
        QCOMPARE(picker.size(), 58);
        const QList<QByteArray> firsts = {picker.at(0),  picker.at(11), picker.at(22),
                                          picker.at(41), picker.at(42), picker.at(48),
                                          picker.last()};
        QCOMPARE(firsts, (QList<QByteArray>{"T00", "M00", "S01", "S20", "W00", "X01", "X10"}));
        QVERIFY(!picker.contains("X00"));
        QVERIFY(Palette::knownCodes().contains("X00"));
    }
};

QTEST_GUILESS_MAIN(TestPalette)
#include "tst_palette.moc"
