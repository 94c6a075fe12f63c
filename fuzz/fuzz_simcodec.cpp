// The element simulator's configuration decoder against any packet. What it
// takes must be exactly the packet's bytes, what it refuses must leave the
// element alone, and the feedback it then sends must read back through the
// station's own decoder (written separately) as the same values. Read as an
// address, the packet's text must survive its own dotted form.
#include <tuple>

#include "FuzzCheck.h"
#include "SimCodec.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using namespace nms::fuzz;
using nms::sim::ElementState;
using nms::sim::SimCodec;

namespace {

auto fieldsOf(const ElementState& s)
{
    return std::tie(s.ip, s.mask, s.gw, s.remote, s.input, s.type, s.tx, s.name, s.role, s.serial,
                    s.versionMajor, s.versionMinor, s.sfn, s.buf, s.att, s.sdm, s.sdl, s.sdt);
}

// Every field the station's decoder took from the feedback (which fields a
// length carries is fuzz_feedback's concern) holds the element's value.
void checkFeedbackReadsBack(const ElementState& s, int length)
{
    const QByteArray feedback = SimCodec::encodeFeedback(s, length);
    const std::optional<FeedbackRecord> r = FeedbackCodec::decode(feedback);
    require(feedback.size() == length && r.has_value(),
            "station cannot read the element's feedback", QString::number(length));
    const auto text = [](const sim::Address& address) { return SimCodec::addressText(address); };
    require(r->ip == text(s.ip) && r->mask == text(s.mask) && r->gw == text(s.gw) &&
                r->remote == text(s.remote) && SimCodec::nameFromText(r->name) == s.name &&
                std::tuple(r->input, r->type, r->tx, r->role, r->sn) ==
                    std::tuple(s.input, s.type, s.tx, s.role, s.serial) &&
                (!r->hasSfn ||
                 (r->sfn == s.sfn &&
                  r->ver == FeedbackCodec::versionFromBytes(s.versionMajor, s.versionMinor))) &&
                (!r->hasBuf || r->buf == s.buf) && (!r->hasAtt || r->att == s.att) &&
                (!r->hasSdm || r->sdm == s.sdm) && (!r->hasSdl || r->sdl == s.sdl) &&
                (!r->hasSdt || r->sdt == s.sdt),
            "a field of the element's feedback does not read back", QString::number(length));
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
    require(taken == (packet.size() == SimCodec::kShortConfigurationLength ||
                      packet.size() == SimCodec::kDecoderConfigurationLength),
            "a length taken or refused wrongly", QString::number(packet.size()));
    // Bytes 0 to 34 of the feedback mirror those of the configuration.
    const char tail[] = {char(state.sfn), char(state.buf), char(state.sdm), char(state.sdl),
                         char(state.sdt)};
    require(taken ? SimCodec::encodeFeedback(state, 35) == packet.left(35) &&
                        (packet.size() == 35 || QByteArray(tail, 5) == packet.mid(35))
                  : fieldsOf(state) == fieldsOf(before),
            "a configuration taken as other values, or a refused one changed the element");
    // The full feedback, and one shorter length that the packet's own length
    // picks, keep each input cheap.
    const int lengths[] = {40, 41, 44, 45, 46, 47, 48};
    checkFeedbackReadsBack(state, SimCodec::kDecoderFeedbackLength);
    checkFeedbackReadsBack(state, lengths[packet.size() % 7]);
    const std::optional<sim::Address> address = SimCodec::parseAddress(QString::fromLatin1(packet));
    require(!address || SimCodec::parseAddress(SimCodec::addressText(*address)) == address,
            "an address does not survive its own text");
}
