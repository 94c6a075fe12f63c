#include "platform/EchoWire.h"

namespace nms::echo_wire {

namespace {

std::uint64_t readNumber(std::string_view bytes, std::size_t offset, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    return value;
}

void appendNumber(std::string& bytes, std::uint64_t value, std::size_t size)
{
    for (std::size_t i = size; i-- > 0;)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string encodeRequest(const Request& request)
{
    std::string bytes;
    appendNumber(bytes, kVersion, 1);
    appendNumber(bytes, request.address, 4);
    appendNumber(bytes, request.identifier, 2);
    appendNumber(bytes, request.sequence, 2);
    appendNumber(bytes, request.payload.size(), 1);
    return bytes + request.payload;
}

std::optional<Request> readRequest(std::string_view message)
{
    if (message.size() < kRequestHeaderSize || message.size() > kMaxRequestSize ||
        readNumber(message, 0, 1) != kVersion ||
        readNumber(message, 9, 1) != message.size() - kRequestHeaderSize)
        return std::nullopt;
    Request request;
    request.address = std::uint32_t(readNumber(message, 1, 4));
    // One host at a time: not "this network" (0/8), and no multicast or
    // reserved group (224/4, 240/4, the limited broadcast among them), so
    // that one request never makes many hosts answer.
    if ((request.address >> 24) == 0 || (request.address >> 28) >= 0xE)
        return std::nullopt;
    request.identifier = std::uint16_t(readNumber(message, 5, 2));
    request.sequence = std::uint16_t(readNumber(message, 7, 2));
    request.payload = std::string(message.substr(kRequestHeaderSize));
    return request;
}

std::string encodeAnswer(const Answer& answer)
{
    std::string bytes;
    appendNumber(bytes, kVersion, 1);
    appendNumber(bytes, static_cast<std::uint8_t>(answer.outcome), 1);
    appendNumber(bytes, answer.type, 1);
    appendNumber(bytes, answer.code, 1);
    appendNumber(bytes, answer.identifier, 2);
    appendNumber(bytes, answer.sequence, 2);
    appendNumber(bytes, answer.from, 4);
    appendNumber(bytes, answer.errorNumber, 4);
    appendNumber(bytes, std::uint64_t(answer.sentNs), 8);
    appendNumber(bytes, std::uint64_t(answer.receivedNs), 8);
    return bytes;
}

std::optional<Answer> readAnswer(std::string_view message)
{
    if (message.size() != kAnswerSize || readNumber(message, 0, 1) != kVersion ||
        readNumber(message, 1, 1) > std::uint8_t(Outcome::Refused))
        return std::nullopt;
    Answer answer;
    answer.outcome = Outcome(readNumber(message, 1, 1));
    answer.type = std::uint8_t(readNumber(message, 2, 1));
    answer.code = std::uint8_t(readNumber(message, 3, 1));
    answer.identifier = std::uint16_t(readNumber(message, 4, 2));
    answer.sequence = std::uint16_t(readNumber(message, 6, 2));
    answer.from = std::uint32_t(readNumber(message, 8, 4));
    answer.errorNumber = std::uint32_t(readNumber(message, 12, 4));
    answer.sentNs = std::int64_t(readNumber(message, 16, 8));
    answer.receivedNs = std::int64_t(readNumber(message, 24, 8));
    // Monotonic times are never negative; two that are not cannot overflow
    // when one is taken from the other.
    if (answer.sentNs < 0 || answer.receivedNs < 0)
        return std::nullopt;
    return answer;
}

} // namespace nms::echo_wire
