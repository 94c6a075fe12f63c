#include <QtTest>

#include "protocol/FeedbackCodec.h"

using namespace nms;

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
        for (int role : {0, 1, 2}) {
            for (int length : {0, 1, 2, 4, 16, 35, 36, 39, 42, 43}) {
                QTest::addRow("role %d, %d bytes", role, length) << length << role;
            }
        }
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

    void commonFields_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {40, 41, 44, 45, 46, 47, 48})
            QTest::addRow("%d bytes", length) << length;
    }
    void commonFields()
    {
        QFETCH(int, length);
        for (quint8 role : {quint8(0), quint8(1), quint8(2)}) {
            const auto record = FeedbackCodec::decode(feedback(role, length));
            QVERIFY(record.has_value());
            QCOMPARE(record->ip, QStringLiteral("198.18.0.21"));
            QCOMPARE(record->mask, QStringLiteral("255.255.255.0"));
            QCOMPARE(record->gw, QStringLiteral("198.18.0.1"));
            QCOMPARE(record->remote, QStringLiteral("198.18.1.7"));
            QCOMPARE(record->input, quint8(1));
            QCOMPARE(record->type, quint8(0));
            QCOMPARE(record->tx, quint8(1));
            QCOMPARE(record->name, QStringLiteral("Studio enc 1    "));
            QCOMPARE(record->role, role);
            QCOMPARE(record->sn, quint32(123456));
            QCOMPARE(record->length, length);
            QVERIFY(record->mac.isEmpty());
        }
    }

    // Every row of the length table, for an encoder (role 1), role 0 (read
    // like an encoder) and a decoder.
    void roleDependentFields_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        QTest::addColumn<double>("ver");
        QTest::addColumn<int>("sfn");
        QTest::addColumn<int>("buf");
        QTest::addColumn<int>("att");
        QTest::addColumn<int>("sdm");
        QTest::addColumn<int>("sdl");
        QTest::addColumn<int>("sdt");
        QTest::addColumn<QString>("present"); // which defaulted fields were carried

        for (int role : {0, 1}) {
            for (int length : {40, 41})
                QTest::addRow("role %d, %d bytes", role, length)
                    << role << length << 2.0 << 0 << 0 << 255 << 0 << 37 << 43 << QString();
            for (int length : {44, 45, 46, 47, 48})
                QTest::addRow("role %d, %d bytes", role, length)
                    << role << length << 3.4 << 1 << 6 << 255 << 0 << 37 << 43
                    << QStringLiteral("sfn buf");
        }
        QTest::newRow("decoder, 40 bytes")
            << 2 << 40 << 2.0 << 0 << 1 << 255 << 0 << 37 << 43 << QString();
        QTest::newRow("decoder, 41 bytes")
            << 2 << 41 << 2.0 << 0 << 1 << 30 << 0 << 37 << 43 << QStringLiteral("att");
        QTest::newRow("decoder, 44 bytes")
            << 2 << 44 << 3.4 << 1 << 1 << 30 << 0 << 37 << 43 << QStringLiteral("att sfn");
        QTest::newRow("decoder, 45 bytes")
            << 2 << 45 << 3.4 << 1 << 5 << 30 << 0 << 37 << 43 << QStringLiteral("att sfn buf");
        QTest::newRow("decoder, 46 bytes")
            << 2 << 46 << 3.4 << 1 << 5 << 30 << 2 << 37 << 43 << QStringLiteral("att sfn buf sdm");
        QTest::newRow("decoder, 47 bytes") << 2 << 47 << 3.4 << 1 << 5 << 30 << 2 << 100 << 43
                                           << QStringLiteral("att sfn buf sdm sdl");
        QTest::newRow("decoder, 48 bytes") << 2 << 48 << 3.4 << 1 << 5 << 30 << 2 << 100 << 150
                                           << QStringLiteral("att sfn buf sdm sdl sdt");
    }
    void roleDependentFields()
    {
        QFETCH(int, role);
        QFETCH(int, length);
        QFETCH(double, ver);
        QFETCH(int, sfn);
        QFETCH(int, buf);
        QFETCH(int, att);
        QFETCH(int, sdm);
        QFETCH(int, sdl);
        QFETCH(int, sdt);
        QFETCH(QString, present);

        const auto record = FeedbackCodec::decode(feedback(quint8(role), length));
        QVERIFY(record.has_value());
        QCOMPARE(record->ver, ver);
        QCOMPARE(int(record->sfn), sfn);
        QCOMPARE(int(record->buf), buf);
        QCOMPARE(int(record->att), att);
        QCOMPARE(int(record->sdm), sdm);
        QCOMPARE(int(record->sdl), sdl);
        QCOMPARE(int(record->sdt), sdt);
        const QStringList carried = present.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(record->hasSfn, carried.contains(QStringLiteral("sfn")));
        QCOMPARE(record->hasBuf, carried.contains(QStringLiteral("buf")));
        QCOMPARE(record->hasAtt, carried.contains(QStringLiteral("att")));
        QCOMPARE(record->hasSdm, carried.contains(QStringLiteral("sdm")));
        QCOMPARE(record->hasSdl, carried.contains(QStringLiteral("sdl")));
        QCOMPARE(record->hasSdt, carried.contains(QStringLiteral("sdt")));
    }

    void version_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<double>("version");
        QTest::newRow("3 and 4") << 3 << 4 << 3.4;
        QTest::newRow("2 and 0") << 2 << 0 << 2.0;
        QTest::newRow("1 and 12 joins to 112") << 1 << 12 << 11.2;
        QTest::newRow("0 and 0") << 0 << 0 << 0.0;
        QTest::newRow("0 and 7") << 0 << 7 << 0.7;
        QTest::newRow("10 and 1") << 10 << 1 << 10.1;
        QTest::newRow("99 and 99") << 99 << 99 << 999.9;
        QTest::newRow("32 and 76, near the 16-bit edge") << 32 << 76 << 327.6;
        QTest::newRow("255 and 0") << 255 << 0 << 255.0;
        QTest::newRow("255 and 255, beyond 16 bits, not wrapped") << 255 << 255 << 25525.5;
        QTest::newRow("100 and 200") << 100 << 200 << 10020.0;
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
        QTest::newRow("0 0 128 0") << QByteArray::fromHex("00008000") << quint32(32768);
        QTest::newRow("zero") << QByteArray::fromHex("00000000") << quint32(0);
        QTest::newRow("one") << QByteArray::fromHex("00000001") << quint32(1);
        QTest::newRow("most significant first")
            << QByteArray::fromHex("12345678") << quint32(0x12345678);
        QTest::newRow("largest signed") << QByteArray::fromHex("7fffffff") << quint32(2147483647);
        QTest::newRow("top bit set reads unsigned")
            << QByteArray::fromHex("80000000") << quint32(2147483648u);
        QTest::newRow("all ones") << QByteArray::fromHex("ffffffff") << quint32(4294967295u);
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
        QTest::newRow("no leading zeros")
            << QByteArray::fromHex("c0a8010a") << QStringLiteral("192.168.1.10");
        QTest::newRow("all zero") << QByteArray::fromHex("00000000") << QStringLiteral("0.0.0.0");
        QTest::newRow("all ones") << QByteArray::fromHex("ffffffff")
                                  << QStringLiteral("255.255.255.255");
        QTest::newRow("first byte first")
            << QByteArray::fromHex("01020304") << QStringLiteral("1.2.3.4");
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

    void nameIsTakenAsItStands()
    {
        QByteArray d = feedback(1, 44);
        const QByteArray name("\xe9t\xfc"
                              "de\0 lower  \xff!",
                              16);
        d.replace(19, 16, name);
        const auto record = FeedbackCodec::decode(d);
        QCOMPARE(record->name.size(), 16);
        QCOMPARE(record->name.toLatin1(), name);
    }

    void checkBytesAreKeptAsSent()
    {
        // The decoder does not judge: the checks belong to the processing.
        QByteArray d = feedback(3, 44);
        d[16] = char(2);
        d[17] = char(255);
        d[18] = char(7);
        const auto record = FeedbackCodec::decode(d);
        QCOMPARE(record->input, quint8(2));
        QCOMPARE(record->type, quint8(255));
        QCOMPARE(record->tx, quint8(7));
        QCOMPARE(record->role, quint8(3));
        QCOMPARE(record->ver, 3.4); // role 3 reads like an encoder
    }
};

QTEST_MAIN(FeedbackCodecTest)
#include "tst_FeedbackCodec.moc"
