#ifndef BRLDISPLAY_DISPLAY_SIMULATOR_H
#define BRLDISPLAY_DISPLAY_SIMULATOR_H

#include <cstdint>
#include <functional>
#include <vector>

#include "HostStreamDecoder.h"

// A display of this family, without its transport: it answers the model
// query, decodes cell packets and keeps what it shows. What it sends goes
// to the sender given at construction.
class DisplaySimulator {
public:
    using Bytes = std::vector<uint8_t>;
    using Sender = std::function<void(const Bytes&)>;

    enum { StatusCells = 5 };

    struct Config {
        int textCells = 40;
        // The answer to the model query; empty: the model's own 3F code 00.
        Bytes reply;
        bool answerQueries = true;
        // The transport sends one byte at a time with this gap (0: all at
        // once), as a slow display would.
        int byteGapUs = 0;
    };

    DisplaySimulator(const Config& config, Sender sender);

    // The model code a display with this many text cells answers (20, 40
    // or 80), or -1.
    static int ModelCode(int textCells);
    static Bytes KeyPacket(uint8_t firstKeyByte, uint8_t secondKeyByte);
    static Bytes RoutingPacket(uint8_t routingByte);
    // Key packets over every bit of both key bytes (and a spread of the
    // bits no key uses), then every routing packet: over 2,000 reports.
    static std::vector<Bytes> KeyAndRoutingSweep();
    // The key indices a key or routing packet names, ascending.
    static std::vector<int> KeysNamed(const Bytes& packet);
    // The report a host must get for one key or routing packet, worked out
    // from the packet's bytes; false when the packet names no key.
    static bool ReportFor(const Bytes& packet, uint32_t& keyCode, uint32_t& argument);

    // Bytes from the host, in order.
    void FromHost(const uint8_t* bytes, size_t length);
    void Send(const Bytes& bytes);

    const Config& Settings() const { return config; }
    void SetReply(const Bytes& reply) { config.reply = reply; }
    void SetAnswerQueries(bool answer) { config.answerQueries = answer; }
    void SetByteGap(int microseconds) { config.byteGapUs = microseconds; }

    const Bytes& Received() const { return received; }
    const std::vector<HostStreamDecoder::Message>& Messages() const { return messages; }
    int Count(HostStreamDecoder::Message::Kind kind) const;
    Bytes Status() const;
    Bytes Text() const;
    // Every cell the display shows: status, then text.
    const Bytes& Cells() const { return cells; }
    bool ShownAny() const { return cellPackets > 0; }
    // Cell packets that changed what the display shows; a packet that
    // repeats the cells (a refresh) is not one.
    int CellChanges() const { return cellChanges; }

private:
    Config config;
    Sender sender;
    HostStreamDecoder decoder;
    Bytes received;
    std::vector<HostStreamDecoder::Message> messages;
    Bytes cells;
    int cellPackets = 0;
    int cellChanges = 0;
};

#endif
