#pragma once

// Little-endian numbers in the bytes of a Jet file's pages.

#include <cstdint>
#include <cstring>

namespace actualiz::engine::jet {

inline std::uint32_t U16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutU16(unsigned char* p, std::uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}
inline void PutU32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline std::uint64_t U64(const unsigned char* p) {
    return static_cast<std::uint64_t>(U32(p)) | (static_cast<std::uint64_t>(U32(p + 4)) << 32);
}
inline double F64(const unsigned char* p) {
    std::uint64_t bits = U64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline float F32(const unsigned char* p) {
    std::uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace actualiz::engine::jet
