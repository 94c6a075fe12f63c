// The element simulator's configuration decoder against any packet. What it
// takes must be exactly the packet's bytes, what it refuses must leave the
// element alone, and the feedback it then sends must read back through the
// station's own decoder (written separately) as the same values.
#include <iterator>
#include <tuple>

#include "FuzzCheck.h"
#include "SimCodec.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using nms::fuzz::at;
using nms::fuzz::bytesAre;
using nms::fuzz::require;
using nms::sim::ElementState;
using nms::sim::SimCodec;

namespace {

constexpr int kLengths[] = {40, 41, 44, 45, 46, 47, 48};

auto fieldsOf(const ElementState& s)
{
    return std::tie(s.ip, s.mask, s.gw, s.remote, s.input, s.type, s.tx, s.name, s.role, s.serial,
                    s.versionMajor, s.versionMinor, s.sfn, s.buf, s.att, s.sdm, s.sdl, s.sdt);
}

void checkTaken(const QByteArray& packet, const ElementState& s)
{
    require(bytesAre(packet, 0, s.ip) && bytesAre(packet, 4, s.mask) && bytesAre(packet, 8, s.gw) &&
                bytesAre(packet, 12, s.remote),
            "an address differs from its bytes");
    require(s.input == at(packet, 16) && s.type == at(packet, 17) && s.tx == at(packet, 18),
            "input, type or tx differs from its byte");
    require(bytesAre(packet, 19, s.name), "name differs from its bytes");
    if (packet.size() == SimCodec::kDecoderConfigurationLength) {
        const std::uint8_t tail[] = {s.sfn, s.buf, s.sdm, s.sdl, s.sdt};
        require(bytesAre(packet, 35, tail), "decoder fields differ from their bytes");
    }
}

// The station reads back what the element says about itself: every field
// the station's decoder took from the feedback (which fields a length
// carries is fuzz_feedback's concern) holds the element's value.
void checkFeedbackReadsBack(const ElementState& s, int length)
{
    const QByteArray feedback = SimCodec::encodeFeedback(s, length);
    require(feedback.size() == length, "feedback of the wrong length");
    const std::optional<FeedbackRecord> r = FeedbackCodec::decode(feedback);
    require(r.has_value(), "station cannot read the element's feedback", QString::number(length));
    require(r->ip == SimCodec::addressText(s.ip) && r->mask == SimCodec::addressText(s.mask) &&
                r->gw == SimCodec::addressText(s.gw) &&
                r->remote == SimCodec::addressText(s.remote),
            "an address does not read back");
    require(r->input == s.input && r->type == s.type && r->tx == s.tx && r->role == s.role &&
                r->sn == s.serial,
            "a byte field does not read back");
    require(r->name == QString::fromLatin1(reinterpret_cast<const char*>(s.name.data()), 16),
            "the name does not read back");
    const bool decoder = s.isDecoder();
    if (length == SimCodec::kDecoderFeedbackLength)
        require(r->hasSfn && r->hasBuf && r->hasAtt == decoder && r->hasSdm == decoder &&
                    r->hasSdl == decoder && r->hasSdt == decoder,
                "the station missed a field of the full feedback");
    require(!r->hasSfn ||
                (r->ver == FeedbackCodec::versionFromBytes(s.versionMajor, s.versionMinor) &&
                 r->sfn == s.sfn),
            "version or SFN does not read back");
    require((!r->hasBuf || r->buf == s.buf) && (!r->hasAtt || r->att == s.att),
            "buffer or attenuation does not read back");
    require((!r->hasSdm || r->sdm == s.sdm) && (!r->hasSdl || r->sdl == s.sdl) &&
                (!r->hasSdt || r->sdt == s.sdt),
            "silence detector does not read back");
}

void checkAddressText(const QByteArray& input)
{
    const QString text = QString::fromLatin1(input.left(64));
    const std::optional<sim::Address> address = SimCodec::parseAddress(text);
    if (address)
        require(SimCodec::parseAddress(SimCodec::addressText(*address)) == address,
                "an address does not survive its own text", nms::fuzz::shown(text));
}

} // namespace

NMS_FUZZ_TARGET(packet)
{
    ElementState state;
    // The role and serial are not configured; vary them from the last bytes.
    if (packet.size() >= 2) {
        state.role = quint8(packet.back()) % 3;
        state.serial = quint32(quint8(packet[packet.size() - 2])) << 24 | 0x123456;
    }
    const ElementState before = state;
    const bool taken = SimCodec::decodeConfiguration(packet, state);
    const bool rightLength = packet.size() == SimCodec::kShortConfigurationLength ||
                             packet.size() == SimCodec::kDecoderConfigurationLength;
    require(taken == rightLength, "configuration of this length taken or refused wrongly",
            QString::number(packet.size()));
    if (!taken) {
        require(fieldsOf(state) == fieldsOf(before), "a refused configuration changed the element");
    } else {
        checkTaken(packet, state);
    }
    // The full feedback, and one shorter length that the packet's own length
    // picks, keep each input cheap.
    checkFeedbackReadsBack(state, SimCodec::kDecoderFeedbackLength);
    checkFeedbackReadsBack(state, kLengths[packet.size() % std::size(kLengths)]);
    checkAddressText(packet);
    SimCodec::isPagingRequest(packet);
    SimCodec::isLevelRequest(packet);
}
