#include "DisplaySimulator.h"

DisplaySimulator::DisplaySimulator(const Config& settings, Sender send)
    : config(settings), sender(std::move(send)), decoder(StatusCells + settings.textCells),
      cells(static_cast<size_t>(StatusCells + settings.textCells), 0)
{
}

int DisplaySimulator::ModelCode(int textCells)
{
    switch (textCells) {
    case 20: return 0x00;
    case 40: return 0x01;
    case 80: return 0x02;
    default: return -1;
    }
}

DisplaySimulator::Bytes DisplaySimulator::KeyPacket(uint8_t firstKeyByte, uint8_t secondKeyByte)
{
    return { 0x1B, 'K', firstKeyByte, secondKeyByte };
}

DisplaySimulator::Bytes DisplaySimulator::RoutingPacket(uint8_t routingByte) { return { 0x1B, 'C', routingByte }; }

void DisplaySimulator::Send(const Bytes& bytes)
{
    if (sender)
        sender(bytes);
}

void DisplaySimulator::FromHost(const uint8_t* bytes, size_t length)
{
    received.insert(received.end(), bytes, bytes + length);
    size_t first = messages.size();
    decoder.Feed(bytes, length, messages);
    for (size_t i = first; i < messages.size(); ++i) {
        const auto& m = messages[i];
        if (m.kind == HostStreamDecoder::Message::Query && config.answerQueries) {
            if (!config.reply.empty())
                Send(config.reply);
            else
                Send({ 0x3F, static_cast<uint8_t>(ModelCode(config.textCells)), 0x00 });
        } else if (m.kind == HostStreamDecoder::Message::Cells &&
                   m.cells.size() == cells.size()) {
            cells = m.cells;
            cellPackets++;
        }
    }
}

int DisplaySimulator::Count(HostStreamDecoder::Message::Kind kind) const
{
    int n = 0;
    for (const auto& m : messages)
        n += m.kind == kind;
    return n;
}

DisplaySimulator::Bytes DisplaySimulator::Status() const
{
    return Bytes(cells.begin(), cells.begin() + StatusCells);
}

DisplaySimulator::Bytes DisplaySimulator::Text() const { return Bytes(cells.begin() + StatusCells, cells.end()); }
