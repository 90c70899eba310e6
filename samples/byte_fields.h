// Little-endian fields of a file image being built.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/little_endian.h"

inline uint16_t get16(const std::vector<uint8_t>& b, size_t at) { return load16le(&b[at]); }
inline uint32_t get32(const std::vector<uint8_t>& b, size_t at) { return load32le(&b[at]); }
inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { store16le(&b[at], v); }
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { store32le(&b[at], v); }
