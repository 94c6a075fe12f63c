// The ICMP helper's reading of what its parent sends, and the parent's
// reading of what the helper answers: whatever the bytes, a message is taken
// only when it is exactly one well-formed message, and then it is the one
// that encoding it again gives byte for byte.
#include "FuzzCheck.h"
#include "platform/EchoWire.h"

using namespace nms;
using namespace nms::fuzz;

NMS_FUZZ_TARGET(input)
{
    using namespace echo_wire;
    const std::string_view bytes(input.constData(), size_t(input.size()));
    const qsizetype payload = input.size() - qsizetype(kRequestHeaderSize);
    // To one host: not 0/8, nor a group or everyone (224/4, 240/4).
    const bool wellFormed = at(input, 0) == kVersion && payload >= 0 &&
                            payload <= qsizetype(kMaxPayload) && at(input, 9) == payload &&
                            at(input, 1) != 0 && at(input, 1) < 0xE0;
    const std::optional<Request> request = readRequest(bytes);
    require(request.has_value() == wellFormed && (!request || encodeRequest(*request) == bytes),
            "a request refused, taken or read as another");
    const std::optional<Answer> answer = readAnswer(bytes);
    require(!answer || (input.size() == qsizetype(kAnswerSize) && encodeAnswer(*answer) == bytes),
            "an answer of another length taken, or read as another");
}
