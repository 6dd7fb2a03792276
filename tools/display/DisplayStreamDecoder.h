#ifndef BRLDISPLAY_DISPLAY_STREAM_DECODER_H
#define BRLDISPLAY_DISPLAY_STREAM_DECODER_H

#include <cstdint>
#include <string>
#include <vector>

// Splits what the display sends to the host into messages:
//   1B 4B k1 k2   key
//   1B 43 r       routing
//   3F m ...      model reply: the bytes outside packets that carry a '?'
//                 followed by a model code (the host scans for it)
// Extra ESC bytes before a command byte belong to the packet. Anything else
// is reported as malformed.
class DisplayStreamDecoder {
public:
    struct Message {
        enum Kind { ModelReply, Key, Routing, Malformed } kind;
        std::vector<uint8_t> raw;
        uint8_t firstKeyByte = 0, secondKeyByte = 0, routingByte = 0;
        std::string problem;
        std::string Describe() const;
    };

    // One chunk as the display wrote it; bytes outside packets are grouped
    // up to the end of the chunk or the next ESC.
    void Feed(const uint8_t* bytes, size_t length, std::vector<Message>& out);
    // Reports a packet still cut short as malformed.
    void Finish(std::vector<Message>& out);

    static bool IsModelCode(uint8_t code);

private:
    enum State { Idle, Escape, KeyFirst, KeySecond, Routing };
    void FlushLoose(std::vector<Message>& out);
    void Emit(Message m, std::vector<Message>& out);

    State state = Idle;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> loose;
    uint8_t first = 0;
};

#endif
