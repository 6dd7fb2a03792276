#include "ProtocolTrace.h"

#include "HexText.h"

ProtocolTrace::ProtocolTrace(std::FILE* file, int status, int text)
    : out(file), statusCells(status), hostDecoder(status + text)
{
}

std::string ProtocolTrace::Hex(const std::vector<uint8_t>& bytes) { return HexText(bytes); }

double ProtocolTrace::Now() const
{
    if (fixedTime >= 0)
        return fixedTime;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void ProtocolTrace::Line(const char* direction, const std::string& text, const std::vector<uint8_t>& raw)
{
    if (!out)
        return;
    if (raw.empty())
        std::fprintf(out, "%9.3f %s %s\n", Now(), direction, text.c_str());
    else
        std::fprintf(out, "%9.3f %s %s | %s\n", Now(), direction, text.c_str(), Hex(raw).c_str());
    std::fflush(out);
}

void ProtocolTrace::HostBytes(const std::vector<uint8_t>& bytes)
{
    std::vector<HostStreamDecoder::Message> messages;
    hostDecoder.Feed(bytes.data(), bytes.size(), messages);
    for (const auto& m : messages)
        Line("H>D", m.Describe(statusCells), m.raw);
}

void ProtocolTrace::DisplayBytes(const std::vector<uint8_t>& bytes)
{
    std::vector<DisplayStreamDecoder::Message> messages;
    displayDecoder.Feed(bytes.data(), bytes.size(), messages);
    for (const auto& m : messages)
        Line("D>H", m.Describe(), m.raw);
}

void ProtocolTrace::Note(const std::string& text)
{
    Line("-- ", text, {});
}

void ProtocolTrace::Finish()
{
    std::vector<HostStreamDecoder::Message> host;
    hostDecoder.Finish(host);
    for (const auto& m : host)
        Line("H>D", m.Describe(statusCells), m.raw);
    std::vector<DisplayStreamDecoder::Message> display;
    displayDecoder.Finish(display);
    for (const auto& m : display)
        Line("D>H", m.Describe(), m.raw);
}
