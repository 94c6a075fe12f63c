#include <QtTest>

#include "TableRow.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using nms::test::addRow;

namespace {

// A complete answer as an element would send it, cut to `length` bytes:
// 198.18.0.21, 255.255.255.0, 198.18.0.1, 198.18.1.7, input 1, type 0, tx 1,
// the name, the role, serial 123456. Encoder tail: version 3.4, SFN 1,
// buffer 6, then four bytes nobody reads. Decoder tail: attenuation 30,
// version 3.4, SFN 1, buffer 5, silence detection mode 2, level 100, time 150.
QByteArray feedback(quint8 role, int length)
{
    const QByteArray d =
        QByteArray::fromHex("c6120015 ffffff00 c6120001 c6120107 01 00 01") +
        QByteArrayLiteral("Studio enc 1    ") + char(role) + QByteArray::fromHex("0001e240") +
        QByteArray::fromHex(role == 2 ? "1e 0304 01 05 02 64 96" : "0304 01 06 eeeeeeee");
    Q_ASSERT(d.size() == 48);
    return d.left(length);
}

} // namespace

class FeedbackCodecTest : public QObject {
    Q_OBJECT
private slots:
    // Every row of the length table, for an encoder (role 1), roles 0 and 3
    // (read like an encoder) and a decoder: ver sfn buf att sdm sdl sdt, then
    // the defaulted fields that were carried; nothing for a length that
    // cannot be read.
    void fieldsByRoleAndLength_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("expected");
        for (int role : {1, 2})
            for (int length : {0, 1, 2, 4, 16, 35, 36, 39, 42, 43})
                QTest::addRow("role %d, %d bytes", role, length) << role << length << QString();
        for (int role : {0, 1, 3}) {
            for (int length : {40, 41})
                QTest::addRow("role %d, %d bytes", role, length)
                    << role << length << QStringLiteral("2 0 0 255 0 37 43");
            for (int length : {44, 45, 46, 47, 48})
                QTest::addRow("role %d, %d bytes", role, length)
                    << role << length << QStringLiteral("3.4 1 6 255 0 37 43 sfn buf");
        }
        addRow("decoder, 40 bytes", 2, 40, "2 0 1 255 0 37 43");
        addRow("decoder, 41 bytes", 2, 41, "2 0 1 30 0 37 43 att");
        addRow("decoder, 44 bytes", 2, 44, "3.4 1 1 30 0 37 43 sfn att");
        addRow("decoder, 45 bytes", 2, 45, "3.4 1 5 30 0 37 43 sfn buf att");
        addRow("decoder, 46 bytes", 2, 46, "3.4 1 5 30 2 37 43 sfn buf att sdm");
        addRow("decoder, 47 bytes", 2, 47, "3.4 1 5 30 2 100 43 sfn buf att sdm sdl");
        addRow("decoder, 48 bytes", 2, 48, "3.4 1 5 30 2 100 150 sfn buf att sdm sdl sdt");
    }
    void fieldsByRoleAndLength()
    {
        QFETCH(int, role);
        QFETCH(int, length);
        QFETCH(QString, expected);
        const auto record = FeedbackCodec::decode(feedback(quint8(role), length));
        QCOMPARE(FeedbackCodec::canDecode(length), !expected.isEmpty());
        QCOMPARE(record.has_value(), !expected.isEmpty());
        if (!record)
            return;
        const auto number = [](double value) { return QString::number(value); };
        QCOMPARE(record->role, quint8(role));
        QCOMPARE(record->length, length);
        QVERIFY(record->mac.isEmpty());
        QStringList fields{number(record->ver), number(record->sfn), number(record->buf),
                           number(record->att), number(record->sdm), number(record->sdl),
                           number(record->sdt)};
        const std::pair<bool, const char*> carried[] = {
            {record->hasSfn, "sfn"}, {record->hasBuf, "buf"}, {record->hasAtt, "att"},
            {record->hasSdm, "sdm"}, {record->hasSdl, "sdl"}, {record->hasSdt, "sdt"}};
        for (const auto& [present, name] : carried)
            if (present)
                fields << QString::fromLatin1(name);
        QCOMPARE(fields.join(QLatin1Char(' ')), expected);
    }

    // The two bytes' decimal digits joined, then a tenth.
    void version_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<double>("version");
        addRow("1 and 12 joins to 112", 1, 12, 11.2);
        addRow("0 and 7", 0, 7, 0.7);
        addRow("10 and 1", 10, 1, 10.1);
        addRow("32 and 76, near the 16-bit edge", 32, 76, 327.6);
        addRow("255 and 255, beyond 16 bits, not wrapped", 255, 255, 25525.5);
        addRow("100 and 200", 100, 200, 10020.0);
    }
    void version()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(double, version);
        QCOMPARE(FeedbackCodec::versionFromBytes(quint8(a), quint8(b)), version);
    }

    // Each field as sent: addresses first byte first without leading zeros,
    // the serial most significant byte first and unsigned, and the name and
    // the bytes the processing checks kept as they are (it judges them).
    void fieldBytes_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        addRow("ip", 0, QByteArray::fromHex("c0a8010a"), "192.168.1.10");
        addRow("mask all zero", 4, QByteArray::fromHex("00000000"), "0.0.0.0");
        addRow("gw all ones", 8, QByteArray::fromHex("ffffffff"), "255.255.255.255");
        addRow("remote", 12, QByteArray::fromHex("0a000001"), "10.0.0.1");
        addRow("input", 16, QByteArray::fromHex("02"), "2");
        addRow("type", 17, QByteArray::fromHex("ff"), "255");
        addRow("tx", 18, QByteArray::fromHex("07"), "7");
        const QByteArray name("\xe9t\xfc"
                              "de\0 lower  \xff!",
                              16);
        addRow("name with a NUL and bytes above 127", 19, name, QString::fromLatin1(name));
        addRow("serial most significant first", 36, QByteArray::fromHex("12345678"), "305419896");
        addRow("serial top bit set reads unsigned", 36, QByteArray::fromHex("80000000"),
               "2147483648");
        addRow("serial low byte above 127", 36, QByteArray::fromHex("000000ff"), "255");
    }
    void fieldBytes()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const int offsets[] = {0, 4, 8, 12, 16, 17, 18, 19, 36};
        const auto n = [](quint32 value) { return QString::number(value); };
        for (quint8 role : {quint8(1), quint8(2)}) {
            QByteArray d = feedback(role, 48);
            d.replace(offset, bytes.size(), bytes);
            const auto r = FeedbackCodec::decode(d);
            const QStringList fields{r->ip,      r->mask,  r->gw,   r->remote, n(r->input),
                                     n(r->type), n(r->tx), r->name, n(r->sn)};
            QCOMPARE(fields.at(std::ranges::find(offsets, offset) - offsets), text);
        }
    }
};

QTEST_MAIN(FeedbackCodecTest)
#include "tst_FeedbackCodec.moc"
