#include "FrameRenderer.h"

#include <cstdio>

std::string FrameRenderer::Braille(uint8_t cell)
{
    std::string s;
    s += static_cast<char>(0xE2);
    s += static_cast<char>(0xA0 | (cell >> 6));
    s += static_cast<char>(0x80 | (cell & 0x3F));
    return s;
}

std::string FrameRenderer::RoutingNumbers(int cells)
{
    std::string row(static_cast<size_t>(cells), ' ');
    for (int n = 1; n <= cells; n = n == 1 ? 5 : n + 5) {
        std::string digits = std::to_string(n);
        size_t end = static_cast<size_t>(n); // one past the cell's column
        row.replace(end - digits.size(), digits.size(), digits);
    }
    while (!row.empty() && row.back() == ' ')
        row.pop_back();
    return row;
}

std::vector<std::string> FrameRenderer::Render(const Frame& f)
{
    std::vector<std::string> lines;
    char title[128];
    std::snprintf(title, sizeof title, "brl-virtual-display: %zu text cells, model code %02X, %d cell packet%s",
                  f.text.size(), f.modelCode & 0xFF, f.cellPackets, f.cellPackets == 1 ? "" : "s");
    lines.push_back(title);

    const std::string gap = "   ";
    std::string pad(f.status.size() > 6 ? 0 : 6 - f.status.size(), ' '); // "status" is 6 wide
    lines.push_back("         status" + gap + std::string(f.status.size() > 6 ? f.status.size() - 6 : 0, ' ') + "text");
    std::string braille = "braille  ", print = "print    ";
    for (uint8_t c : f.status)
        braille += Braille(c);
    for (const auto& p : f.statusPrint)
        print += p;
    braille += pad + gap;
    print += pad + gap;
    for (uint8_t c : f.text)
        braille += Braille(c);
    for (const auto& p : f.textPrint)
        print += p;
    std::string status;
    for (size_t i = 1; i <= f.status.size(); ++i)
        status += std::to_string(i % 10);
    std::string routing = "routing  " + status + pad + gap + RoutingNumbers(static_cast<int>(f.text.size()));
    while (!print.empty() && print.back() == ' ')
        print.pop_back();
    lines.push_back(braille);
    lines.push_back(print);
    lines.push_back(routing);
    return lines;
}
