#include "DisplayStreamDecoder.h"

#include "HexText.h"

namespace {
const uint8_t Esc = 0x1B;

std::string Hex(const std::vector<uint8_t>& bytes) { return HexText(bytes); }

std::string Hex(uint8_t v) { return HexText({ v }); }
} // namespace

bool DisplayStreamDecoder::IsModelCode(uint8_t code)
{
    return code == 0x00 || code == 0x07 || code == 0x01 || code == 0x08 || code == 0x02 || code == 0x09;
}

std::string DisplayStreamDecoder::Message::Describe() const
{
    switch (kind) {
    case ModelReply:
        return "model reply " + Hex(raw);
    case Key:
        return "key k1=" + Hex(firstKeyByte) + " k2=" + Hex(secondKeyByte);
    case Routing:
        return "routing r=" + Hex(routingByte);
    case Malformed:
        return "malformed (" + problem + "): " + Hex(raw);
    }
    return "?";
}

void DisplayStreamDecoder::Emit(Message m, std::vector<Message>& out)
{
    m.raw = raw;
    out.push_back(m);
    raw.clear();
    state = Idle;
}

void DisplayStreamDecoder::FlushLoose(std::vector<Message>& out)
{
    if (loose.empty())
        return;
    Message m;
    m.kind = Message::Malformed;
    m.problem = "bytes outside a packet";
    for (size_t i = 0; i + 1 < loose.size(); ++i)
        if (loose[i] == 0x3F && IsModelCode(loose[i + 1])) {
            m.kind = Message::ModelReply;
            m.problem.clear();
        }
    m.raw = loose;
    out.push_back(m);
    loose.clear();
}

void DisplayStreamDecoder::Feed(const uint8_t* bytes, size_t length, std::vector<Message>& out)
{
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        switch (state) {
        case Idle:
            if (b == Esc) {
                FlushLoose(out);
                raw.push_back(b);
                state = Escape;
            } else {
                loose.push_back(b);
            }
            break;
        case Escape:
            raw.push_back(b);
            if (b == Esc)
                break;
            if (b == 'K') {
                state = KeyFirst;
            } else if (b == 'C') {
                state = Routing;
            } else {
                Message m;
                m.kind = Message::Malformed;
                m.problem = "unknown command";
                Emit(m, out);
            }
            break;
        case KeyFirst:
            raw.push_back(b);
            first = b;
            state = KeySecond;
            break;
        case KeySecond: {
            raw.push_back(b);
            Message m;
            m.kind = Message::Key;
            m.firstKeyByte = first;
            m.secondKeyByte = b;
            Emit(m, out);
            break;
        }
        case Routing: {
            raw.push_back(b);
            Message m;
            m.kind = Message::Routing;
            m.routingByte = b;
            Emit(m, out);
            break;
        }
        }
    }
    FlushLoose(out);
}

void DisplayStreamDecoder::Finish(std::vector<Message>& out)
{
    FlushLoose(out);
    if (state != Idle) {
        Message m;
        m.kind = Message::Malformed;
        m.problem = "packet cut short";
        Emit(m, out);
    }
}
