#include <QtTest>

#include "TableRow.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using nms::test::addRow;

namespace {

// A complete answer as an element would send it, cut to `length` bytes.
// Encoder tail: version 3.4, SFN 1, buffer 6, then four bytes nobody reads.
// Decoder tail: attenuation 30, version 3.4, SFN 1, buffer 5, silence
// detection mode 2, level 100, time 150.
QByteArray feedback(quint8 role, int length)
{
    QByteArray d;
    d += QByteArray::fromHex("c6120015"); // 198.18.0.21
    d += QByteArray::fromHex("ffffff00"); // 255.255.255.0
    d += QByteArray::fromHex("c6120001"); // 198.18.0.1
    d += QByteArray::fromHex("c6120107"); // 198.18.1.7
    d += char(1);                         // input
    d += char(0);                         // type
    d += char(1);                         // tx
    d += QByteArrayLiteral("Studio enc 1    ");
    d += char(role);
    d += QByteArray::fromHex("0001e240"); // 123456
    if (role == 2)
        d += QByteArray::fromHex("1e030401050264"
                                 "96");
    else
        d += QByteArray::fromHex("03040106eeeeeeee");
    Q_ASSERT(d.size() == 48);
    return d.left(length);
}

} // namespace

class FeedbackCodecTest : public QObject {
    Q_OBJECT
private slots:
    void lengthsThatCannotBeRead_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("role");
        for (int role : {0, 1, 2})
            for (int length : {0, 1, 2, 4, 16, 35, 36, 39, 42, 43})
                QTest::addRow("role %d, %d bytes", role, length) << length << role;
    }
    void lengthsThatCannotBeRead()
    {
        QFETCH(int, length);
        QFETCH(int, role);
        QVERIFY(!FeedbackCodec::canDecode(length));
        QVERIFY(!FeedbackCodec::decode(QByteArray(length, char(role))).has_value());
        if (length > 35)
            QVERIFY(!FeedbackCodec::decode(feedback(quint8(role), length)).has_value());
    }

    // Every row of the length table, for an encoder (role 1), role 0 (read
    // like an encoder) and a decoder: the fields every answer carries, then
    // ver sfn buf att sdm sdl sdt, then the defaulted fields that were carried.
    void fieldsByRoleAndLength_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("expected");
        for (int role : {0, 1}) {
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
        QVERIFY(record.has_value());
        const auto number = [](double value) { return QString::number(value); };
        const QStringList common{record->ip,         record->mask,           record->gw,
                                 record->remote,     number(record->input),  number(record->type),
                                 number(record->tx), record->name,           number(record->role),
                                 number(record->sn), number(record->length), record->mac};
        QCOMPARE(common.join(QLatin1Char('|')),
                 QStringLiteral("198.18.0.21|255.255.255.0|198.18.0.1|198.18.1.7|1|0|1|"
                                "Studio enc 1    |%1|123456|%2|")
                     .arg(role)
                     .arg(length));
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

    void version_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<double>("version");
        addRow("3 and 4", 3, 4, 3.4);
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
        QByteArray encoder = feedback(1, 44);
        encoder[40] = char(a);
        encoder[41] = char(b);
        QCOMPARE(FeedbackCodec::decode(encoder)->ver, version);
        QByteArray decoder = feedback(2, 48);
        decoder[41] = char(a);
        decoder[42] = char(b);
        QCOMPARE(FeedbackCodec::decode(decoder)->ver, version);
    }

    void serialNumber_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("serial");
        addRow("0 0 128 0", QByteArray::fromHex("00008000"), quint32(32768));
        addRow("most significant first", QByteArray::fromHex("12345678"), quint32(0x12345678));
        addRow("top bit set reads unsigned", QByteArray::fromHex("80000000"), quint32(2147483648u));
        addRow("all ones", QByteArray::fromHex("ffffffff"), quint32(4294967295u));
    }
    void serialNumber()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, serial);
        for (quint8 role : {quint8(1), quint8(2)}) {
            QByteArray d = feedback(role, 44);
            d.replace(36, 4, bytes);
            QCOMPARE(FeedbackCodec::decode(d)->sn, serial);
        }
    }

    void addresses_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        addRow("no leading zeros, first byte first", QByteArray::fromHex("c0a8010a"),
               "192.168.1.10");
        addRow("all zero", QByteArray::fromHex("00000000"), "0.0.0.0");
        addRow("all ones", QByteArray::fromHex("ffffffff"), "255.255.255.255");
    }
    void addresses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        for (int offset : {0, 4, 8, 12}) {
            QByteArray d = feedback(1, 44);
            d.replace(offset, 4, bytes);
            const auto record = FeedbackCodec::decode(d);
            const QString fields[] = {record->ip, record->mask, record->gw, record->remote};
            QCOMPARE(fields[offset / 4], text);
        }
    }

    // The decoder does not judge: the name and the checked bytes are kept
    // as sent, since the checks belong to the processing.
    void bytesAreKeptAsSent()
    {
        QByteArray d = feedback(3, 44);
        d[16] = char(2);
        d[17] = char(255);
        d[18] = char(7);
        const QByteArray name("\xe9t\xfc"
                              "de\0 lower  \xff!",
                              16);
        d.replace(19, 16, name);
        const auto record = FeedbackCodec::decode(d);
        QCOMPARE(record->input, quint8(2));
        QCOMPARE(record->type, quint8(255));
        QCOMPARE(record->tx, quint8(7));
        QCOMPARE(record->role, quint8(3));
        QCOMPARE(record->ver, 3.4); // role 3 reads like an encoder
        QCOMPARE(record->name.size(), 16);
        QCOMPARE(record->name.toLatin1(), name);
    }
};

QTEST_MAIN(FeedbackCodecTest)
#include "tst_FeedbackCodec.moc"
