#pragma once

#include <array>
#include <cstdint>

namespace nms::sim {

using Address = std::array<std::uint8_t, 4>;
using NameBytes = std::array<std::uint8_t, 16>;

// Everything one simulated element knows about itself, as it would report it.
// Plain bytes throughout: the element speaks bytes, not text, so a test can put
// any value (even one the station must reject) into any field.
struct ElementState {
    static constexpr std::uint8_t kEncoder = 1;
    static constexpr std::uint8_t kDecoder = 2;

    Address ip{0, 0, 0, 0};
    Address mask{255, 255, 255, 0};
    Address gw{0, 0, 0, 0};
    Address remote{0, 0, 0, 0};
    std::uint8_t input = 0;
    std::uint8_t type = 0;
    std::uint8_t tx = 0;
    NameBytes name{};
    std::uint8_t role = kEncoder;
    std::uint32_t serial = 1;
    std::uint8_t versionMajor = 3;
    std::uint8_t versionMinor = 4;
    std::uint8_t sfn = 0;
    std::uint8_t buf = 2;
    // Decoders report these four as well.
    std::uint8_t att = 255;
    std::uint8_t sdm = 0;
    std::uint8_t sdl = 50;
    std::uint8_t sdt = 30;

    bool isDecoder() const { return role == kDecoder; }
};

} // namespace nms::sim
