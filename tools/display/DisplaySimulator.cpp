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

std::vector<DisplaySimulator::Bytes> DisplaySimulator::KeyAndRoutingSweep()
{
    std::vector<Bytes> packets;
    for (int k1 = 0; k1 < 256; k1 += (k1 < 64 ? 1 : 61))
        for (int k2 = 0; k2 < 256; k2 += (k2 < 32 ? 1 : 31))
            packets.push_back(KeyPacket(static_cast<uint8_t>(k1), static_cast<uint8_t>(k2)));
    for (int r = 0; r < 256; ++r)
        packets.push_back(RoutingPacket(static_cast<uint8_t>(r)));
    return packets;
}

std::vector<int> DisplaySimulator::KeysNamed(const Bytes& packet)
{
    std::vector<int> keys;
    if (packet.size() == 4 && packet[0] == 0x1B && packet[1] == 'K') {
        for (int bit = 4; bit >= 0; --bit) // second byte: keys 1 to 5
            if (packet[3] & (1 << bit))
                keys.insert(keys.begin(), 1 + bit);
        for (int bit = 5; bit >= 0; --bit) // first byte: keys 31 to 36
            if (packet[2] & (1 << bit))
                keys.push_back(36 - bit);
    } else if (packet.size() == 3 && packet[0] == 0x1B && packet[1] == 'C') {
        int r = packet[2];
        keys.push_back(r < 6 ? 61 + r : (r + 123) % 256);
    }
    return keys;
}

bool DisplaySimulator::ReportFor(const Bytes& packet, uint32_t& keyCode, uint32_t& argument)
{
    std::vector<int> keys = KeysNamed(packet);
    keyCode = 0;
    argument = 0;
    size_t first = keys.size() > 4 ? keys.size() - 4 : 0; // only four fit
    for (size_t i = first; i < keys.size(); ++i)
        keyCode = (keyCode << 8) | static_cast<uint32_t>(keys[i] <= 128 ? keys[i] : keys[i] <= 228 ? 0x81 : 0x82);
    for (int k : keys)
        if (k > 128)
            argument = static_cast<uint32_t>(k <= 228 ? k - 128 : k - 28);
    if (keyCode == 0)
        return false;
    keyCode |= 0x80000000u;
    return true;
}

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
            cellChanges += m.cells != cells;
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
