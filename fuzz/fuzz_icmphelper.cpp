// The ICMP helper's reading of what its parent sends, and the parent's
// reading of what the helper answers: whatever the bytes, a message is taken
// only when it is exactly one well-formed message, and then it is the one
// that encoding it again gives byte for byte.
#include <string_view>

#include "FuzzCheck.h"
#include "platform/EchoWire.h"

using namespace nms;
using nms::fuzz::at;
using nms::fuzz::require;

NMS_FUZZ_TARGET(input)
{
    const std::string_view bytes(input.constData(), size_t(input.size()));

    if (const std::optional<echo_wire::Request> request = echo_wire::readRequest(bytes)) {
        require(input.size() >= qsizetype(echo_wire::kRequestHeaderSize) &&
                    input.size() <= qsizetype(echo_wire::kMaxRequestSize),
                "request of a length outside the format taken");
        require(at(input, 0) == echo_wire::kVersion, "request of another version taken");
        require(at(input, 9) == input.size() - qsizetype(echo_wire::kRequestHeaderSize),
                "request whose payload length does not match taken");
        require((request->address >> 24) != 0 && (request->address >> 28) < 0xE,
                "request to no host, a group or everyone taken");
        require(echo_wire::encodeRequest(*request) == bytes, "request read as another");
    } else {
        require(input.size() < qsizetype(echo_wire::kRequestHeaderSize) ||
                    input.size() > qsizetype(echo_wire::kMaxRequestSize) ||
                    at(input, 0) != echo_wire::kVersion ||
                    at(input, 9) != input.size() - qsizetype(echo_wire::kRequestHeaderSize) ||
                    at(input, 1) == 0 || at(input, 1) >= 0xE0,
                "well-formed request refused");
    }

    if (const std::optional<echo_wire::Answer> answer = echo_wire::readAnswer(bytes)) {
        require(input.size() == qsizetype(echo_wire::kAnswerSize), "answer of another length");
        require(echo_wire::encodeAnswer(*answer) == bytes, "answer read as another");
    }
}
