#ifndef BRLDISPLAY_HEX_TEXT_H
#define BRLDISPLAY_HEX_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes as the traces and the tests' messages show them: "1B 42 00".
std::string HexText(const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX);

#endif
