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
    return d.left(length);
}

} // namespace

class FeedbackCodecTest : public QObject {
    Q_OBJECT
private slots:
    // One row per role and length class: ver sfn buf att sdm sdl sdt, then
    // the fields carried; nothing for a length that cannot be read. That
    // each field is read from its own bytes is the fuzz harness's to check.
    void fieldsByRoleAndLength_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("expected");
        for (int length : {0, 39, 42, 43})
            QTest::addRow("%d bytes", length) << 2 << length << QString();
        addRow("encoder, 40 bytes", 1, 40, "2 0 0 255 0 37 43");
        addRow("encoder, 44 bytes", 1, 44, "3.4 1 6 255 0 37 43 sfn buf");
        addRow("decoder, 40 bytes", 2, 40, "2 0 1 255 0 37 43");
        addRow("decoder, 41 bytes", 2, 41, "2 0 1 30 0 37 43 att");
        addRow("decoder, 44 bytes", 2, 44, "3.4 1 1 30 0 37 43 sfn att");
        addRow("decoder, 46 bytes", 2, 46, "3.4 1 5 30 2 37 43 sfn buf att sdm");
        addRow("decoder, 48 bytes", 2, 48, "3.4 1 5 30 2 100 150 sfn buf att sdm sdl sdt");
    }
    void fieldsByRoleAndLength()
    {
        QFETCH(int, role);
        QFETCH(int, length);
        QFETCH(QString, expected);
        const auto record = FeedbackCodec::decode(feedback(quint8(role), length));
        QCOMPARE(record.has_value(), !expected.isEmpty());
        if (!record)
            return;
        const auto n = [](double value) { return QString::number(value); };
        QStringList fields{n(record->ver), n(record->sfn), n(record->buf), n(record->att),
                           n(record->sdm), n(record->sdl), n(record->sdt)};
        const std::pair<bool, const char*> carried[] = {
            {record->hasSfn, "sfn"}, {record->hasBuf, "buf"}, {record->hasAtt, "att"},
            {record->hasSdm, "sdm"}, {record->hasSdl, "sdl"}, {record->hasSdt, "sdt"}};
        for (const auto& [present, name] : carried)
            if (present)
                fields << QString::fromLatin1(name);
        QCOMPARE(fields.join(QLatin1Char(' ')), expected);
    }
};

QTEST_APPLESS_MAIN(FeedbackCodecTest)
#include "tst_FeedbackCodec.moc"
